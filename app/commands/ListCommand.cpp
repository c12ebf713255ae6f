// SPDX-License-Identifier: Apache-2.0
// flashutil --list [--device PATH] [--virtual-drive[=OPTIONS]] [--json] [DIR]
//
// With a folder of utilities DIR, each drive's line (and object) also names the utility of DIR
// that fits it, or why none does, by the rule a flash of the folder plans with; nothing but the
// identification is sent to any drive.
//
// Prints every detected drive on a line of its own: its identity line and its device
// path (virtual drives, replayed ones too, marked as such), or with --json one JSON document {"drives": [...]}
// (the keys are described in the manual page). What the drive class shows during detection
// (open failures, sense reports) goes to the error stream, so the output stays a clean
// list. No drive: no line on the output (with --json the document with an empty list), a
// message on the error stream naming what was searched, and a distinct exit code. Drives
// beyond the list's 24 are not listed; the error stream says how many.

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "flash/Qualification.h"
#include "areas/IdentityBlock.h"
#include "flash/ShownDriveReports.h"
#include "scsi/CDDrives.h"
#include "platform/JsonKeys.h"
#include "platform/JsonText.h"
#include "base/Sha256.h"
#include "platform/PrintableText.h"
#include "session/GuardedPlatform.h"
#include "app/commands/AllDrivesCommand.h"
#include "app/commands/Commands.h"
#include "platform/DriveId.h"
#include "session/CatalogueChoice.h"
#include "trust/SignaturePolicy.h"
#include "trust/TrustedKeys.h"
#include "app/setup/PlatformChoice.h"
#include "app/terminal/TerminalUserInterface.h"
#include "app/terminal/UsageError.h"

