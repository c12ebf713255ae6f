#pragma once
// The flash-mode start-up of a built copy, shared by the window and the terminal front
// end: the identity texts, the warning, the detection of the drives, the qualification
// of each against the identity block, the list of qualifying drives, the transfer buffer
// and the first selection. It holds the start-up members of the window.
//
// The steps are separate calls so that a front end can interleave its own changes in the
// right places. A front end calls, in this order:
//
//   FlashStartUp startUp(block);               // needs CDDrive::SetPlatform (and SetUserInterface,
//                                              // for the messages detection may show)
//   startUp.FormIdentityTexts();               // the six identity texts
//   ... prompt PromptText()
//   if (!startUp.AskWarning(ui)) -> end        // the warning box, Yes/No, default Yes
//   ... hide the file list, caption CaptionText()
//   switch (startUp.Detect(ui))                // detection, qualification, the error report
//     Ready: fill the drive list from Entries(), select entry 0 (no change event)
//     NoDrive, NoneQualify: the report was shown -> end
//   startUp.FinishSelection(engine);           // drive of entry 0, IoBuffer, image kind, TargetDrive
//
// and later ComboBoxChange(index, engine) for every change of the selection.
//
// The owner of a FlashEngine should destroy this object before the engine: the drives
// (last to first) and IoBuffer go before the engine's StepBuffer and ProfileCopy.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "flash/FlashEngine.h"
#include "image/IdentityBlock.h"
#include "scsi/CDDrives.h"
#include "ui/UserInterface.h"

class FlashStartUp {
public:
    static constexpr const char* UtilityTitle = " Flash Utility V1.048 for";
    static constexpr uint32_t IoBufferSize = FlashEngine::ChunkSize;

    enum class Detection {
        Ready,        // at least one drive qualifies
        NoDrive,      // no drive was detected; the error report was shown
        NoneQualify,  // drives were detected, none qualifies; the report listing them was shown
    };

    explicit FlashStartUp(const IdentityBlock& block);
    // Destroys the drives (last to first, closing their devices), then frees IoBuffer; the
    // drives' class-wide transfer buffer is set back to its default if it still is IoBuffer.
    ~FlashStartUp();
    FlashStartUp(const FlashStartUp&) = delete;
    FlashStartUp& operator=(const FlashStartUp&) = delete;

    // Forms VendorText, ModelText, InquiryText, RangeText, RangeLow and RangeHigh.
    void FormIdentityTexts();

    // "Select the " + VendorText + " drive you want to update:"
    std::string PromptText() const;
    // VendorText + UtilityTitle + ModelText, the window caption once the warning is accepted.
    std::string CaptionText() const;
    // The warning, in its any-firmware or firmware-range variant.
    std::string WarningText() const;
    // The head and model lines of the error report, before detection adds its tail.
    std::string ErrorReportHead() const;

    // Shows the warning (warning kind, Yes/No, title "Warning", default Yes).
    // True only when the answer is Yes.
    bool AskWarning(UserInterface& ui);

    // Creates Drives (which detects the drives), qualifies each, fills Entries() and
    // DriveIndex, and on NoDrive or NoneQualify shows the error report (error kind, OK,
    // title "Error").
    Detection Detect(UserInterface& ui);

    // Whether the current drive of Drives qualifies for the image.
    bool CheckCondition() const;

    // The last step: selects the drive of entry 0, allocates and installs IoBuffer, lets the
    // engine decide the image kind and makes the drive of entry 0 the engine's TargetDrive.
    void FinishSelection(FlashEngine& engine);

    // A new selection in the drive list: selects drive DriveIndex[index] (low 16 bits) and
    // returns it (Current of Drives). An index outside the list changes nothing; null is
    // then returned.
    CDDrive* SelectEntry(int index);
    // The same, and the drive becomes the engine's TargetDrive.
    void ComboBoxChange(int index, FlashEngine& engine);

    // The drive list entries: the identity line of each qualifying drive, in list order.
    const std::vector<std::string>& Entries() const { return Entries_; }
    // The error report as built so far (dropped unseen when a drive qualifies).
    const std::string& ErrorReport() const { return ErrorReport_; }

    // Identity texts (empty until FormIdentityTexts).
    std::string VendorText;
    std::string ModelText;
    std::string InquiryText;
    std::string RangeText;
    std::string RangeLow;
    std::string RangeHigh;

    // The detected drives; null before Detect.
    std::unique_ptr<CDDrives> Drives;
    // Entry k holds the Drives index of drive list entry k. Sized to the drive list's capacity,
    // so every drive the list can hold has an entry even when all of them qualify.
    std::array<int32_t, CDDrives::Capacity> DriveIndex{};
    // The transfer buffer of all drives once FinishSelection ran (read back from the drive class).
    uint8_t* IoBuffer = nullptr;

private:
    bool AnyFirmware() const;  // FwRange bytes 0 and 5 are both '-'

    IdentityBlock Block_;
    std::vector<std::string> Entries_;
    std::string ErrorReport_;
    std::unique_ptr<uint8_t[]> IoBufferStorage_;
};
