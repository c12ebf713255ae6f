// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window given a folder of utilities (flashutil DIR, --choose-utility DIR, or a folder
// chosen from the menu): the folder is looked at once, as the terminal does, and the window
// flashes each drive with the utility of it that fits.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/gui/WindowApp.h"
#include "areas/UtilityFile.h"
#include "session/Catalogue.h"

// Looks at folder under the installed keys and policy. The entries skipped are told on the
// error stream when verbose (a truncated folder always). subject: the utility that stands for
// the folder before the plan (the first, else this program). False with why naming the folder
// when it can't be read as one.
bool LoadUtilityFolder(const std::string& folder, bool verbose, std::shared_ptr<const Catalogue>& catalogue,
                       UtilityCopy& subject, std::string& why);

using PathChooser = std::function<std::string(const std::string& title, const std::string& start)>;

// OpenDesktopUtility where the path given or chosen may be a folder too: catalogue is then set.
// A folder that can't be read is refused in a box naming it, as a file is.
ChosenUtility OpenDesktopSubject(const std::optional<std::string>& given, const PathChooser& chooser, bool verbose,
                                 UtilityCopy& subject, std::shared_ptr<const Catalogue>& catalogue);

// The chooser of "Update drive firmware": a box asks whether to flash with one utility or with a
// folder of them, then chooseFile or a folder chooser asks for it. "" when cancelled.
std::string ChooseUtilityOrFolder(const std::string& title, const std::string& start, const PathChooser& chooseFile);
