// SPDX-License-Identifier: Apache-2.0
// Program entry. Without options the program is the window; options are Linux additions
// that never change what the program does without them.
#include <cstdio>
#include <string>

#include "app/commands/Options.h"
#include "app/commands/StandardStreams.h"
#include "app/commands/UsageError.h"
#include "app/commands/UserLanguage.h"

namespace {

int RunCommand(int argc, char** argv) {
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
    case Options::Mode::List: return RunList(*options);
    case Options::Mode::Cli: return RunCli(*options);
    case Options::Mode::Build: return RunBuild(*options, argv[0]);
    case Options::Mode::Help: return RunHelp();
    case Options::Mode::Version: return RunVersion();
    case Options::Mode::Info: return RunInfo(*options);
    case Options::Mode::ExtractImage: return RunExtractImage(*options);
    case Options::Mode::History: return RunHistory(*options);
    case Options::Mode::Verify: return RunVerify(*options);
    case Options::Mode::Window: break;
    }
    return RunWindow(*options, argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    ProtectStandardStreams();
    SpeakUserLanguage();
    return FinishStandardStreams(RunCommand(argc, argv));
}
