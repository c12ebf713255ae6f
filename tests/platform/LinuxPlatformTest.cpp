// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <grp.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "SysfsFakeTree.h"
#include "flash/ShownDriveReports.h"
#include "scsi/CDDrives.h"
#include "platform/TracingPlatform.h"
#include "platform/linux/LinuxPlatform.h"
#include "support/ScriptedUserInterface.h"

namespace {

const std::string Inquiry = "KAV     CDRW-4012       1.05";

// The kernel as the back-end sees it: opens, SG_IO, stat, helper programs.
struct FakeKernel {
    struct OpenCall {
        std::string Path;
        int Flags;
    };
    std::vector<OpenCall> Opens;
    std::vector<int> Closed;
    std::map<std::string, int> OpenErrors;        // path -> errno for every open
    std::map<std::string, int> ReadWriteErrors;   // path -> errno for read-write opens only
    std::map<std::string, struct stat> Stats;     // path -> what stat says (else the real stat)
    std::map<int, std::string> FdPaths;
    int SgIoError = 0;
    std::vector<std::vector<std::string>> Runs;
    int RunStatus = 0;
    std::vector<std::vector<std::string>> Started;
    bool HelperStarts = true;
    int Stopped = 0;
    int StoppedAtLastRun = -1;  // how many held helpers had been stopped when the last program ran
    int NextFd = 50;

    LinuxSystemCalls Calls() {
        LinuxSystemCalls c;
        c.Open = [this](const std::string& path, int flags) {
            Opens.push_back({path, flags});
            if (auto it = OpenErrors.find(path); it != OpenErrors.end())
                return -it->second;
            if (auto it = ReadWriteErrors.find(path); it != ReadWriteErrors.end() && (flags & O_ACCMODE) == O_RDWR)
                return -it->second;
            FdPaths[NextFd] = path;
            return NextFd++;
        };
        c.Close = [this](int fd) { Closed.push_back(fd); };
        c.SgIoctl = [this](int, sg_io_hdr_t& h) {
            if (SgIoError)
                return SgIoError;
            if (h.cmdp[0] == 0x12) {
                auto* data = static_cast<uint8_t*>(h.dxferp);
                std::memset(data, 0, h.dxfer_len);
                std::memcpy(data + 8, Inquiry.data(), 28);
            }
            return 0;
        };
        c.Stat = [this](const std::string& path, struct stat& info) {
            if (auto it = Stats.find(path); it != Stats.end()) {
                info = it->second;
                return 0;
            }
            return ::stat(path.c_str(), &info) == 0 ? 0 : errno;
        };
        c.Run = [this](const std::vector<std::string>& argv) {
            Runs.push_back(argv);
            StoppedAtLastRun = Stopped;
            return RunStatus;
        };
        c.StartHeld = [this](const std::vector<std::string>& argv) {
            Started.push_back(argv);
            HeldProcess held;
            if (HelperStarts) {
                held.Pipe = 900;
                held.Pid = 901;
            }
            return held;
        };
        c.StopHeld = [this](HeldProcess& held) {
            ++Stopped;
            held = HeldProcess{};
        };
        return c;
    }
    std::vector<std::string> OpenedPaths() const {
        std::vector<std::string> paths;
        for (const OpenCall& c : Opens)
            paths.push_back(c.Path);
        return paths;
    }
};

class LinuxPlatformTest : public ::testing::Test {
protected:
    std::unique_ptr<LinuxPlatform> Make(const std::string& only = "") {
        LinuxPlatformConfig config;
        config.SysfsRoot = Tree.Sys;
        config.DevRoot = Tree.Dev;
        config.ProcRoot = Tree.Proc;
        if (!only.empty())
            config.OnlyDevices = {only};
        config.Calls = Kernel.Calls();
        return std::make_unique<LinuxPlatform>(config);
    }
    // Marks a node as a block device with that number, as stat would.
    void BlockDevice(const std::string& path, unsigned major, unsigned minor) {
        struct stat info{};
        info.st_mode = S_IFBLK | 0660;
        info.st_rdev = makedev(major, minor);
        Kernel.Stats[path] = info;
    }

