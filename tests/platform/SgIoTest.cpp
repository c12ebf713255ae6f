// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/linux/SgIo.h"

namespace {

const uint8_t Cdb[12] = {0x3B, 0x05, 0x00, 0x01, 0x23, 0x45, 0x00, 0x40, 0x00, 0x00, 0xAA, 0x55};

// What the kernel answers, and what it was asked.
struct Kernel {
    int Errno = 0;
    int Info = 0;
    uint8_t Status = 0;
    uint16_t Host = 0;
    uint16_t Driver = 0;
    std::vector<uint8_t> Sense;
    int Resid = 0;

    sg_io_hdr_t Seen{};
    std::vector<uint8_t> SeenCdb;
    int SeenFd = -1;
    int Calls = 0;

    IoctlFn Fn() {
        return [this](int fd, sg_io_hdr_t& h) {
            ++Calls;
            SeenFd = fd;
            Seen = h;
            SeenCdb.assign(h.cmdp, h.cmdp + h.cmd_len);
            if (Errno)
                return Errno;
            h.info = Info;
            h.status = Status;
            h.masked_status = Status >> 1;
            h.host_status = Host;
            h.driver_status = Driver;
            const std::size_t n = std::min<std::size_t>(Sense.size(), h.mx_sb_len);
            if (n > 0)
                std::memcpy(h.sbp, Sense.data(), n);
            h.sb_len_wr = uint8_t(n);
            h.resid = Resid;
            return 0;
        };
    }
};

std::vector<uint8_t> FixedSense(uint8_t byte2, uint8_t asc, uint8_t ascq) {
    std::vector<uint8_t> s(18, 0);
    s[0] = 0x70;
    s[2] = byte2;
    s[7] = 10;
    s[12] = asc;
    s[13] = ascq;
    return s;
}

CommandOutcome Exchange(Kernel& kernel, uint8_t direction = 1, uint32_t length = 16, uint16_t timeout = 60) {
    static uint8_t buffer[0x4000];
    CommandOutcome outcome;
    outcome.Sense[2] = 0x77;  // must be overwritten
    const bool ok = SendSgIo(7, kernel.Fn(), Cdb, direction, buffer, length, timeout, outcome);
    EXPECT_EQ(ok, outcome.PlatformOk);
    return outcome;
}

TEST(SgIoRequest, DataInHeader) {
    Kernel kernel;
    uint8_t buffer[128];
    CommandOutcome outcome;
    SendSgIo(9, kernel.Fn(), Cdb, 1, buffer, 128, 60, outcome);
    const sg_io_hdr_t& h = kernel.Seen;
    EXPECT_EQ(kernel.SeenFd, 9);
    EXPECT_EQ(h.interface_id, 'S');
    EXPECT_EQ(h.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(h.cmd_len, 12);
    EXPECT_EQ(kernel.SeenCdb, std::vector<uint8_t>(Cdb, Cdb + 12));
    EXPECT_EQ(h.dxfer_len, 128u);
    EXPECT_EQ(h.dxferp, buffer);
    EXPECT_EQ(h.timeout, 60000u);
    EXPECT_GE(h.mx_sb_len, 24);
    EXPECT_NE(h.sbp, nullptr);
    EXPECT_EQ(h.iovec_count, 0);
    EXPECT_EQ(h.flags, 0u);
}

TEST(SgIoRequest, EveryDirectionOtherThanOneIsDataOut) {
    for (uint8_t direction : {uint8_t(0), uint8_t(2), uint8_t(0xFF)}) {
        Kernel kernel;
        Exchange(kernel, direction, 0x4000, 180);
        EXPECT_EQ(kernel.Seen.dxfer_direction, SG_DXFER_TO_DEV) << int(direction);
        EXPECT_EQ(kernel.Seen.dxfer_len, 0x4000u);
        EXPECT_EQ(kernel.Seen.timeout, 180000u);
    }
}

TEST(SgIoRequest, LengthZeroHasNoDataPhaseWhateverTheDirection) {
    for (uint8_t direction : {uint8_t(1), uint8_t(0)}) {
        Kernel kernel;
        Exchange(kernel, direction, 0);
        EXPECT_EQ(kernel.Seen.dxfer_direction, SG_DXFER_NONE);
        EXPECT_EQ(kernel.Seen.dxfer_len, 0u);
        EXPECT_EQ(kernel.Seen.dxferp, nullptr);
    }
}

TEST(SgIoRequest, LargestTimeoutDoesNotOverflow) {
    Kernel kernel;
    Exchange(kernel, 1, 0, 65535);
    EXPECT_EQ(kernel.Seen.timeout, 65535000u);
}

TEST(SgIoAnswer, GoodCompletion) {
    Kernel kernel;
    CommandOutcome o = Exchange(kernel);
    EXPECT_TRUE(o.PlatformOk);
    EXPECT_EQ(o.Status, 0);
    EXPECT_EQ(o.Error, 0);
    EXPECT_EQ(o.Sense[2], 0);
}

TEST(SgIoAnswer, FailedIoctlKeepsItsErrnoAndNoSense) {
    Kernel kernel;
    kernel.Errno = EPERM;
    CommandOutcome o = Exchange(kernel);
    EXPECT_FALSE(o.PlatformOk);
    EXPECT_EQ(o.Error, EPERM);
    EXPECT_EQ(o.Sense[2], 0);
    EXPECT_EQ(o.Status, 0);
}

TEST(SgIoAnswer, CheckConditionWithSenseIsTheDrivesAnswer) {
    Kernel kernel;
    kernel.Info = SG_INFO_CHECK;
    kernel.Status = 0x02;
    kernel.Driver = SgDriver::Sense;
    kernel.Sense = FixedSense(0x02, 0x3A, 0x00);
    CommandOutcome o = Exchange(kernel);
    EXPECT_TRUE(o.PlatformOk);
    EXPECT_EQ(o.Status, 0x02);
    EXPECT_EQ(o.Sense[2], 0x02);
    EXPECT_EQ(o.Sense[12], 0x3A);
}

TEST(SgIoAnswer, DescriptorSenseIsNormalised) {
    Kernel kernel;
    kernel.Info = SG_INFO_CHECK;
    kernel.Status = 0x02;
    kernel.Driver = SgDriver::Sense;
    kernel.Sense = {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0};
    CommandOutcome o = Exchange(kernel);
    EXPECT_TRUE(o.PlatformOk);
    EXPECT_EQ(o.Sense[2], 0x05);
    EXPECT_EQ(o.Sense[12], 0x24);
    EXPECT_EQ(o.Sense[13], 0x00);
}

TEST(SgIoAnswer, CheckConditionWithoutSenseIsAFailedCall) {
    Kernel kernel;
    kernel.Info = SG_INFO_CHECK;
    kernel.Status = 0x02;
    CommandOutcome o = Exchange(kernel);
    EXPECT_FALSE(o.PlatformOk);
    EXPECT_EQ(o.Error, EIO);
    EXPECT_EQ(o.Status, 0x02);
    EXPECT_EQ(o.Sense[2], 0);
}

TEST(SgIoAnswer, HostAndDriverErrorsWithoutSenseNameTheCause) {
    struct Case {
        uint16_t Host, Driver;
        int Errno;
    };
    for (const Case& c : {Case{SgHost::TimeOut, 0, ETIMEDOUT}, Case{SgHost::NoConnect, 0, ENODEV},
                          Case{SgHost::BadTarget, 0, ENXIO}, Case{SgHost::Reset, 0, EIO},
                          Case{SgHost::Error, 0, EIO}, Case{SgHost::Abort, 0, EIO},
                          Case{0, SgDriver::Timeout, ETIMEDOUT}, Case{0, 0x04, EIO},
                          Case{SgHost::TimeOut, SgDriver::Sense, ETIMEDOUT}}) {
        Kernel kernel;
        kernel.Info = SG_INFO_CHECK;
        kernel.Host = c.Host;
        kernel.Driver = c.Driver;
        CommandOutcome o = Exchange(kernel);
        EXPECT_FALSE(o.PlatformOk) << c.Host << "/" << c.Driver;
        EXPECT_EQ(o.Error, c.Errno) << c.Host << "/" << c.Driver;
        EXPECT_EQ(o.Sense[2], 0);
        EXPECT_EQ(o.Sense[12], 0);
    }
}

TEST(SgIoAnswer, HostErrorWithZeroSenseKeyIsStillAFailedCall) {
    Kernel kernel;
    kernel.Info = SG_INFO_CHECK;
    kernel.Host = SgHost::Reset;
    kernel.Driver = SgDriver::Sense;
    kernel.Sense = FixedSense(0x00, 0x29, 0x00);
    CommandOutcome o = Exchange(kernel);
    EXPECT_FALSE(o.PlatformOk);
    EXPECT_EQ(o.Error, EIO);
    EXPECT_EQ(o.Sense[12], 0);
}

TEST(SgIoAnswer, HostErrorWithASenseKeyKeepsTheDrivesSense) {
    Kernel kernel;
    kernel.Info = SG_INFO_CHECK;
    kernel.Status = 0x02;
    kernel.Host = SgHost::Error;
    kernel.Driver = SgDriver::Sense;
    kernel.Sense = FixedSense(0x06, 0x29, 0x00);
    CommandOutcome o = Exchange(kernel);
    EXPECT_TRUE(o.PlatformOk);
    EXPECT_EQ(o.Sense[2], 0x06);
    EXPECT_EQ(o.Sense[12], 0x29);
}

TEST(SgIoAnswer, BusyStatusWithoutSenseIsPassedOn) {
    Kernel kernel;
    kernel.Info = SG_INFO_CHECK;
    kernel.Status = 0x08;
    CommandOutcome o = Exchange(kernel);
    EXPECT_TRUE(o.PlatformOk);
    EXPECT_EQ(o.Status, 0x08);
}

TEST(SgIoAnswer, ShortTransferIsRecorded) {
    Kernel kernel;
    kernel.Resid = 92;
    CommandOutcome o = Exchange(kernel, 1, 128);
    EXPECT_TRUE(o.PlatformOk);
    EXPECT_EQ(o.Residual, 92u);
}

TEST(SgIoAnswer, SenseLengthBeyondTheBufferIsClipped) {
    sg_io_hdr_t h{};
    h.status = 0x02;
    h.mx_sb_len = SgSenseLength;
    h.sb_len_wr = 255;
    uint8_t sense[SgSenseLength] = {0x70, 0, 0x03};
    CommandOutcome o = InterpretSgIo(0, h, sense);
    EXPECT_TRUE(o.PlatformOk);
    EXPECT_EQ(o.Sense[2], 0x03);
}

}  // namespace
