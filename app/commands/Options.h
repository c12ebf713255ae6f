#pragma once
// The command line. Without options the program is the window; every option is a Linux addition.

#include <optional>
#include <string>
#include <vector>

struct Options {
    enum class Mode { Window, List, Cli, Build, Help, Version };
    Mode Command = Mode::Window;

    std::optional<std::string> Device;         // --device PATH
    std::optional<std::string> VirtualDrive;   // --virtual-drive[=OPTIONS]; "" when given without options
    std::optional<std::string> TraceFile;      // --trace FILE
    bool TraceData = false;                    // --trace-data (with --trace)
    bool Yes = false;                          // --yes
    bool Json = false;                         // --json (with --list)
    std::optional<int> Model;                  // --model N (with --build)
    std::optional<std::string> Image;          // --image FILE (with --build)
    std::optional<std::string> OutputDir;      // --output-dir DIR (with --build)
    std::optional<std::string> Profiles;       // --profiles FILE (with --build): the maker's flash-chip profiles
    bool NoCommit = false;                     // --no-commit (with --cli or the window): a rehearsal
    std::vector<std::string> WindowArguments;  // what Qt may want (-platform, ...), in window mode
};

// Parses argv. On a usage error returns nullopt and sets error to a one-line message.
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
constexpr int Failure = 1;          // anything else (build failures, I/O errors)
}  // namespace ExitCode

// The commands. Each lives in its own file.
int RunList(const Options& options);
int RunCli(const Options& options);
int RunBuild(const Options& options, const char* argv0);
int RunWindow(const Options& options, int argc, char** argv);
int RunHelp();
int RunVersion();
