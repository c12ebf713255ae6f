// SPDX-License-Identifier: Apache-2.0
#pragma once
// The command line. Without options the program is the window; every option is a Linux addition.

#include <optional>
#include <string>
#include <vector>

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
    // FILE after --info, --extract-image OUT, --verify, --cli or for the window: another copy,
    // read as data (a run flashes what it carries without running it)
    std::optional<std::string> Subject;
    std::vector<std::string> WindowArguments;  // what Qt may want (-platform, ...), in window mode
};

// Parses argv. On a usage error returns nullopt and sets error to a one-line message that
// names the option.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);

// Exit codes of the terminal modes.
namespace ExitCode {
constexpr int Success = 0;
constexpr int Usage = 2;
constexpr int NoDrive = 3;          // no drive, or none qualifies
constexpr int Refused = 4;          // revision refused, or the person declined
constexpr int Busy = 5;             // drive busy or permission denied
constexpr int FailedBeforeCommit = 6;  // nothing changed in the drive
constexpr int FailedAtCommit = 7;      // at or after the commit
constexpr int ReplayDiverged = 8;   // a replayed run sent a command the recording does not hold
constexpr int PartialSuccess = 9;   // --all: some drives completed, others did not
constexpr int Failure = 1;          // anything else (build failures, I/O errors)
// --verify: why a copy is not one to trust (0 only for an intact copy signed by a trusted key).
constexpr int VerifyDamaged = 10;    // its seal or signature does not match
constexpr int VerifyUnsigned = 11;   // not signed
constexpr int VerifyUntrusted = 12;  // signed by a key not trusted here
constexpr int VerifyPolicy = 13;     // signed by a key the user trusts, not the system's policy
}  // namespace ExitCode

// The commands. Each lives in its own file.
int RunList(const Options& options);
int RunCli(const Options& options);
int RunBuild(const Options& options, const char* argv0);
int RunWindow(const Options& options, int argc, char** argv);
int RunHelp();
int RunVersion();
int RunInfo(const Options& options);
int RunExtractImage(const Options& options);
int RunHistory(const Options& options);
int RunVerify(const Options& options);
