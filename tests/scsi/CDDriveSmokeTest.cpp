#include <gtest/gtest.h>

#include "scsi/CDDrive.h"

TEST(CDDriveClassState, StartsWithDefaults) {
    CDDrive::ResetClassState();
    EXPECT_EQ(CDDrive::OpenStatus(), CDDrive::OpenFailed);
    EXPECT_EQ(CDDrive::GetTimeout(), 60);
    EXPECT_EQ(CDDrive::OpenCount(), 0);
}
