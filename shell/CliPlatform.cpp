#include "shell/CliPlatform.h"

#include "scsi/LinuxPlatform.h"
#include "scsi/TracingPlatform.h"
#include "scsi/VirtualDrive.h"
#include "scsi/VirtualDriveOptions.h"

namespace {

class Chosen : public CliPlatform {
public:
    std::unique_ptr<Platform> Base;
    LinuxPlatform* Linux = nullptr;  // the base when it is the Linux back-end
    std::unique_ptr<TracingPlatform> Trace;

    Platform& Get() override { return Trace ? static_cast<Platform&>(*Trace) : *Base; }

    bool ClaimForRun(CDDrive* drive, std::string& why) override {
        if (!Linux || drive == nullptr)
            return true;
        std::string notice;
        const bool claimed = Linux->ClaimForRun(drive->Handle, why, &notice);
        if (!notice.empty())
            std::fprintf(stderr, "flashutil: %s\n", notice.c_str());
        return claimed;
    }
    void ReleaseRun(CDDrive* drive) override {
        if (Linux && drive != nullptr)
            Linux->ReleaseRun(drive->Handle);
    }
};

}  // namespace

std::unique_ptr<CliPlatform> CliPlatform::Choose(const Options& options, const IdentityBlock& block,
                                                 std::string& error) {
    auto chosen = std::make_unique<Chosen>();
    if (options.VirtualDrive) {
        if (options.Device) {
            error = "--device and --virtual-drive do not go together";
            return nullptr;
        }
        const VirtualDriveConfig defaults =
            VirtualDefaultsForIdentity(block.Inquiry(), block.FwRange(), block.NewFwName());
        const std::optional<VirtualDriveConfig> config =
            ParseVirtualDriveOptions(*options.VirtualDrive, defaults, error);
        if (!config) {
            error = "--virtual-drive: " + error;
            return nullptr;
        }
        chosen->Base = std::make_unique<VirtualPlatform>(*config);
    } else {
        LinuxPlatformConfig config;
        if (options.Device) {
            std::string why;
            const std::optional<std::string> node = LinuxPlatform::ValidateDevice(*options.Device, why);
            if (!node) {
                error = why;
                return nullptr;
            }
            config.OnlyDevice = *node;
        }
        auto backEnd = std::make_unique<LinuxPlatform>(config);
        chosen->Linux = backEnd.get();
        chosen->Base = std::move(backEnd);
    }
    if (options.TraceFile) {
        chosen->Trace = TracingPlatform::ToFile(*chosen->Base, *options.TraceFile, error);
        if (!chosen->Trace)
            return nullptr;
    }
    return chosen;
}
