// SPDX-License-Identifier: Apache-2.0
#include "model/ModelFileLookup.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string_view>

#include "base/UserFolders.h"

namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

std::string ModelConfigPath(const std::string& executablePath) {
    const auto slash = executablePath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = executablePath.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        return executablePath + ".INI";
    return executablePath.substr(0, dot) + ".INI";
}

ConfigEnvironment ConfigEnvironment::FromProcess() {
    ConfigEnvironment environment;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"))
        environment.XdgConfigHome = xdg;
    if (const char* home = std::getenv("HOME"))
        environment.Home = home;
    return environment;
}

std::string ConfigEnvironment::UserFolder() const {
    return UserConfigFolder([this](const char* name) -> const char* {
        const std::string& value = std::string_view(name) == "HOME" ? Home : XdgConfigHome;
        return value.c_str();
    });
}

std::vector<std::string> ModelFilePlaces(const std::string& executablePath, const ConfigEnvironment& environment,
                                         const std::string& systemDirectory, const std::string& chosenModelFile) {
    std::vector<std::string> places{ModelConfigPath(executablePath)};
    const std::string userDirectory = environment.UserFolder();
    if (!userDirectory.empty())
        places.push_back(userDirectory + "/flashutil/" + ModelFileName);
    // The model file chosen in the menu-started builder, after the one a person put in place.
    if (!chosenModelFile.empty())
        places.push_back(chosenModelFile);
    places.push_back(systemDirectory + "/" + ModelFileName);
    return places;
}

ModelFileLocation LocateModelFile(const std::string& executablePath, const std::string& givenFile,
                                  const ConfigEnvironment& environment, const std::string& systemDirectory,
                                  const std::string& chosenModelFile) {
    ModelFileLocation location;
    if (!givenFile.empty()) {
        location.Path = givenFile;
        location.Places = {givenFile};
        return location;
    }
    location.Places = ModelFilePlaces(executablePath, environment, systemDirectory, chosenModelFile);
    for (const std::string& place : location.Places)
        if (Exists(place)) {
            location.Path = place;
            break;
        }
    return location;
}

std::string ExampleModelFile(const std::string& executablePath) {
    const std::string prefix = DirectoryOf(DirectoryOf(executablePath));
    const std::string besidePrefix = prefix + "/share/doc/flashutil/examples/" + ModelFileName;
    return Exists(besidePrefix) ? besidePrefix : std::string("/usr/share/doc/flashutil/examples/") + ModelFileName;
}

std::string ModelFileHint(const ModelFileLocation& location, const std::string& exampleFile) {
    if (!location.Path.empty() || location.Places.size() < 2)
        return {};
    std::string text = "Not found either: ";
    for (std::size_t i = 1; i < location.Places.size(); ++i)
        text += (i > 1 ? ", " : "") + location.Places[i];
    // The user's own place when there is one (it is the second), else the system's.
    const std::string& target = location.Places.size() > 2 ? location.Places[1] : location.Places.back();
    text += ".\nTo start, copy the example model file and add your drive models to it:\n  mkdir -p " +
            DirectoryOf(target) + " && cp " + exampleFile + " " + target;
    return text;
}