    FakeTree Tree;
    FakeKernel Kernel;
    ScriptedUserInterface Ui;
};

TEST_F(LinuxPlatformTest, DrivesGetLettersInAddressOrderAndTheirNodes) {
    Tree.AddGeneric("sg4", "3:1:1:0", 5, "sr1");
    Tree.AddGeneric("sg2", "3:0:0:0", 5, "sr0");
    Tree.AddBlock("sr7", "5:0:0:0", 5);
    auto platform = Make();
    const auto drives = platform->EnumerateOpticalDrives();
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].Address, (DriveAddress{'D', 3, 0, 0}));
    EXPECT_EQ(drives[1].Address, (DriveAddress{'E', 3, 1, 0}));
    EXPECT_EQ(drives[2].Address, (DriveAddress{'F', 5, 0, 0}));
    EXPECT_EQ(drives[0].DevicePath, Tree.Dev + "/sg2");
    EXPECT_EQ(platform->DevicePath(drives[2].Address), Tree.Dev + "/sr7");
    EXPECT_EQ(platform->DevicePath(DriveAddress{'Q', 0, 0, 0}), "");
    EXPECT_FALSE(drives[0].IsVirtual);
    EXPECT_EQ(drives[1].ScsiAddress, "3:1:1:0");  // the kernel's numbers, channel included
}

TEST_F(LinuxPlatformTest, LettersRunOutAfterTwentySix) {
    for (int i = 0; i < 28; ++i)
        Tree.AddGeneric("sg" + std::to_string(i), std::to_string(i) + ":0:0:0", 5);
    const auto drives = Make()->EnumerateOpticalDrives();
    ASSERT_EQ(drives.size(), 28u);
    EXPECT_EQ(drives[22].Address.Letter, 'Z');
    EXPECT_EQ(drives[23].Address.Letter, 'A');
    EXPECT_EQ(drives[25].Address.Letter, 'C');
    EXPECT_EQ(drives[26].Address.Letter, ' ');
}

TEST_F(LinuxPlatformTest, OneDeviceThroughALink) {
    Tree.AddGeneric("sg0", "0:0:0:0", 5, "sr0");
    Tree.AddGeneric("sg1", "1:0:0:0", 5, "sr1");
    std::filesystem::create_symlink(Tree.Dev + "/sr1", Tree.Dev + "/cdrom");
    std::string why;
    const auto node = LinuxPlatform::ValidateDevice(Tree.Dev + "/cdrom", why, Tree.Sys, Tree.Dev);
    ASSERT_TRUE(node) << why;
    EXPECT_EQ(*node, Tree.Dev + "/sg1");  // driven through its generic node
    const auto drives = Make(*node)->EnumerateOpticalDrives();
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].DevicePath, Tree.Dev + "/sg1");
    // The letter the drive has in the full list: one address for a drive, with or without --device.
    EXPECT_EQ(drives[0].Address, Make()->EnumerateOpticalDrives()[1].Address);
    EXPECT_EQ(drives[0].Address.Letter, 'E');
}

TEST_F(LinuxPlatformTest, DeviceThatIsNoOpticalDriveIsRefusedWithTheReason) {
    Tree.AddGeneric("sg0", "0:0:0:0", 0);  // a disk
    Tree.AddGeneric("sg1", "1:0:0:0", 5);
    std::string why;
    EXPECT_FALSE(LinuxPlatform::ValidateDevice(Tree.Dev + "/missing", why, Tree.Sys, Tree.Dev));
    EXPECT_EQ(why, Tree.Dev + "/missing: No such file or directory");
    EXPECT_FALSE(LinuxPlatform::ValidateDevice(Tree.Dev + "/sg0", why, Tree.Sys, Tree.Dev));
    EXPECT_EQ(why, Tree.Dev + "/sg0 is not an optical drive's SCSI generic or CD-ROM node (a regular file)");
    EXPECT_FALSE(LinuxPlatform::ValidateDevice(Tree.Dev, why, Tree.Sys, Tree.Dev));
    EXPECT_NE(why.find("(a directory)"), std::string::npos);
    EXPECT_TRUE(LinuxPlatform::ValidateDevice(Tree.Dev + "/sg1", why, Tree.Sys, Tree.Dev));
}

TEST_F(LinuxPlatformTest, GenericNodeIsOpenedExclusivelyAndBlockNodeShared) {
    Tree.AddGeneric("sg0", "0:0:0:0", 5, "sr0");
    Tree.AddBlock("sr1", "1:0:0:0", 5);
    auto platform = Make();
    const auto drives = platform->EnumerateOpticalDrives();
    const PlatformHandle sg = platform->Open(drives[0].Address).Handle;
    const PlatformHandle sr = platform->Open(drives[1].Address).Handle;
    ASSERT_NE(sg, NoHandle);
    ASSERT_NE(sr, NoHandle);
    ASSERT_EQ(Kernel.Opens.size(), 2u);
    EXPECT_EQ(Kernel.Opens[0].Flags, O_RDWR | O_NONBLOCK | O_EXCL);
    EXPECT_EQ(Kernel.Opens[1].Flags, O_RDWR | O_NONBLOCK);
    EXPECT_EQ(platform->DriveOf(sg)->BlockNode, Tree.Dev + "/sr0");
    platform->Close(sg);
    EXPECT_EQ(Kernel.Closed, std::vector<int>{sg});
    EXPECT_EQ(platform->DriveOf(sg), nullptr);
}