namespace {

std::string TrimRight(std::string text) {
    const std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

// What the drive and the system supplied, without control bytes: a line of the list is one drive.
std::string PlainLine(const std::string& identity, const std::string& device, bool isVirtual) {
    std::string line = PrintableText(identity) + "  " + PrintableText(device);
    if (isVirtual)
        line += " (virtual drive)";
    return line;
}

nlohmann::ordered_json TextOrNull(const std::string& text) {
    return text.empty() ? nlohmann::ordered_json(nullptr) : JsonText(text);
}

// The revision this copy installs; null for a blank copy, which installs none.
nlohmann::ordered_json InstalledRevision(const IdentityBlock& block) {
    if (block.IsBlankCopy())
        return nullptr;
    const std::string name = block.NewFwName();
    return JsonText(name.substr(0, std::min(name.find('\0'), std::size_t(4))));
}

// The utility of a folder a drive gets, or why none.
struct FolderFit {
    const CatalogueUtility* Utility = nullptr;
    std::string Why;
};

FolderFit FitOf(const Catalogue& folder, const CDDrive& drive) {
    const CatalogueChoice choice = ChooseUtility(folder, {drive.PeripheralType(), drive.ProductText(), drive.RevisionText()});
    if (choice.Result != CatalogueChoice::Kind::Fits)
        return {nullptr, choice.Why};
    return {&folder.Utilities[std::size_t(choice.Utility)], {}};
}

// "  1.50.EXE: FW:1.10 -> FW:1.50, signed by ..." or "  no utility in DIR for ...".
std::string FitWords(const FolderFit& fit, const CDDrive& drive) {
    if (!fit.Utility)
        return "  " + PrintableText(fit.Why);
    return "  " + PrintableText(fit.Utility->Name + ": FW:" + drive.RevisionText() + " -> FW:" + fit.Utility->NewRevision +
                                ", " + VerdictLine(fit.Utility->Verdict));
}

nlohmann::ordered_json FitObject(const FolderFit& fit) {
    if (!fit.Utility)
        return nullptr;
    const CatalogueUtility& utility = *fit.Utility;
    return {{JsonKey::File, JsonText(utility.Copy.FullPath)},
            {JsonKey::FileSha256, utility.Copy.Sha256},
            {JsonKey::Maker, JsonText(utility.Texts.VendorText)},
            {JsonKey::NewRevision, JsonText(utility.NewRevision)},
            {JsonKey::Signature,
             {{JsonKey::Verdict, VerdictName(utility.Verdict.Result)},
              {JsonKey::Signer, TextOrNull(utility.Verdict.Signer)},
              {JsonKey::Fingerprint, TextOrNull(utility.Verdict.Fingerprint)}}}};
}

nlohmann::ordered_json FolderObject(const Catalogue& folder) {
    nlohmann::ordered_json skipped = nlohmann::ordered_json::array();
    for (const CatalogueSkip& skip : folder.Skipped)
        skipped.push_back({{"file", JsonText(folder.Folder + "/" + skip.Name)}, {"reason", JsonText(skip.Reason)}});
    nlohmann::ordered_json utilities = nlohmann::ordered_json::array();
    for (const CatalogueUtility& utility : folder.Utilities)
        utilities.push_back(JsonText(utility.Copy.FullPath));
    return {{"path", JsonText(folder.Folder)}, {"utilities", utilities}, {"skipped", skipped},
            {"truncated", folder.Truncated}};
}

nlohmann::ordered_json DriveObject(const GuardedPlatform& platform, CDDrive& drive, const std::string& identity,
                                   const IdentityBlock& block, const Catalogue* folder) {
    const std::string product = drive.ProductText();
    const DriveCandidate* candidate = platform.CandidateAt(drive.DevicePath());
    const FolderFit fit = folder ? FitOf(*folder, drive) : FolderFit{};
    const std::string whyNot =
        folder ? fit.Why : JudgeDrive(block, drive.PeripheralType(), product, drive.RevisionText()).Why;
    nlohmann::ordered_json object;
    object["identity"] = JsonText(identity);
    object[JsonKey::Vendor] = JsonText(TrimRight(product.substr(0, 8)));  // the drive's INQUIRY vendor
    object["product"] = JsonText(TrimRight(product.substr(std::min<std::size_t>(8, product.size()))));
    object["revision"] = JsonText(drive.RevisionText());
    object["device"] = JsonText(drive.DevicePath());
    object["generic_node"] = TextOrNull(candidate ? candidate->GenericNode : "");
    object["block_node"] = TextOrNull(candidate ? candidate->BlockNode : "");
    object["serial"] = candidate && candidate->Serial ? JsonText(*candidate->Serial) : nlohmann::ordered_json(nullptr);
    // A digest of where the drive is plugged in: the same across boots and renumbered nodes.
    const std::optional<std::string> id = candidate ? DriveIdOf(*candidate) : std::nullopt;
    object[JsonKey::DeviceId] = id ? nlohmann::ordered_json(*id) : nlohmann::ordered_json(nullptr);
    object["by_id"] = TextOrNull(candidate ? candidate->ById : "");
    object["virtual"] = drive.IsVirtual();
    object["scsi_address"] = JsonText(candidate ? candidate->ScsiAddress : "");
    object["qualifies"] = whyNot.empty();
    object["not_qualified_because"] = TextOrNull(whyNot);
    object[JsonKey::NewRevision] = !folder ? InstalledRevision(block)
                                   : fit.Utility ? nlohmann::ordered_json(JsonText(fit.Utility->NewRevision))
                                                 : nlohmann::ordered_json(nullptr);
    object[JsonKey::InstallsRevision] = object[JsonKey::NewRevision];  // the earlier spelling, one release
    if (folder)
        object["utility"] = FitObject(fit);
    return object;
}

// Under -v, the line below a drive's that names it as the history does: by the id that stays
// when its node is renumbered, and its serial.
std::string IdLine(const DriveCandidate* candidate) {
    const std::optional<std::string> id = candidate ? DriveIdOf(*candidate) : std::nullopt;
    std::string line = "    drive id " + (id ? *id : std::string("unknown (the system does not tell where it sits)"));
    if (candidate && candidate->Serial)
        line += ", serial " + PrintableText(*candidate->Serial);
    return line + "\n";
}

// The list proper, on the chosen platform.
int ListDrives(const Options& options, const IdentityBlock& block, PlatformChoice& choice, ProcessPlumbing& process,
               const Catalogue* folder) {
    // Every box the drive class shows during detection is a diagnostic here: all to stderr.
    TerminalUserInterface::Streams streams;
    streams.Out = stderr;
    streams.Err = stderr;
    TerminalUserInterface ui(false, streams);
    GuardedPlatform platform(choice.Get(), process);  // no command is broken off half-way

    int listed = 0;
    nlohmann::ordered_json document;
    document[JsonKey::Schema] = JsonSchemaName::List;
    if (folder)
        document["folder"] = FolderObject(*folder);
    document["drives"] = nlohmann::ordered_json::array();
    {
        ShownDriveReports reports(ui);
        CDDrives drives(platform, &reports);
        for (int i = 0; i < drives.Count(); ++i) {
            CDDrive& drive = *drives.Item(i);
            // The identity line as detection found it; no further command is sent.
            const std::string identity = drive.Identity();
            if (options.Json)
                document["drives"].push_back(DriveObject(platform, drive, identity, block, folder));
            else
                std::printf("%s%s\n%s", PlainLine(identity, drive.DevicePath(), drive.IsVirtual()).c_str(),
                            folder ? FitWords(FitOf(*folder, drive), drive).c_str() : "",
                            options.Verbose ? IdLine(platform.CandidateAt(drive.DevicePath())).c_str() : "");
            ++listed;
        }
        // One document, whatever was found: a tool reading it never meets an empty output.
        if (options.Json)
            std::printf("%s\n", document.dump(2, ' ', true).c_str());
        std::fflush(stdout);
        if (drives.LeftOut() > 0)
            std::fprintf(stderr, "flashutil: %s\n", drives.LeftOutText().c_str());
    }

    if (listed > 0)
        return ExitCode::Success;
    if (const GuardedPlatform::OpenFailure* failure = platform.BusyOrDenied()) {
        std::fprintf(stderr, "flashutil: no optical drive could be opened: %s: %s\n", PrintableText(failure->DevicePath).c_str(),
                     platform.ErrorText(failure->Error).c_str());
        return ExitCode::Busy;
    }
    std::fprintf(stderr, "flashutil: No optical drive found (searched %s).\n", choice.Searched.c_str());
    return ExitCode::NoDrive;
}

}  // namespace

int RunList(const Options& options, ProcessPlumbing& process) {
    IdentityBlock block = IdentityBlock::Embedded();
    // A folder of utilities is looked at before any drive; its first utility gives the virtual drive's defaults.
    std::optional<Catalogue> folder;
    if (options.Subject) {
        if (!IsCatalogueFolder(*options.Subject))
            return ReportUsageError("--list takes a folder of utilities; " + PrintableText(*options.Subject) +
                                        " is not a folder",
                                    options.Json, ExitCode::Usage);
        std::string why;
        if (!ScanCatalogue(*options.Subject, InstalledTrustedKeys(), ReadSignaturePolicy(SignaturePolicyPath()),
                           folder.emplace(), why)) {
            std::fprintf(stderr, "flashutil: %s\n", PrintableText(why).c_str());
            return ExitCode::Failure;
        }
        TellSkippedFiles(*folder, options.Verbose);
        if (!folder->Utilities.empty())
            block = folder->Utilities.front().Copy.View();
    }
    PlatformChoiceError error;
    std::unique_ptr<PlatformChoice> choice = ChoosePlatform(options, block, error);
    if (!choice)
        return ReportUsageError(error.Text, options.Json && error.Exit == ExitCode::Usage, error.Exit);
    return FinishReplay(*choice, ListDrives(options, block, *choice, process, folder ? &*folder : nullptr));
}
