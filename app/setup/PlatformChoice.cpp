// SPDX-License-Identifier: Apache-2.0
#include "app/setup/PlatformChoice.h"

#include <sys/stat.h>

#include <cstdio>

#include "platform/linux/LinuxPlatform.h"
#include "platform/TracingPlatform.h"
#include "sim/ReplayPlatform.h"
#include "sim/VirtualDrive.h"
#include "app/setup/VerbosePlatform.h"

PlatformChoice::PlatformChoice() = default;
PlatformChoice::~PlatformChoice() = default;

Platform& PlatformChoice::Get() {
    if (Verbose)
        return *Verbose;
    return Trace ? static_cast<Platform&>(*Trace) : *Base;
}

namespace {

// Whether two names lead to the same file, by any links or other names.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// With --trace, the trace over the chosen platform; with --verbose, the command lines over that.
// The trace never takes the place of the recording replayed: that is what a report of a
// divergence needs.
std::unique_ptr<PlatformChoice> Traced(std::unique_ptr<PlatformChoice> choice, const Options& options,
                                       PlatformChoiceError& error, const std::string& replayed = "") {
    if (options.TraceFile) {
        if (!replayed.empty() && SameFile(*options.TraceFile, replayed)) {
            error = {"cannot write the trace file " + *options.TraceFile + ": it is the recording this run replays (" +
                         replayed + "); it is not replaced",
                     ExitCode::Failure};
            return nullptr;
        }
        std::string why;
        // A trace that stops being written is said once; the run itself goes on.
        choice->Trace = TracingPlatform::ToFile(*choice->Base, *options.TraceFile, why, [](const std::string& message) {
            std::fprintf(stderr, "flashutil: %s\n", message.c_str());
        });
        if (!choice->Trace) {
            error = {why, ExitCode::Failure};
            return nullptr;
        }
        choice->Trace->SetRecordData(options.TraceData);
    }
    if (options.Verbose)
        choice->Verbose = std::make_unique<VerbosePlatform>(choice->Get());
    return choice;
}

}  // namespace

int FinishReplay(const PlatformChoice& choice, int code) {
    if (choice.Replay == nullptr)
        return code;
    if (const std::optional<std::string>& report = choice.Replay->Divergence()) {
        std::fprintf(stderr, "flashutil: replay: %s\n", report->c_str());
        return ExitCode::ReplayDiverged;
    }
    if (choice.Replay->Answered() < choice.Replay->Recorded())
        std::fprintf(stderr, "flashutil: replay: the run sent %zu of the %zu recorded commands\n",
                     choice.Replay->Answered(), choice.Replay->Recorded());
    return code;
}

std::unique_ptr<PlatformChoice> ChoosePlatform(const Options& options, const IdentityBlock& block,
                                               PlatformChoiceError& error) {
    auto choice = std::make_unique<PlatformChoice>();
    if (!options.VirtualDrives.empty()) {
        if (!options.Devices.empty()) {
            error = {"--device and --virtual-drive do not go together", ExitCode::Usage};
            return nullptr;
        }
        // Each --virtual-drive adds its drives, in the order given, with options of its own.
        std::vector<VirtualDriveConfig> configs;
        for (const std::string& text : options.VirtualDrives) {
            std::string why;
            std::optional<VirtualDriveConfig> config = ParseVirtualDriveOptions(text, VirtualDefaultsFor(block), why);
            if (!config) {
                error = {"--virtual-drive: " + why, ExitCode::Usage};
                return nullptr;
            }
            configs.push_back(std::move(*config));
        }
        const VirtualDriveConfig* config = &configs.front();
        if (configs.size() > 1) {
            for (const VirtualDriveConfig& each : configs)
                if (!each.ReplayFile.empty()) {
                    error = {"--virtual-drive=replay=FILE plays one drive and goes with no other --virtual-drive",
                             ExitCode::Usage};
                    return nullptr;
                }
        }
        if (!config->ReplayFile.empty()) {
            std::string why;
            std::optional<Recording> recording = ReadRecording(config->ReplayFile, why);
            if (!recording) {
                error = {"--virtual-drive: " + why, ExitCode::Usage};
                return nullptr;
            }
            choice->Searched = "the recording " + config->ReplayFile;
            auto replay = std::make_unique<ReplayPlatform>(std::move(*recording));
            choice->Replay = replay.get();
            choice->Base = std::move(replay);
            return Traced(std::move(choice), options, error, config->ReplayFile);
        }
        auto virtualDrives = std::make_unique<VirtualPlatform>();
        for (const VirtualDriveConfig& each : configs)
            for (unsigned i = 0; i < each.Count; ++i)
                virtualDrives->AddDrive(each);
        choice->Searched = std::to_string(virtualDrives->DriveCount()) + " virtual drives";
        choice->Base = std::move(virtualDrives);
    } else {
        LinuxPlatformConfig config;
        if (!options.Devices.empty()) {
            // The drives given are the candidates, in the system's order.
            for (const std::string& device : options.Devices) {
                std::string why;
                const std::optional<std::string> node = LinuxPlatform::ValidateDevice(device, why);
                if (!node) {
                    error = {why, ExitCode::Usage};  // not an optical drive: a usage error
                    return nullptr;
                }
                config.OnlyDevices.push_back(*node);
                choice->Searched += (choice->Searched.empty() ? "" : ", ") + *node;
            }
        } else {
            choice->Searched = "/sys/class/scsi_generic and /sys/class/block";
        }
        choice->Base = std::make_unique<LinuxPlatform>(config);
    }
    return Traced(std::move(choice), options, error);
}
