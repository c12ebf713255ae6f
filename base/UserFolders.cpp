// SPDX-License-Identifier: Apache-2.0
#include "base/UserFolders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace {

std::string Absolute(const EnvironmentLookup& environment, const char* name) {
    const char* value = environment(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string Folder(const EnvironmentLookup& environment, const char* variable, const char* underHome) {
    if (std::string folder = Absolute(environment, variable); !folder.empty())
        return folder;
    const std::string home = Absolute(environment, "HOME");
    return home.empty() ? home : home + underHome;
}

}  // namespace

const char* ProcessEnvironment(const char* name) { return std::getenv(name); }

std::string UserConfigFolder(const EnvironmentLookup& environment) {
    return Folder(environment, "XDG_CONFIG_HOME", "/.config");
}

std::string UserStateFolder(const EnvironmentLookup& environment) {
    return Folder(environment, "XDG_STATE_HOME", "/.local/state");
}

bool MakeParentDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string directory = path.substr(0, slash);
        if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}
