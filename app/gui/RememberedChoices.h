// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the person chose in the menu-started builder (the window's alone), kept for the next start: the model file
// and the folder of images. One small key=value file in the user's configuration directory
// ($XDG_CONFIG_HOME/flashutil/desktop.conf); lines it does not know are kept as they are.

#include <cstddef>
#include <string>

#include "model/ModelFileLookup.h"

struct RememberedChoices {
    std::string ModelFile;    // model-file=PATH; "" when none was chosen
    std::string ImageFolder;  // image-folder=PATH; "" when none was chosen
};

// The file the choices are kept in; "" when the environment names no configuration directory.
std::string RememberedChoicesPath(const ConfigEnvironment& environment);

// The largest file the choices are read from: a few paths, far below it.
constexpr std::size_t RememberedChoicesLimit = 64 * 1024;

// The choices in file; none when it is missing or can't be read as a small regular file (a
// FIFO, a device or a file over the limit is not opened for more than its status), with why
// set when given and the file is there but not read (naming it and the cause). A line's one
// trailing CR is not part of its value; a value that is not an absolute path, or holds a NUL,
// is not taken.
RememberedChoices ReadRememberedChoices(const std::string& file, std::string* why = nullptr);

// Sets key to value in file (creating it and its directory), replacing the whole file at once
// so a run that is cut short leaves the old one. False with why set (naming the file and the
// cause), the file left as it was, also when what is there can't be read as ReadRememberedChoices
// reads it.
bool RememberChoice(const std::string& file, const std::string& key, const std::string& value, std::string& why);
