// SPDX-License-Identifier: Apache-2.0
#pragma once
// A platform for drive-class tests: drives that answer from a script, and a record of
// every call the drive class made.

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flash/ShownDriveReports.h"
#include "scsi/CDDrive.h"
#include "platform/Platform.h"
#include "support/ScriptedUserInterface.h"

class FakePlatform : public Platform {
public:
    struct SentCommand {
        PlatformHandle Handle;
        uint8_t Cdb[12];
        uint8_t Direction;
        uint8_t* Buffer;
        uint32_t Length;
        uint16_t Timeout;
    };
    // Answers one command: fills outcome (and the buffer for data in).
    using Responder = std::function<void(const SentCommand&, CommandOutcome&)>;

    struct FakeDrive {
        DriveCandidate Candidate;
        int OpenError = 0;           // errno for a failed open, 0 = opens
        std::string Inquiry;         // bytes 8 to 35 of the INQUIRY answer (may hold '\0')
        bool AnswersInquiry = true;
        std::size_t InquiryLength = 36;  // bytes of INQUIRY data the drive moves
        Responder Respond;           // other commands; default: good status, no sense
    };

    std::vector<FakeDrive> Drives;
    std::vector<SentCommand> Sent;
    std::vector<DriveAddress> Opened;  // every Open call, in order
    std::vector<PlatformHandle> Closed;
    std::map<int, std::string> Texts = {{EACCES, "Permission denied"}, {EIO, "Input/output error"}};

    FakeDrive& Add(char letter, uint8_t host, uint8_t target, const std::string& inquiry) {
        FakeDrive drive;
        drive.Candidate.Address = DriveAddress{letter, host, target, 0};
        drive.Candidate.DevicePath = "/dev/sg" + std::to_string(Drives.size());
        drive.Inquiry = inquiry;
        Drives.push_back(drive);
        return Drives.back();
    }

    static void SetSense(CommandOutcome& outcome, uint8_t byte2, uint8_t asc, uint8_t ascq, uint8_t status = 2) {
        outcome.PlatformOk = true;
        outcome.Status = status;
        outcome.Sense[0] = 0x70;
        outcome.Sense[2] = byte2;
        outcome.Sense[12] = asc;
        outcome.Sense[13] = ascq;
    }

    std::vector<DriveCandidate> EnumerateOpticalDrives() override {
        std::vector<DriveCandidate> out;
        for (const FakeDrive& d : Drives)
            out.push_back(d.Candidate);
        return out;
    }
    std::string DevicePath(const DriveAddress& address) const override {
        const FakeDrive* d = Find(address);
        return d ? d->Candidate.DevicePath : std::string();
    }
    OpenOutcome Open(const DriveAddress& address) override {
        Opened.push_back(address);
        const FakeDrive* d = Find(address);
        if (!d || d->OpenError)
            return {NoHandle, d ? d->OpenError : ENODEV};
        return {100 + int(d - Drives.data()), 0};
    }
    bool Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer, uint32_t length,
              uint16_t timeoutSeconds, CommandOutcome& outcome) override {
        SentCommand c{handle, {}, direction, buffer, length, timeoutSeconds};
        std::memcpy(c.Cdb, cdb, 12);
        Sent.push_back(c);
        outcome = CommandOutcome{};
        outcome.PlatformOk = true;
        FakeDrive& d = Drives.at(std::size_t(handle - 100));
        if (cdb[0] == 0x12) {
            if (!d.AnswersInquiry) {
                SetSense(outcome, 0x05, 0x24, 0x00);
            } else {
                uint8_t answer[36] = {0x05};
                std::memcpy(answer + 8, d.Inquiry.data(), std::min<std::size_t>(d.Inquiry.size(), 28));
                const std::size_t moved = std::min<std::size_t>({length, d.InquiryLength, sizeof answer});
                std::memcpy(buffer, answer, moved);
                outcome.Residual = uint32_t(length - moved);
            }
        } else if (d.Respond) {
            d.Respond(c, outcome);
        }
        return outcome.PlatformOk;
    }
    void Close(PlatformHandle handle) override { Closed.push_back(handle); }
    std::string ErrorText(int code) const override {
        auto it = Texts.find(code);
        return it == Texts.end() ? std::string() : it->second;
    }
    void Sleep(unsigned) override {}
    bool RequestRestart() override { return false; }

private:
    const FakeDrive* Find(const DriveAddress& a) const {
        for (const FakeDrive& d : Drives)
            if (d.Candidate.Address == a)
                return &d;
        return nullptr;
    }
};

// Each drive test starts on a fresh fake platform.
class FakePlatformTest : public ::testing::Test {
protected:
    FakePlatform Platform;
    ScriptedUserInterface Ui;
    ShownDriveReports Reports{Ui};
};