// The device behind an open node is read anew each time: a node whose kernel name now leads
// to another device (drives swapped or renumbered) shows as another device, one that leads to
// none as a device that is gone.
TEST_F(LinuxPlatformTest, DeviceBehindANodeFollowsItsKernelName) {
    Tree.AddGeneric("sg0", "0:0:0:0", 5, "sr0");
    Tree.AddBlock("sr1", "1:0:0:0", 5);
    auto platform = Make();
    const auto drives = platform->EnumerateOpticalDrives();
    const PlatformHandle sg = platform->Open(drives[0].Address).Handle;
    const PlatformHandle sr = platform->Open(drives[1].Address).Handle;
    const NodeDevice first = platform->DeviceBehind(sg);
    EXPECT_EQ(first.SystemDevice, std::filesystem::canonical(Tree.Device("0:0:0:0", 5)).string());
    EXPECT_EQ(platform->DeviceBehind(sr).SystemDevice, std::filesystem::canonical(Tree.Device("1:0:0:0", 5)).string());
    EXPECT_EQ(platform->DeviceBehind(sg), first);

    const std::string link = Tree.Sys + "/class/scsi_generic/sg0/device";
    std::filesystem::remove(link);
    std::filesystem::create_directory_symlink(Tree.Device("2:0:0:0", 5), link);
    EXPECT_NE(platform->DeviceBehind(sg), first);
    EXPECT_FALSE(platform->DeviceBehind(sg).Gone);  // another device, not none
    std::filesystem::remove(link);
    EXPECT_NE(platform->DeviceBehind(sg), first);
    EXPECT_TRUE(platform->DeviceBehind(sg).Gone);
    EXPECT_EQ(platform->DeviceBehind(12345), NodeDevice{});  // not a handle of this platform
}

TEST_F(LinuxPlatformTest, SecondCopyMeetsABusyDriveAndSaysSo) {
    Tree.AddGeneric("sg0", "0:0:0:0", 5);
    Tree.AddGeneric("sg1", "0:0:1:0", 5);
    Kernel.OpenErrors[Tree.Dev + "/sg1"] = EBUSY;
    auto platform = Make();
    ShownDriveReports reports(Ui);
    CDDrives drives(*platform, &reports);
    ASSERT_EQ(drives.Count(), 1);
    EXPECT_EQ(drives.Current()->Identity(), "0-0-0 D: " + Inquiry);
    EXPECT_EQ(drives.Current()->DevicePath(), Tree.Dev + "/sg0");
    ASSERT_EQ(Ui.Messages.size(), 2u);
    EXPECT_EQ(Ui.Messages[0].Text, "Error opening: 16, Drive: " + Tree.Dev + "/sg1");
    EXPECT_EQ(Ui.Messages[1].Text,
              "SenseCode: 00 00 00, 00, Error: 16, Device or resource busy (another program is using the drive)");
    ASSERT_EQ(platform->OpenFailures().size(), 1u);
    EXPECT_TRUE(platform->OpenFailures()[0].Busy());
    EXPECT_EQ(platform->OpenFailures()[0].DevicePath, Tree.Dev + "/sg1");
}

TEST_F(LinuxPlatformTest, DeniedOpenNamesTheGroupThatOwnsTheNode) {
    Tree.AddGeneric("sg0", "0:0:0:0", 5);
    const std::string node = Tree.Dev + "/sg0";
    Kernel.OpenErrors[node] = EACCES;
    struct group* owner = nullptr;
    setgrent();
    while ((owner = getgrent()) != nullptr && owner->gr_gid == 0) {
    }
    ASSERT_NE(owner, nullptr);
    const std::string groupName = owner->gr_name;
    struct stat info{};
    info.st_mode = S_IFCHR | 0660;
    info.st_gid = owner->gr_gid;
    endgrent();
    Kernel.Stats[node] = info;

    auto platform = Make();
    const auto drives = platform->EnumerateOpticalDrives();
    const OpenOutcome denied = platform->Open(drives[0].Address);
    EXPECT_EQ(denied.Handle, NoHandle);
    EXPECT_EQ(denied.Error, EACCES);
    const std::string text = platform->ErrorText(EACCES);
    EXPECT_LE(text.size(), 80u);
    EXPECT_EQ(text.rfind("Permission denied", 0), 0u);
    if (17 + std::string(" (run as root, or join group )").size() + groupName.size() <= 80) {
        EXPECT_NE(text.find("join group " + groupName), std::string::npos) << text;
    }
}

