#pragma once
// The platform a terminal flash run works with, chosen from the command line: virtual
// drives (--virtual-drive) or the Linux back-end (optionally one --device), with every
// command written to a trace file when --trace is given. It also claims the target drive
// for the run on the Linux back-end (no mounted disc, no other holder, no sleep).

#include <memory>
#include <string>

#include "image/IdentityBlock.h"
#include "scsi/CDDrive.h"
#include "scsi/Platform.h"
#include "shell/Options.h"

class CliPlatform {
public:
    virtual ~CliPlatform() = default;

    // nullptr and error set (one line, naming the option or path) when the choice is impossible.
    static std::unique_ptr<CliPlatform> Choose(const Options& options, const IdentityBlock& block,
                                               std::string& error);

    // The platform to install in the drive class (tracing included).
    virtual Platform& Get() = 0;

    // Before the flash run; false with why set when the drive cannot be had for the run.
    virtual bool ClaimForRun(CDDrive* drive, std::string& why) = 0;
    virtual void ReleaseRun(CDDrive* drive) = 0;
};
