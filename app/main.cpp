// SPDX-License-Identifier: Apache-2.0
// Program entry. Without options the program is the window; options are Linux additions
// that never change what the program does without them.
#include <cstdio>
#include <string>

#include "app/commands/Commands.h"
#include "app/process/ProcessPlumbing.h"
#include "app/setup/Options.h"
#include "app/setup/UserLanguage.h"
#include "app/terminal/UsageError.h"

// The program's file type: an ELF note the linker puts among the first notes, a few hundred
// bytes into the file, where file managers look (they read the first 4 KiB; the identity
// block lies megabytes in). Every copy the builder writes is a byte copy of the program and
// carries it, and strip keeps it (a note is part of the loaded image).
// data/io.github.flashutil.flashutil.mime.xml recognises a program by it.
asm(R"(
    .pushsection .note.flashutil, "a", @note
    .balign 4
    .long 2f - 1f
    .long 4f - 3f
    .long 1
1:  .asciz "flashutil"
2:  .balign 4
3:  .asciz "io.github.flashutil.flashutil"
4:  .balign 4
    .popsection
)");

namespace {

int RunCommand(int argc, char** argv, ProcessPlumbing& process) {
    // JSON is for programs: its texts stay English whatever the user's language, a usage
    // error's too, so the words are looked at before the line is parsed.
    const bool asksForJson = AsksForJson(argc, argv);
    if (asksForJson)
        SpeakEnglish();
    std::string error;
    const std::optional<Options> options = ParseOptions(argc, argv, error);
    if (!options)
        return ReportUsageError(error, asksForJson, ExitCode::Usage);
    if (options->Json)
        SpeakEnglish();
    switch (options->Command) {
    case Options::Mode::List: return RunList(*options, process);
    case Options::Mode::Cli: return RunCli(*options, process);
    case Options::Mode::Build: return RunBuild(*options, argv[0], process);
    case Options::Mode::Help: return RunHelp();
    case Options::Mode::Version: return RunVersion();
    case Options::Mode::Info: return RunInfo(*options);
    case Options::Mode::ExtractImage: return RunExtractImage(*options, process);
    case Options::Mode::History: return RunHistory(*options);
    case Options::Mode::Verify: return RunVerify(*options);
    case Options::Mode::Window: break;
    }
    return RunWindow(*options, argc, argv, process);
}

}  // namespace

int main(int argc, char** argv) {
    ProcessPlumbing process;  // the one holder of process-wide state, for the signal handlers
    SpeakUserLanguage();
    return process.Finish(RunCommand(argc, argv, process));
}
