// SPDX-License-Identifier: Apache-2.0
#pragma once
// The virtual drive as the kernel's SCSI target serves it (tcmu-drive.cpp): which of the
// commands that arrive are the program's, to be judged by the drive model, and which the
// kernel sends on its own (the sr driver's probe, its open and close of the block node), to
// be answered here as a drive answers them; and the data direction of each command, which
// the target does not pass on.

#include <cstdint>
#include <vector>

#include "sim/VirtualDrive.h"

// What a command is, and for whom.
enum class CommandSource {
    Program,  // one of the commands the program sends: the drive model judges it
    Kernel,   // the kernel's own: answered here, the model never sees it
};

// Tells the program's commands from the kernel's. Everything before Arm() is the kernel's
// (the scan and the sr driver's probe). Afterwards a command is the kernel's when the program
// never sends its opcode or form (MODE SENSE, GET CONFIGURATION, an INQUIRY of a VPD page,
// PREVENT ALLOW MEDIUM REMOVAL, ...), or when it is a TEST UNIT READY or READ CAPACITY that
// follows a GET EVENT STATUS NOTIFICATION with only kernel commands between: the sr driver
// asks for events first whenever its node is opened or closed, and checks the medium with
// those two after it. The first of the program's commands ends that stretch.
class CommandRouter {
public:
    void Arm() { Armed_ = true; }
    bool Armed() const { return Armed_; }
    CommandSource Route(const uint8_t cdb[12]);

private:
    bool Armed_ = false;
    bool AfterEvents_ = false;
};

// The data direction the program gives the command (DirectionIn or DirectionOut), from its
// bytes and the length of its data phase: only WRITE BUFFER (but the commit, which answers
// data in) and the vendor byte write move data out. A command without data goes out as data
// in, as the program sends it; so an empty profile upload, sent as data out, cannot be told
// from entry critical and counts as entry critical.
uint8_t DirectionOf(const uint8_t cdb[12], uint32_t length);

// The answer to one of the kernel's commands, given as a drive gives it: the standard INQUIRY
// from the drive's identity, TEST UNIT READY and READ CAPACITY from its tray, the events and
// the current profile of an MMC drive without or with a disc, the CD/DVD capabilities page,
// PREVENT ALLOW MEDIUM REMOVAL accepted; anything else ILLEGAL REQUEST, invalid command
// operation code (05/20/00).
struct KernelAnswer {
    uint8_t Key = 0, Asc = 0, Ascq = 0;
    std::vector<uint8_t> Data;  // at most the allocation length and the data phase's length
};
KernelAnswer AnswerKernelCommand(const uint8_t cdb[12], uint32_t length, const VirtualDrive& drive);