TEST_F(LinuxPlatformTest, DeniedOpenOfARootOwnedNodePointsAtTheSeat) {
    auto platform = Make();
    EXPECT_EQ(platform->ErrorText(EACCES), "Permission denied (run as root, or log in at the local seat)");
}

TEST_F(LinuxPlatformTest, KernelFilterOnTheBlockNodeIsToldApart) {
    Tree.AddBlock("sr0", "0:0:0:0", 5);
    Tree.AddGeneric("sg1", "1:0:0:0", 5);
    auto platform = Make();
    const auto drives = platform->EnumerateOpticalDrives();
    const PlatformHandle sr = platform->Open(drives[0].Address).Handle;
    const PlatformHandle sg = platform->Open(drives[1].Address).Handle;
    Kernel.SgIoError = EPERM;
    uint8_t cdb[12] = {0x3B, 0x05};
    uint8_t data[16] = {};
    CommandOutcome outcome;
    EXPECT_FALSE(platform->Send(sr, cdb, DirectionOut, data, sizeof data, 60, outcome));
    EXPECT_EQ(outcome.Error, EPERM);
    EXPECT_EQ(platform->ErrorText(EPERM), "Operation not permitted (kernel filters commands on sr nodes: load sg, or root)");
    EXPECT_FALSE(platform->Send(sg, cdb, DirectionOut, data, sizeof data, 60, outcome));
    EXPECT_EQ(platform->ErrorText(EPERM), "Operation not permitted");
}

TEST_F(LinuxPlatformTest, ErrorTextsFitEightyCharactersAndUnknownCodesHaveNone) {
    auto platform = Make();
    for (int code = 0; code < 140; ++code)
        EXPECT_LE(platform->ErrorText(code).size(), 80u) << code;
    EXPECT_EQ(platform->ErrorText(ETIMEDOUT), "Connection timed out");
    EXPECT_EQ(platform->ErrorText(9999), "");
}

TEST_F(LinuxPlatformTest, CommandsOnAClosedHandleFailWithoutReachingTheKernel) {
    auto platform = Make();
    uint8_t cdb[12] = {};
    CommandOutcome outcome;
    EXPECT_FALSE(platform->Send(77, cdb, DirectionIn, nullptr, 0, 60, outcome));
    EXPECT_EQ(outcome.Error, EBADF);
}

TEST_F(LinuxPlatformTest, RestartAsksTheServiceManager) {
    auto platform = Make();
    EXPECT_TRUE(platform->RequestRestart());
    EXPECT_EQ(Kernel.Runs, (std::vector<std::vector<std::string>>{{"systemctl", "reboot"}}));
    Kernel.RunStatus = 1;
    EXPECT_FALSE(platform->RequestRestart());
    Kernel.RunStatus = -1;
    EXPECT_FALSE(platform->RequestRestart());
}

class RunClaimTest : public LinuxPlatformTest {
protected:
    void SetUp() override {
        LinuxPlatformTest::SetUp();
        Tree.AddGeneric("sg1", "2:0:0:0", 5, "sr0");
        Block = Tree.Dev + "/sr0";
        BlockDevice(Block, 11, 0);
        Platform = Make();
        Handle = Platform->Open(Platform->EnumerateOpticalDrives().at(0).Address).Handle;
        ASSERT_NE(Handle, NoHandle);
        Kernel.Opens.clear();
    }
    std::unique_ptr<LinuxPlatform> Platform;
    PlatformHandle Handle = NoHandle;
    std::string Block;
};

