// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a virtual drive is made of, and the OPTIONS text of --virtual-drive[=OPTIONS]
// that describes it: comma-separated key=value pairs.
//
//   inquiry=TEXT     the 24 vendor and product characters (shorter texts are padded with blanks)
//   rev=XXXX         the revision INQUIRY reports (4 characters)
//   newrev=XXXX      the revision INQUIRY reports once a commit has run
//   chip=HHHHHHHH    the first 4 bytes of the flash-ID reply, 8 hex digits
//   disc=0|1         whether a disc is in the tray
//   ready=N          TEST UNIT READY answers "becoming ready" N times after a load
//   count=N          that many identical drives (0 to 64)
//   fail=N:KK/AA/QQ  command N fails with that sense triple (hex bytes)
//   status=N:SS      command N ends with status byte SS (hex) and no sense, not carried out
//   error=N:E        command N fails in the platform with errno E (a number or a name like EIO)
//   timeout=N        command N times out (platform error ETIMEDOUT, no sense)
//   corrupt=N        command N is carried out but one byte of its read data comes back altered
//   commit-ms=N      the commit takes N milliseconds; beyond the timeout the program gives the
//                    command, the drive does not answer in time (ETIMEDOUT once the timeout
//                    has passed) and goes on to write its flash
//   unplug=N         the drive is unplugged once it has answered command N: later commands fail
//                    with ENODEV and its node leads to no device
//   open-error=E     opening the drive fails with errno E
//   replay=FILE      the drive of a recording, played back (see ReplayPlatform); the whole
//                    text, with no other option
//
// Commands are counted per drive from 1, INQUIRY included. fail, status, error, timeout
// and corrupt may be repeated to add more faults; two faults on one command are refused.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "areas/IdentityBlock.h"

enum class VirtualFaultKind {
    Sense,          // check condition with Key/Asc/Ascq, command not carried out
    Status,         // status byte Status with no sense, command not carried out
    PlatformError,  // the platform call fails with Error, no sense, command not carried out
    Timeout,        // the platform call fails with ETIMEDOUT, command not carried out
    Corrupt,        // carried out; one byte of the data read in is altered
};

struct VirtualFault {
    uint32_t Command = 0;  // which command, counting from 1
    VirtualFaultKind Kind = VirtualFaultKind::Sense;
    uint8_t Key = 0, Asc = 0, Ascq = 0;
    uint8_t Status = 0;
    int Error = 0;

    friend bool operator==(const VirtualFault&, const VirtualFault&) = default;
};

struct VirtualDriveConfig {
    static constexpr std::size_t InquiryLength = 24;
    static constexpr std::size_t RevisionLength = 4;
    static constexpr unsigned MaxCount = 64;

    std::string Inquiry = "VIRTUAL OPTICAL DRIVE   ";  // exactly 24 bytes
    std::string Revision = "1.00";                      // exactly 4 bytes
    std::string NewRevision = "1.01";                   // exactly 4 bytes
    std::array<uint8_t, 4> ChipId = {0xDA, 0xC8, 0x00, 0x00};
    bool Disc = false;
    unsigned ReadyPolls = 0;
    unsigned Count = 1;
    unsigned CommitMilliseconds = 0;
    uint32_t UnplugAfter = 0;  // 0: never unplugged
    int OpenError = 0;  // 0: opening succeeds
    int ClaimError = 0;  // 0: it is claimed for a run; else the claim is refused with this error (tests)
    std::vector<VirtualFault> Faults;
    std::string ReplayFile;  // not empty: the drive is played back from this recording
};

// Applies the OPTIONS text to defaults. An empty text gives the defaults unchanged.
// A bad option gives nullopt and a one-line message naming it (callers put the
// option's name, --virtual-drive, in front).
std::optional<VirtualDriveConfig> ParseVirtualDriveOptions(const std::string& text,
                                                           const VirtualDriveConfig& defaults,
                                                           std::string& error);

// The defaults that fit a utility: its inquiry text padded or cut to 24 (a fixed virtual
// product for the "--" wildcard), the lowest revision of its range ("0000" for the range
// wildcard) and the first 4 characters of its new revision name. A blank copy's virtual
// drive is the fixed one.
VirtualDriveConfig VirtualDefaultsFor(const IdentityBlock& block);

// Error numbers by name ("EIO") or number ("5"); nullopt for anything else.
std::optional<int> ParseErrorNumber(const std::string& text);
