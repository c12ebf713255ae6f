// SPDX-License-Identifier: Apache-2.0
#pragma once
// The platform a command works with, chosen from the command line: virtual drives when
// --virtual-drive is given (never otherwise; each one adds its drives, with options of its own),
// else the Linux back-end, restricted to the drives --device names; wrapped in a command trace
// when --trace is given, and in a line on the error stream per command with --verbose.

#include <memory>
#include <string>

#include "areas/IdentityBlock.h"
#include "platform/Platform.h"
#include "sim/VirtualDriveOptions.h"
#include "app/setup/Options.h"

class TracingPlatform;
class ReplayPlatform;

struct PlatformChoice {
    PlatformChoice();
    ~PlatformChoice();

    std::unique_ptr<Platform> Base;          // the Linux back-end or the virtual drives
    std::unique_ptr<TracingPlatform> Trace;  // over Base, with --trace
    std::unique_ptr<Platform> Verbose;       // over the trace or Base, with --verbose
    ReplayPlatform* Replay = nullptr;        // Base, when it plays back a recording

    // The platform to install in the drive class (the outermost of Verbose, Trace and Base).
    Platform& Get();

    // What detection looks at, for a "no drive found" message.
    std::string Searched;
};

struct PlatformChoiceError {
    std::string Text;  // one line, naming the option or path
    int Exit = ExitCode::Usage;
};

// nullptr and error set when the command line asks for something impossible: bad
// virtual-drive options, --device together with --virtual-drive or a replayed drive together
// with other virtual drives (usage errors), a
// --device that is no optical drive (no drive), a trace file that cannot be opened or is
// neither a regular file nor a character device (failures). A trace write that fails later
// is said once on the error stream; the run goes on.
// After a run on a replayed drive: a run that left the recording gets the report on the error
// stream and ExitCode::ReplayDiverged; one that sent fewer commands than recorded is told so
// and keeps its code. Otherwise code unchanged.
int FinishReplay(const PlatformChoice& choice, int code);

std::unique_ptr<PlatformChoice> ChoosePlatform(const Options& options, const IdentityBlock& block,
                                               PlatformChoiceError& error);