TEST_F(RunClaimTest, ClaimsTheBlockNodeExclusivelyAndBlocksSleepUntilTheClaimGoes) {
    std::string why, notice;
    std::unique_ptr<RunClaim> claim = Platform->ClaimForRun(Handle, why, &notice);
    ASSERT_TRUE(claim) << why;
    EXPECT_EQ(notice, "");
    ASSERT_EQ(Kernel.Opens.size(), 1u);
    EXPECT_EQ(Kernel.Opens[0].Path, Block);
    EXPECT_EQ(Kernel.Opens[0].Flags, O_RDWR | O_NONBLOCK | O_EXCL);
    ASSERT_EQ(Kernel.Started.size(), 1u);
    EXPECT_EQ(Kernel.Started[0][0], "systemd-inhibit");
    EXPECT_NE(std::find(Kernel.Started[0].begin(), Kernel.Started[0].end(), "--mode=block"), Kernel.Started[0].end());
    EXPECT_TRUE(Kernel.Closed.empty());
    EXPECT_EQ(Kernel.Stopped, 0);

    // While the drive is claimed, another claim of it takes nothing more.
    std::unique_ptr<RunClaim> again = Platform->ClaimForRun(Handle, why, &notice);
    ASSERT_TRUE(again);
    EXPECT_EQ(Kernel.Opens.size(), 1u);
    again.reset();
    EXPECT_TRUE(Kernel.Closed.empty());

    const int blockFd = Kernel.NextFd - 1;
    claim.reset();
    EXPECT_EQ(Kernel.Closed, std::vector<int>{blockFd});
    EXPECT_EQ(Kernel.Stopped, 1);
    Platform->Close(Handle);  // the drive itself is closed once, the block node not again
    EXPECT_EQ(Kernel.Closed, (std::vector<int>{blockFd, Handle}));
}

TEST_F(RunClaimTest, TakenThroughATraceAndGivenBackThroughIt) {
    std::vector<std::string> lines;
    TracingPlatform tracing(*Platform, [&lines](const std::string& line) { lines.push_back(line); });
    std::string why;
    std::unique_ptr<RunClaim> claim = tracing.ClaimForRun(Handle, why, nullptr);
    ASSERT_TRUE(claim) << why;
    EXPECT_EQ(Kernel.OpenedPaths(), std::vector<std::string>{Block});
    EXPECT_EQ(Kernel.Started.size(), 1u);
    claim.reset();
    EXPECT_EQ(Kernel.Closed.size(), 1u);
    EXPECT_EQ(Kernel.Stopped, 1);
    EXPECT_TRUE(lines.empty());  // a claim is no drive command

    Kernel.OpenErrors[Block] = EBUSY;  // a refusal comes through with its reason
    EXPECT_FALSE(tracing.ClaimForRun(Handle, why, nullptr));
    EXPECT_EQ(why.rfind(Block + " is held by another program", 0), 0u) << why;
}

TEST_F(RunClaimTest, RestartGivesUpTheRunsOwnSleepLockFirst) {
    std::string why;
    std::unique_ptr<RunClaim> claim = Platform->ClaimForRun(Handle, why, nullptr);
    ASSERT_TRUE(claim) << why;
    EXPECT_TRUE(Platform->RequestRestart());
    EXPECT_EQ(Kernel.StoppedAtLastRun, 1) << "the reboot was asked for while our own inhibitor lock was held";
    EXPECT_EQ(Kernel.Runs.back(), (std::vector<std::string>{"systemctl", "reboot"}));
    EXPECT_TRUE(Kernel.Closed.empty());  // the drive stays claimed
    claim.reset();
    EXPECT_EQ(Kernel.Closed.size(), 1u);
    EXPECT_EQ(Kernel.Stopped, 1);  // the lock is not stopped twice
}

