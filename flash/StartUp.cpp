#include "flash/StartUp.h"

#include "flash/Qualification.h"

FlashStartUp::FlashStartUp(const IdentityBlock& block) : Block_(block) {}

FlashStartUp::~FlashStartUp() {
    Drives.reset();  // the list destroys its drives from last to first
    if (IoBufferStorage_) {
        // No drive is left to use the buffer, but the class-wide pointer would outlive it.
        if (CDDrive::Buffer() == IoBufferStorage_.get())
            CDDrive::SetBuffer(nullptr, 0);
        IoBufferStorage_.reset();
        IoBuffer = nullptr;
    }
}

void FlashStartUp::FormIdentityTexts() {
    const IdentityTexts texts = IdentityTexts::From(Block_);
    VendorText = texts.VendorText;
    ModelText = texts.ModelText;
    InquiryText = texts.InquiryText;
    RangeText = texts.RangeText;
    RangeLow = texts.RangeLow;
    RangeHigh = texts.RangeHigh;
}

bool FlashStartUp::AnyFirmware() const { return Block_.AnyFirmware(); }

std::string FlashStartUp::PromptText() const {
    return "Select the " + VendorText + " drive you want to update:";
}

std::string FlashStartUp::CaptionText() const { return VendorText + UtilityTitle + ModelText; }

// The two variants differ in their trailing blanks: the any-firmware text has one after
// "progress!", the range text one after "update!".
std::string FlashStartUp::WarningText() const {
    std::string text = "\nWARNING:\n";
    text += "\nThis flash utility only supports ";
    text += VendorText + " " + ModelText;
    if (AnyFirmware()) {
        text += " drive. ";
        text += "\nWe recommend you close all applications in order to run this update!";
        text += "\nDon't turn off the system while the flash is in progress! ";
    } else {
        text += " drive with firmware:" + RangeText;
        text += "\nWe recommend you close all applications in order to run this update! ";
        text += "\nDon't turn off the system while the flash is in progress!";
    }
    text += "\n\nDo you wish to continue?\n";
    return text;
}

// The report names the model only, never the vendor.
std::string FlashStartUp::ErrorReportHead() const {
    std::string text = "\nERROR:\n";
    if (AnyFirmware()) {
        text += "\nCan't found " + ModelText + " drive !\n";
        text += "\nThis flash utility only supports " + ModelText + "\n";
    } else {
        text += "\nCan't found " + ModelText + " firmware: " + RangeText + " drive !\n";
        text += "\nThis flash utility only supports " + ModelText + " firmware: " + RangeText + "\n";
    }
    return text;
}

bool FlashStartUp::AskWarning(UserInterface& ui) {
    return ui.Show(WarningText(), MessageKind::Warning, MessageButtons::YesNo, MessageAnswer::Yes, "Warning") ==
           MessageAnswer::Yes;
}

bool FlashStartUp::CheckCondition() const {
    if (!Drives || Drives->Current() == nullptr)
        return false;
    const CDDrive* drive = Drives->Current();
    return DriveQualifies(Block_, drive->ProductText(), drive->RevisionText());
}

FlashStartUp::Detection FlashStartUp::Detect(UserInterface& ui) {
    // Built before detection, so that it is ready if nothing qualifies.
    ErrorReport_ = ErrorReportHead();
    Entries_.clear();
    DriveIndex.fill(0);
    Drives = std::make_unique<CDDrives>();

    if (Drives->Count() == 0) {
        ErrorReport_ += "\nCan't find ATAPI Drive !\n";
        ui.Show(ErrorReport_, MessageKind::Error, MessageButtons::Ok, MessageAnswer::Ok, "Error");
        return Detection::NoDrive;
    }

    ErrorReport_ += "\nDetected drives:\n" + std::string(59, '-') + "\n";
    for (int i = 0; i < Drives->Count(); ++i) {
        Drives->Select(static_cast<int16_t>(i));
        CDDrive* drive = Drives->Current();
        if (CheckCondition()) {
            DriveIndex[Entries_.size()] = i;  // Count never exceeds the table's size
            Entries_.push_back(drive->IdentityLine());
        } else {
            ErrorReport_ += drive->IdentityLine() + "\n";
        }
    }

    if (Entries_.empty()) {
        ui.Show(ErrorReport_, MessageKind::Error, MessageButtons::Ok, MessageAnswer::Ok, "Error");
        return Detection::NoneQualify;
    }
    return Detection::Ready;
}

void FlashStartUp::FinishSelection(FlashEngine& engine) {
    Drives->Select(static_cast<int16_t>(DriveIndex[0]));
    if (!IoBufferStorage_)
        IoBufferStorage_ = std::make_unique<uint8_t[]>(IoBufferSize);
    CDDrive::SetBuffer(IoBufferStorage_.get(), IoBufferSize);
    IoBuffer = CDDrive::Buffer();
    engine.CheckNewFormatBIN();
    ComboBoxChange(0, engine);
}

CDDrive* FlashStartUp::SelectEntry(int index) {
    if (!Drives || index < 0 || static_cast<std::size_t>(index) >= Entries_.size())
        return nullptr;
    Drives->Select(static_cast<int16_t>(DriveIndex[index] & 0xFFFF));
    return Drives->Current();
}

void FlashStartUp::ComboBoxChange(int index, FlashEngine& engine) {
    if (CDDrive* drive = SelectEntry(index))
        engine.TargetDrive = drive;
}
