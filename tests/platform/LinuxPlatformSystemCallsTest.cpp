// SPDX-License-Identifier: Apache-2.0
// The real system calls behind the Linux back-end, on harmless targets: nothing here
// touches a drive or asks the system to restart.
#include <fcntl.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/linux/LinuxSystemCalls.h"

namespace {

TEST(LinuxSystemCalls, OpenGivesMinusErrnoOnFailure) {
    const LinuxSystemCalls calls = LinuxSystemCalls::Real();
    EXPECT_EQ(calls.Open("/nonexistent/flashutil-node", O_RDWR | O_NONBLOCK | O_EXCL), -ENOENT);
    const int fd = calls.Open("/dev/null", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);  // never handed on to the restart helper
    calls.Close(fd);
}

TEST(LinuxSystemCalls, SgIoOnANodeThatIsNoDriveGivesTheErrno) {
    const LinuxSystemCalls calls = LinuxSystemCalls::Real();
    const int fd = calls.Open("/dev/null", O_RDWR);
    ASSERT_GE(fd, 0);
    const uint8_t cdb[12] = {0x00};
    CommandOutcome outcome;
    EXPECT_FALSE(SendSgIo(fd, calls.SgIoctl, cdb, DirectionIn, nullptr, 0, 1, outcome));
    EXPECT_EQ(outcome.Error, ENOTTY);
    EXPECT_EQ(outcome.Sense[2], 0);
    calls.Close(fd);
}

TEST(LinuxSystemCalls, RunReportsTheExitStatus) {
    const LinuxSystemCalls calls = LinuxSystemCalls::Real();
    EXPECT_EQ(calls.Run({"true"}), 0);
    EXPECT_EQ(calls.Run({"sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(calls.Run({"/nonexistent/flashutil-helper"}), -1);
    EXPECT_EQ(calls.Run({}), -1);
}

TEST(LinuxSystemCalls, HeldHelperLivesUntilItsPipeIsClosed) {
    const LinuxSystemCalls calls = LinuxSystemCalls::Real();
    HeldProcess held = calls.StartHeld({"sh", "-c", "echo ready; exec cat >/dev/null"});
    ASSERT_TRUE(held.Running());
    EXPECT_EQ(kill(held.Pid, 0), 0);
    const pid_t pid = held.Pid;
    calls.StopHeld(held);
    EXPECT_FALSE(held.Running());
    EXPECT_EQ(kill(pid, 0), -1);  // ended and reaped
}

TEST(LinuxSystemCalls, HelperThatGivesUpIsNotHeld) {
    const LinuxSystemCalls calls = LinuxSystemCalls::Real();
    EXPECT_FALSE(calls.StartHeld({"sh", "-c", "exit 1"}).Running());
    EXPECT_FALSE(calls.StartHeld({"/nonexistent/flashutil-helper"}).Running());
}

}  // namespace
