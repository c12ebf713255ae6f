// SPDX-License-Identifier: Apache-2.0
#pragma once
// The user's own folders, by the XDG base directory rules: a value that is not an absolute
// path is ignored, in XDG_CONFIG_HOME and XDG_STATE_HOME as in HOME, so a relative one never
// sends a file into whatever the current directory happens to be.

#include <functional>
#include <string>

// Looks a variable up: its value, or null when it is unset.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The process's own environment.
const char* ProcessEnvironment(const char* name);

// $XDG_CONFIG_HOME, else $HOME/.config; "" when neither is an absolute path.
std::string UserConfigFolder(const EnvironmentLookup& environment = ProcessEnvironment);

// $XDG_STATE_HOME, else $HOME/.local/state; "" when neither is an absolute path.
std::string UserStateFolder(const EnvironmentLookup& environment = ProcessEnvironment);

// Makes each missing directory above path, as the XDG base directory rules ask (0700).
// False with errno set when one can't be made.
bool MakeParentDirectories(const std::string& path);
