// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the person chose in the menu-started builder, kept for the next start: the model file
// and the folder of images. One small key=value file in the user's configuration directory
// ($XDG_CONFIG_HOME/flashutil/desktop.conf); lines it does not know are kept as they are.

#include <string>

#include "image/ModelFileLookup.h"

struct RememberedChoices {
    std::string ModelFile;    // model-file=PATH; "" when none was chosen
    std::string ImageFolder;  // image-folder=PATH; "" when none was chosen
};

// The file the choices are kept in; "" when the environment names no configuration directory.
std::string RememberedChoicesPath(const ConfigEnvironment& environment);

// The choices in file; none when it is missing or unreadable.
RememberedChoices ReadRememberedChoices(const std::string& file);

// Sets key to value in file (creating it and its directory), replacing the whole file at once
// so a run that is cut short leaves the old one. False with why set (naming the file and the cause).
bool RememberChoice(const std::string& file, const std::string& key, const std::string& value, std::string& why);
