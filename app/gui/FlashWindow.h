// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window of a built copy: it lists the drives that may take the image this copy carries
// and flashes the chosen one when the button is pressed.

#include <memory>

#include "app/gui/FormWindow.h"
#include "trust/CopyVerdict.h"

class CDDrive;
class FlashSession;

class FlashWindow : public FormWindow {
    Q_OBJECT
public:
    explicit FlashWindow(FlashFormSettings settings);
    ~FlashWindow() override;

    // Flashes the drive of the chosen entry.
    void Press() override;

    // The number, in the list of detected drives, of the drive behind list entry `entry`,
    // and of the drive a run would flash; -1 for none.
    int DriveIndex(int entry) const;
    int TargetDriveIndex() const;

private:
    void ChoiceChanged() override;
    void StartUp();
    void MarkVirtualEntries();
    // With a folder: each entry names the utility its drive would get, or why it gets none
    // (FlashWindowFolder.cpp).
    void NameUtilities();

    class FrontEnd;
    std::unique_ptr<FrontEnd> FrontEnd_;
    // The session whose plan the person makes from the list: identity texts, drives, entries.
    std::unique_ptr<FlashSession> Session_;
    int Selected_ = -1;  // the chosen entry of the list
};
