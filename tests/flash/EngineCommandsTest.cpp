// SPDX-License-Identifier: Apache-2.0
// The drive's memory and flash commands: their exact CDBs, directions, lengths, data and
// the way each judges and reports the drive's answer.

#include <cerrno>

#include "EngineFixture.h"

namespace {

class EngineCommands : public EngineFixture {
protected:
    void SetUp() override {
        Build();
        Vd().ClearCommands();
    }
    const RecordedCommand& Last() { return Record().back(); }
    void FailNext(VirtualFault fault) {
        fault.Command = uint32_t(Record().size()) + First;
        Vd().AddFault(fault);
    }
    static VirtualFault SenseFault(uint8_t key, uint8_t asc, uint8_t ascq) {
        VirtualFault f;
        f.Kind = VirtualFaultKind::Sense;
        f.Key = key, f.Asc = asc, f.Ascq = ascq;
        return f;
    }
    uint32_t First = 2;  // command 1 was the INQUIRY of the opening
};

TEST_F(EngineCommands, ImageChunkGoesOutWithOffsetCountAndData) {
    std::vector<uint8_t> chunk(0x4000);
    for (size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = uint8_t(i * 3);
    ASSERT_TRUE(Commands->WriteBuffer(0x4000, chunk.data(), 0x00, 0x4000));
    EXPECT_EQ(Hex(Last().Cdb), Hex({0x3B, 0x05, 0x01, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Last().Direction, DirectionOut);
    EXPECT_EQ(Last().Length, 0x4000u);
    EXPECT_EQ(Last().DataOut, chunk);
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), Vd().Memory().begin() + 0x4000));
    EXPECT_EQ(Commands->LastCdb(), Last().Cdb);
}

TEST_F(EngineCommands, OffsetAndCountUseTheLow24BitsBigEndian) {
    std::vector<uint8_t> data(0x10, 0xAB);
    ASSERT_TRUE(Commands->WriteBuffer(0x7C010, data.data(), 0x00, 0x10));
    EXPECT_EQ(Hex(Last().Cdb), Hex({0x3B, 0x05, 0x01, 0x07, 0xC0, 0x10, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00}));
}

TEST_F(EngineCommands, CommitReadsSixteenBytesInAndIgnoresItsData) {
    ASSERT_TRUE(Commands->WriteBuffer(0, nullptr, 0x80, 0));
    EXPECT_EQ(Hex(Last().Cdb), Hex({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80, 0, 0}));
    EXPECT_EQ(Last().Direction, DirectionIn);
    EXPECT_EQ(Last().Length, 16u);
    ASSERT_TRUE(Commands->WriteBuffer(0, nullptr, 0xA0, 0));
    EXPECT_EQ(Hex(Last().Cdb), Hex({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0}));
    EXPECT_EQ(Last().Direction, DirectionIn);
    EXPECT_EQ(Last().Length, 16u);
    EXPECT_EQ(Vd().LastCommitCode(), 0xA0);
}

TEST_F(EngineCommands, ReadBufferCopiesTheDriveMemoryOut) {
    std::vector<uint8_t> chunk(0x4000, 0x5A);
    ASSERT_TRUE(Commands->WriteBuffer(0x8000, chunk.data(), 0x00, 0x4000));
    std::vector<uint8_t> back(0x4000);
    ASSERT_TRUE(Commands->ReadBuffer(0x8000, back.data(), 0x4000));
    EXPECT_EQ(Hex(Last().Cdb), Hex({0x3C, 0x01, 0x01, 0x00, 0x80, 0x00, 0x00, 0x40, 0x00, 0, 0, 0}));
    EXPECT_EQ(Last().Direction, DirectionIn);
    EXPECT_EQ(Last().Length, 0x4000u);
    EXPECT_EQ(back, chunk);
}

TEST_F(EngineCommands, FailedReadLeavesTheCallersBufferAlone) {
    FailNext(SenseFault(0x04, 0x44, 0x00));
    std::vector<uint8_t> back(0x4000, 0x11);
    EXPECT_FALSE(Commands->ReadBuffer(0, back.data(), 0x4000));
    EXPECT_EQ(back, std::vector<uint8_t>(0x4000, 0x11));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Read Buffer> 04 44 00. 02, 0000"});
}

TEST_F(EngineCommands, VendorCommandsHaveTheirFixedBytes) {
    ASSERT_TRUE(Commands->ReadFlashZone());
    EXPECT_EQ(Hex(Last().Cdb), Hex({0xDF, 0x11, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Last().Direction, DirectionIn);
    EXPECT_EQ(Last().Length, 128u);

    ASSERT_TRUE(Commands->EntryCritical());
    EXPECT_EQ(Hex(Last().Cdb), Hex({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x7F, 0, 0}));
    EXPECT_EQ(Last().Direction, DirectionIn);
    EXPECT_EQ(Last().Length, 0u);

    Drive->Buffer()[0] = 0x3C;
    ASSERT_TRUE(Commands->WriteFlash(0x1234, 0x9A));
    EXPECT_EQ(Hex(Last().Cdb), Hex({0xDF, 0x0A, 0, 0, 0, 0, 0, 0x12, 0x34, 0x9A, 0, 0}));
    EXPECT_EQ(Last().Direction, DirectionOut);
    EXPECT_EQ(Last().DataOut, std::vector<uint8_t>{0x3C});
}

TEST_F(EngineCommands, WriteE2SendsOneCommandPerByteWithWrappingAddress) {
    const uint8_t data[] = {0x10, 0x20, 0x30};
    ASSERT_TRUE(Commands->WriteE2(data, 0xFFFF, 3));
    ASSERT_EQ(Record().size(), 3u);
    EXPECT_EQ(Hex(Record()[0].Cdb), Hex({0xDF, 0x0A, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x10, 0, 0}));
    EXPECT_EQ(Hex(Record()[1].Cdb), Hex({0xDF, 0x0A, 0, 0, 0, 0, 0, 0x00, 0x00, 0x20, 0, 0}));
    EXPECT_EQ(Hex(Record()[2].Cdb), Hex({0xDF, 0x0A, 0, 0, 0, 0, 0, 0x00, 0x01, 0x30, 0, 0}));
    for (const auto& c : Record()) {
        EXPECT_EQ(c.Direction, DirectionIn);
        EXPECT_EQ(c.Length, 0u);
    }
}

TEST_F(EngineCommands, WriteE2WithNoBytesSendsNothing) {
    EXPECT_TRUE(Commands->WriteE2(nullptr, 0x100, 0));
    EXPECT_TRUE(Record().empty());
}

TEST_F(EngineCommands, WriteE2StopsAtTheFirstFailingByte) {
    const uint8_t data[] = {1, 2, 3, 4};
    VirtualFault fault = SenseFault(0x05, 0x24, 0x00);
    fault.Command = First + 1;  // the second byte
    Vd().AddFault(fault);
    EXPECT_FALSE(Commands->WriteE2(data, 0x40, 4));
    EXPECT_EQ(Record().size(), 2u);
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Write E2> 05 24 00. 02, 0000"});
}

TEST_F(EngineCommands, EachCommandNamesItselfOnFailure) {
    struct Case {
        const char* Prefix;
        const char* Name;  // the failure's name in the report
        std::function<bool()> Call;
    };
    std::vector<uint8_t> buffer(0x4000);
    const uint8_t one = 1;
    const std::vector<Case> cases = {
        {"Write Buffer> ", "Write Buffer", [&] { return Commands->WriteBuffer(0, buffer.data(), 0, 0x4000); }},
        {"Write Buffer> ", "Write Buffer", [&] { return Commands->WriteBuffer(0, nullptr, 0x80, 0); }},
        {"Read Buffer> ", "Read Buffer", [&] { return Commands->ReadBuffer(0, buffer.data(), 0x4000); }},
        {"Read Flash Zone Map > ", "Read Flash Zone Map", [&] { return Commands->ReadFlashZone(); }},
        {"Entry critical> ", "Entry critical", [&] { return Commands->EntryCritical(); }},
        {"Write E2> ", "Write E2", [&] { return Commands->WriteE2(&one, 0, 1); }},
        {"Write Flash> ", "Write Flash", [&] { return Commands->WriteFlash(0, 0); }},
    };
    for (const Case& c : cases) {
        Ui.Messages.clear();
        Commands = std::make_unique<DriveCommands>(*Drive, Ui);
        FailNext(SenseFault(0x03, 0x0C, 0x09));
        EXPECT_FALSE(c.Call()) << c.Prefix;
        EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{std::string(c.Prefix) + "03 0C 09. 02, 0000"});
        ASSERT_EQ(Ui.Messages.size(), 1u);
        EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Plain);
        ASSERT_TRUE(Commands->Failure());
        EXPECT_EQ(Commands->Failure()->Name, c.Name);
    }
}

TEST_F(EngineCommands, SenseKeyZeroWithAnAdditionalCodeIsAFailure) {
    FailNext(SenseFault(0x00, 0x5D, 0x00));
    EXPECT_FALSE(Commands->EntryCritical());
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Entry critical> 00 5D 00. 02, 0000"});
}

// The platform reports a failed call (here a timeout) with all sense bytes zero; the command
// did not happen and must not pass for a success.
TEST_F(EngineCommands, PlatformFailureWithoutSenseIsAFailure) {
    VirtualFault fault;
    fault.Kind = VirtualFaultKind::Timeout;
    FailNext(fault);
    EXPECT_FALSE(Commands->WriteBuffer(0, nullptr, 0x80, 0));
    EXPECT_EQ(Vd().CommitCount(), 0u);
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Write Buffer> 00 00 00. 00, 006E"});
}

TEST_F(EngineCommands, BusyStatusWithoutSenseIsAFailure) {
    VirtualFault fault;
    fault.Kind = VirtualFaultKind::Status;
    fault.Status = 0x08;
    FailNext(fault);
    EXPECT_FALSE(Commands->WriteBuffer(0, nullptr, 0x80, 0));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Write Buffer> 00 00 00. 08, 0000"});
}

TEST_F(EngineCommands, TransferLargerThanTheDrivesBufferIsRefusedUnsent) {
    std::vector<uint8_t> chunk(CDDrive::TransferBufferLength + 1);
    EXPECT_FALSE(Commands->WriteBuffer(0, chunk.data(), 0, uint32_t(chunk.size())));
    EXPECT_FALSE(Commands->ReadBuffer(0, chunk.data(), uint32_t(chunk.size())));
    EXPECT_TRUE(Record().empty());
    ASSERT_EQ(Ui.Messages.size(), 2u);
    EXPECT_EQ(Ui.Messages[0].Text.rfind("Write Buffer> ", 0), 0u);
    EXPECT_EQ(Ui.Messages[1].Text.rfind("Read Buffer> ", 0), 0u);
}

TEST_F(EngineCommands, CheckDiscIsTrueOnlyForNoMedium) {
    EXPECT_TRUE(Commands->CheckDisc());
    EXPECT_EQ(Hex(Last().Cdb), Hex({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Last().Direction, DirectionIn);
    EXPECT_EQ(Last().Length, 8u);

    Vd().SetDisc(true);
    EXPECT_FALSE(Commands->CheckDisc());

    Vd().SetDisc(false);
    FailNext(SenseFault(0x02, 0x04, 0x01));
    EXPECT_FALSE(Commands->CheckDisc());
    EXPECT_TRUE(Ui.Messages.empty());
}

}  // namespace