TEST_F(RunClaimTest, MountedDiscIsRefusedNamingTheMountPoint) {
    FakeTree::Write(Tree.Proc + "/self/mountinfo",
                    "21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                    "40 21 11:0 / /media/user/My\\040Disc ro,nosuid - iso9660 /dev/sr0 ro\n");
    std::string why;
    EXPECT_FALSE(Platform->ClaimForRun(Handle, why, nullptr));
    EXPECT_EQ(why, Block + " has a disc mounted at /media/user/My Disc; unmount it (umount /media/user/My Disc) and try again");
    EXPECT_TRUE(Kernel.Opens.empty());
    EXPECT_TRUE(Kernel.Started.empty());
}

TEST_F(RunClaimTest, MountOfAnotherDeviceNumberIsNoObstacle) {
    FakeTree::Write(Tree.Proc + "/self/mountinfo", "40 21 11:1 / /media/other ro - iso9660 /dev/sr1 ro\n");
    std::string why;
    EXPECT_TRUE(Platform->ClaimForRun(Handle, why, nullptr)) << why;
}

TEST_F(RunClaimTest, HeldNodeIsRefusedNamingTheHolder) {
    Kernel.OpenErrors[Block] = EBUSY;
    std::filesystem::create_directories(Tree.Proc + "/4242/fd");
    std::filesystem::create_symlink(Block, Tree.Proc + "/4242/fd/7");
    FakeTree::Write(Tree.Proc + "/4242/comm", "discburner\n");
    std::filesystem::create_directories(Tree.Proc + "/4300/fd");
    std::filesystem::create_symlink("/dev/null", Tree.Proc + "/4300/fd/0");
    std::string why;
    EXPECT_FALSE(Platform->ClaimForRun(Handle, why, nullptr));
    EXPECT_EQ(why, Block + " is held by another program or a mount (4242 (discburner)); close it and try again");
    EXPECT_TRUE(Kernel.Started.empty());
}

TEST_F(RunClaimTest, ReadOnlyAccessStillGivesTheExclusiveClaim) {
    Kernel.ReadWriteErrors[Block] = EACCES;
    std::string why;
    ASSERT_TRUE(Platform->ClaimForRun(Handle, why, nullptr)) << why;
    ASSERT_EQ(Kernel.Opens.size(), 2u);
    EXPECT_EQ(Kernel.Opens[1].Flags, O_RDONLY | O_NONBLOCK | O_EXCL);
}

TEST_F(RunClaimTest, NoAccessAtAllIsRefusedWithWhatToDo) {
    Kernel.OpenErrors[Block] = EACCES;
    std::string why;
    EXPECT_FALSE(Platform->ClaimForRun(Handle, why, nullptr));
    EXPECT_EQ(why.rfind(Block + ": permission denied; run as root, or join", 0), 0u) << why;
}

TEST_F(RunClaimTest, WithoutAnInhibitorTheRunGoesOnAfterOneNotice) {
    Kernel.HelperStarts = false;
    std::string why, notice;
    ASSERT_TRUE(Platform->ClaimForRun(Handle, why, &notice));  // given back at once
    EXPECT_NE(notice.find("Sleep and shutdown cannot be blocked"), std::string::npos);
    EXPECT_EQ(Kernel.Closed.size(), 1u);
    EXPECT_EQ(Kernel.Stopped, 0);
    notice.clear();
    ASSERT_TRUE(Platform->ClaimForRun(Handle, why, &notice));
    EXPECT_EQ(notice, "");
}

TEST_F(RunClaimTest, ClosingTheDriveOrThePlatformEndsTheClaim) {
    std::string why;
    std::unique_ptr<RunClaim> claim = Platform->ClaimForRun(Handle, why, nullptr);
    ASSERT_TRUE(claim) << why;
    Platform->Close(Handle);
    EXPECT_EQ(Kernel.Closed.size(), 2u);  // the block node, then the generic node
    EXPECT_EQ(Kernel.Closed.back(), Handle);
    EXPECT_EQ(Kernel.Stopped, 1);
    claim.reset();  // holds nothing any more
    EXPECT_EQ(Kernel.Closed.size(), 2u);
    EXPECT_EQ(Kernel.Stopped, 1);

    Handle = Platform->Open(Platform->EnumerateOpticalDrives().at(0).Address).Handle;
    claim = Platform->ClaimForRun(Handle, why, nullptr);
    ASSERT_TRUE(claim) << why;
    Platform.reset();  // gives back the block node and the lock, then closes the drive
    EXPECT_EQ(Kernel.Closed.size(), 4u);
    EXPECT_EQ(Kernel.Closed.back(), Handle);
    EXPECT_EQ(Kernel.Stopped, 2);
    claim.reset();  // after its platform: nothing left to give back
    EXPECT_EQ(Kernel.Closed.size(), 4u);
}

TEST_F(RunClaimTest, UnknownHandleIsRefused) {
    std::string why;
    EXPECT_FALSE(Platform->ClaimForRun(12345, why, nullptr));
    EXPECT_EQ(why, "the drive is not open");
}

TEST_F(LinuxPlatformTest, DriveWithoutBlockDeviceNeedsNoBlockClaim) {
    Tree.AddGeneric("sg0", "0:0:0:0", 5);
    auto platform = Make();
    const PlatformHandle handle = platform->Open(platform->EnumerateOpticalDrives().at(0).Address).Handle;
    Kernel.Opens.clear();
    std::string why;
    EXPECT_TRUE(platform->ClaimForRun(handle, why, nullptr));
    EXPECT_TRUE(Kernel.Opens.empty());
}

}  // namespace
