// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where the builder finds its model file. A file given on the command line is used as it
// is; otherwise the first of these that exists: beside the program (named after it), the
// user's configuration directory ($XDG_CONFIG_HOME/flashutil, by default
// ~/.config/flashutil), for the menu-started builder the one chosen there before
// (RememberedChoices.h, read by that builder only), the system's (/etc/flashutil). An installed program lives in
// /usr/bin, where nobody puts a model file; the other two places make it usable.

#include <string>
#include <vector>

constexpr const char* SystemModelDirectory = "/etc/flashutil";
constexpr const char* ModelFileName = "flashutil.INI";

struct ModelFileLocation {
    std::string Path;                 // the file to read; "" when none of the places has one
    std::vector<std::string> Places;  // every place looked at, in order (only the file given, when one was)
};

// What the environment says about the user's configuration directory.
struct ConfigEnvironment {
    std::string XdgConfigHome;  // "" when unset
    std::string Home;           // "" when unset
    // From the process environment.
    static ConfigEnvironment FromProcess();
    // The user's configuration folder they name (see base/UserFolders.h); "" for none.
    std::string UserFolder() const;
};

// The model file's name for a program at executablePath: the extension of the last path
// component replaced by ".INI", or ".INI" appended when it has none (a leading dot, as in
// ".hidden", starts no extension).
std::string ModelConfigPath(const std::string& executablePath);

// The places in lookup order. An XDG_CONFIG_HOME or HOME that is not an absolute path is
// ignored, as the XDG base directory rules say; without either the user's place is left out. chosenModelFile, when not "", comes before the system's place.
std::vector<std::string> ModelFilePlaces(const std::string& executablePath, const ConfigEnvironment& environment,
                                         const std::string& systemDirectory = SystemModelDirectory,
                                         const std::string& chosenModelFile = "");

// givenFile (from --ini) when not empty, else the first place where something exists
// (a file that is there but unreadable is chosen too: its reader then says why).
ModelFileLocation LocateModelFile(const std::string& executablePath, const std::string& givenFile,
                                  const ConfigEnvironment& environment,
                                  const std::string& systemDirectory = SystemModelDirectory,
                                  const std::string& chosenModelFile = "");

// The example model file shipped with the program: beside an installed program's prefix
// (<prefix>/share/doc/flashutil/examples), else where the package puts it.
std::string ExampleModelFile(const std::string& executablePath);

// The lines added to "Can't load <file>" when no place has a model file: the other places
// looked at, and how to start from the example.
std::string ModelFileHint(const ModelFileLocation& location, const std::string& exampleFile);
