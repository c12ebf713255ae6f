// SPDX-License-Identifier: Apache-2.0
#pragma once
// A drive list's reports (failed opens, sense reports) shown to the person as plain messages.

#include <string>

#include "scsi/DriveReports.h"
#include "ui/Answers.h"

class ShownDriveReports final : public DriveReports {
public:
    explicit ShownDriveReports(Answers& answers) : Answers_(answers) {}
    void Report(const std::string& text) override { Answers_.Show(text, MessageKind::Plain); }

private:
    Answers& Answers_;
};
