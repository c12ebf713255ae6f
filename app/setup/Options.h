// SPDX-License-Identifier: Apache-2.0
#pragma once
// The command line. Without options the program is the window; every option is a Linux addition.

#include <optional>
#include <string>
#include <vector>

#include "flash/ExitCodes.h"

struct Options {
    enum class Mode { Window, List, Cli, Build, Help, Version, Info, ExtractImage, History, Verify };
    Mode Command = Mode::Window;

    std::vector<std::string> Devices;          // -d/--device PATH, may be repeated
    std::vector<std::string> VirtualDrives;    // --virtual-drive[=OPTIONS], may be repeated; "" without options
    bool All = false;                          // --all (with --cli): every qualifying drive at once
    std::optional<std::string> TraceFile;      // --trace FILE
    bool TraceData = false;                    // --trace-data (with --trace)
    bool Yes = false;                          // -y/--yes
    bool Json = false;                         // --json (with --list, --cli, --info, --history)
    bool JsonCompact = false;                  // --json=compact (with --cli): no step or progress events
    bool Verbose = false;                      // -v/--verbose: each drive command on standard error
    bool Quiet = false;                        // -q/--quiet: nothing but errors
    std::optional<int> Model;                  // --model N (with --build)
    std::optional<std::string> Image;          // --image FILE (with --build)
    std::optional<std::string> OutputDir;      // --output-dir DIR (with --build)
    std::optional<std::string> Profiles;       // --profiles FILE (with --build): the maker's flash-chip profiles
    std::optional<std::string> IniFile;        // --ini FILE (with --build or the builder window)
    std::optional<std::string> SignKey;        // --sign-key FILE (with --build): the maker's private key
    bool NoCommit = false;                     // --no-commit (with --cli or the window): a rehearsal
    std::optional<std::string> ExtractOutput;  // --extract-image OUT
    std::optional<std::string> DeviceId;       // --device-id ID (with --history): only that drive's runs
    // FILE after --info, --extract-image OUT, --verify, --cli or for the window: another copy,
    // read as data (a run flashes what it carries without running it)
    std::optional<std::string> Subject;
    // --choose-utility (the window): without FILE a file chooser asks for one; cancelled, nothing is done
    bool ChooseUtility = false;
    // --choose-model-file (the window, as the menu starts the builder): no model file found
    // offers a chooser for one, remembered for the next start, instead of ending
    bool ChooseModelFile = false;
    std::vector<std::string> WindowArguments;  // what Qt may want (-platform, ...), in window mode
};

// Parses argv. On a usage error returns nullopt and sets error to a one-line message that
// names the option.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);

// The exit codes of the terminal modes are ExitCode (flash/ExitCodes.h).
