// SPDX-License-Identifier: Apache-2.0
// The virtual drive behind the kernel's SCSI target: which commands reach the model, the
// direction each of the program's commands is taken to have, and the answers to the kernel.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "scsi/Commands.h"
#include "sim/VirtualDrive.h"
#include "sim/tcmu/KernelServedDrive.h"

namespace {

using Cdb = std::array<uint8_t, 12>;

Cdb Bytes(std::initializer_list<uint8_t> bytes) {
    Cdb cdb{};
    std::size_t i = 0;
    for (uint8_t b : bytes)
        cdb[i++] = b;
    return cdb;
}

const Cdb Events = Bytes({0x4A, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x08});
const Cdb Prevent = Bytes({0x1E});

// Commands as a run on a kernel-served drive sends them, with the sr driver's own between:
// what the target passed on in a measured run (attach, the claim's open, the close).
TEST(KernelServedDrive, OnlyTheProgramsCommandsReachTheModel) {
    CommandRouter router;
    const Cdb attach[] = {Bytes({0x12, 0, 0, 0, 0x24}), Bytes({0x12, 1, 0, 0, 4}), Bytes({0x00}),
                          Bytes({0x1A, 0, 0x2A, 0, 0x80}), Bytes({0x46, 0, 0, 0x28, 0, 0, 0, 0, 0x10}), Events};
    for (const Cdb& cdb : attach)
        EXPECT_EQ(router.Route(cdb.data()), CommandSource::Kernel) << "before it is armed";
    router.Arm();

    struct Step {
        Cdb Bytes;
        CommandSource Source;
    };
    const Step run[] = {
        {Commands::Inquiry().Cdb, CommandSource::Program},        // the listing
        {Commands::Inquiry().Cdb, CommandSource::Program},        // the start-up
        {Events, CommandSource::Kernel},                          // the claim opens the block node
        {Commands::TestUnitReady().Cdb, CommandSource::Kernel},
        {Commands::TestUnitReady().Cdb, CommandSource::Kernel},
        {Commands::LoadMedium().Cdb, CommandSource::Program},
        {Commands::TestUnitReady().Cdb, CommandSource::Program},  // the readiness wait
        {Commands::ReadCapacity().Cdb, CommandSource::Program},
        {Commands::WriteChunk(0, 0x4000).Cdb, CommandSource::Program},
        {Commands::ReadFlashId().Cdb, CommandSource::Program},
        {Bytes({0x12, 0x01, 0x80, 0, 0xFC}), CommandSource::Kernel},  // a VPD page: never the program's
        {Commands::Commit(false).Cdb, CommandSource::Program},
        {Events, CommandSource::Kernel},                          // the claim closes it
        {Commands::TestUnitReady().Cdb, CommandSource::Kernel},
        {Prevent, CommandSource::Kernel},
        {Commands::ReadCapacity().Cdb, CommandSource::Kernel},
        {Commands::Inquiry().Cdb, CommandSource::Program},        // the next run
        {Commands::TestUnitReady().Cdb, CommandSource::Program},
    };
    int index = 0;
    for (const Step& step : run)
        EXPECT_EQ(router.Route(step.Bytes.data()), step.Source) << "command " << index++;
}

// The ring carries no direction: it is taken from the bytes, as the program gives it.
TEST(KernelServedDrive, EachCommandGetsTheDirectionTheProgramSendsItWith) {
    const Command sent[] = {
        Commands::TestUnitReady(), Commands::Inquiry(),          Commands::LoadMedium(),
        Commands::StopUnit(),      Commands::StopPlayScan(),     Commands::ReadCapacity(),
        Commands::WriteChunk(0x4000, 0x4000), Commands::ReadChunk(0x4000, 0x4000),
        Commands::WriteProfile(false, 318), Commands::WriteProfile(true, 314), Commands::ReadProfile(318),
        Commands::EntryCritical(), Commands::Commit(false),      Commands::Commit(true),
        Commands::ReadFlashId(),   Commands::ReadFlashZone(),    Commands::WriteE2(0x10, 0x55),
        Commands::WriteFlash(0x10, 0x55),
    };
    for (const Command& command : sent)
        EXPECT_EQ(DirectionOf(command.Cdb.data(), command.Length), command.Direction) << CommandName(command);
    // The one the bytes cannot tell: an empty profile upload looks like entry critical.
    const Command empty = Commands::WriteProfile(true, 0);
    EXPECT_EQ(empty.Direction, DirectionOut);
    EXPECT_EQ(DirectionOf(empty.Cdb.data(), 0), DirectionIn);
}

TEST(KernelServedDrive, AnswersTheKernelAsADriveWithoutADisc) {
    VirtualDriveConfig config;
    config.Inquiry = "SGIOTESTOPTICALTESTDRIVE";
    VirtualDrive drive(config, DriveAddress{'K', 0, 0, 0}, "/dev/uio0");

    const KernelAnswer inquiry = AnswerKernelCommand(Bytes({0x12, 0, 0, 0, 0x24}).data(), 36, drive);
    ASSERT_EQ(inquiry.Data.size(), 36u);
    EXPECT_EQ(inquiry.Data[0], 0x05);
    EXPECT_EQ(std::string(inquiry.Data.begin() + 8, inquiry.Data.begin() + 36), "SGIOTESTOPTICALTESTDRIVE1.00");

    const KernelAnswer ready = AnswerKernelCommand(Bytes({0x00}).data(), 0, drive);
    EXPECT_EQ(ready.Key, 0x02);
    EXPECT_EQ(ready.Asc, 0x3A);

    // MODE SENSE(6) and (10) of the capabilities page: the header's length counts what follows it.
    const KernelAnswer six = AnswerKernelCommand(Bytes({0x1A, 0, 0x2A, 0, 0x80}).data(), 128, drive);
    ASSERT_GE(six.Data.size(), 6u);
    EXPECT_EQ(six.Data[0], six.Data.size() - 1);
    EXPECT_EQ(six.Data[4], 0x2A);
    const KernelAnswer ten = AnswerKernelCommand(Bytes({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x0C}).data(), 12, drive);
    EXPECT_EQ(ten.Data.size(), 12u) << "cut to the allocation length";
    EXPECT_EQ(ten.Data[8], 0x2A);

    // The media event: no medium; with a disc, present.
    EXPECT_EQ(AnswerKernelCommand(Events.data(), 8, drive).Data.at(5), 0x00);
    drive.SetDisc(true);
    EXPECT_EQ(AnswerKernelCommand(Events.data(), 8, drive).Data.at(5), 0x02);
    EXPECT_EQ(AnswerKernelCommand(Bytes({0x00}).data(), 0, drive).Key, 0x00);

    EXPECT_EQ(AnswerKernelCommand(Prevent.data(), 0, drive).Key, 0x00);
    const KernelAnswer unknown = AnswerKernelCommand(Bytes({0xA4}).data(), 0, drive);
    EXPECT_EQ(unknown.Key, 0x05);
    EXPECT_EQ(unknown.Asc, 0x20);
    EXPECT_TRUE(drive.Commands().empty()) << "the model never sees the kernel's commands";
}

}  // namespace
