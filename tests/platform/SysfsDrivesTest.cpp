// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "SysfsFakeTree.h"
#include "platform/linux/SysfsDrives.h"

namespace {

std::vector<std::string> Nodes(const std::vector<SysfsDrive>& drives) {
    std::vector<std::string> nodes;
    for (const SysfsDrive& d : drives)
        nodes.push_back(d.CommandNode());
    return nodes;
}

TEST(SysfsDrives, EmptyOrMissingTreeFindsNothing) {
    FakeTree tree;
    EXPECT_TRUE(FindOpticalDrives(tree.Sys, tree.Dev).empty());
    EXPECT_TRUE(FindOpticalDrives(tree.Root + "/nowhere", tree.Dev).empty());
}

TEST(SysfsDrives, OnlyOpticalDrivesInAddressOrder) {
    FakeTree tree;
    tree.AddGeneric("sg0", "0:0:0:0", 0);            // a disk
    tree.AddGeneric("sg1", "10:0:0:0", 5, "sr2");    // host 10 sorts after host 2
    tree.AddGeneric("sg2", "2:0:1:0", 5, "sr1");
    tree.AddGeneric("sg3", "2:0:0:0", 5, "sr0");
    tree.AddGeneric("sg4", "1:0:0:0", 8);            // a changer
    const auto drives = FindOpticalDrives(tree.Sys, tree.Dev);
    EXPECT_EQ(Nodes(drives), (std::vector<std::string>{tree.Dev + "/sg3", tree.Dev + "/sg2", tree.Dev + "/sg1"}));
    EXPECT_EQ(drives[0].BlockNode, tree.Dev + "/sr0");
    EXPECT_EQ(drives[2].Host, 10);
    EXPECT_EQ(drives[1].Target, 1);
}

TEST(SysfsDrives, BlockNodeWhereThereIsNoGenericNode) {
    FakeTree tree;
    tree.AddGeneric("sg1", "1:0:0:0", 5, "sr0", /*genericNode=*/false);
    const auto drives = FindOpticalDrives(tree.Sys, tree.Dev);
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].GenericNode, "");
    EXPECT_EQ(drives[0].CommandNode(), tree.Dev + "/sr0");
}

TEST(SysfsDrives, CdromBlockDevicesAreFoundWithoutTheGenericDriver) {
    FakeTree tree;
    tree.AddBlock("sr0", "3:0:0:0", 5);
    tree.AddGeneric("sg0", "0:0:0:0", 5, "sr1");  // seen both ways: one drive
    const auto drives = FindOpticalDrives(tree.Sys, tree.Dev);
    EXPECT_EQ(Nodes(drives), (std::vector<std::string>{tree.Dev + "/sg0", tree.Dev + "/sr0"}));
}

TEST(SysfsDrives, DriveWithoutAnyNodeIsSkipped) {
    FakeTree tree;
    tree.AddGeneric("sg0", "0:0:0:0", 5, "sr0", false, false);
    EXPECT_TRUE(FindOpticalDrives(tree.Sys, tree.Dev).empty());
}

TEST(SysfsDrives, ScsiAddressParsing) {
    int h, c, t, l;
    EXPECT_TRUE(ParseScsiAddress("12:0:3:1", h, c, t, l));
    EXPECT_EQ(h, 12);
    EXPECT_EQ(t, 3);
    EXPECT_EQ(l, 1);
    for (const char* bad : {"", "1:0:0", "1:0:0:0:0", "a:0:0:0", "1::0:0", "1:0:0:0 ", "target1:0:0"})
        EXPECT_FALSE(ParseScsiAddress(bad, h, c, t, l)) << bad;
}

}  // namespace

// The physical path is where the device sits in the tree, below the sysfs root, whichever
// class entry found it: the same for the drive seen as sgN and as srM, and other for
// another drive. It is what the drive's stable id is made of.
TEST(SysfsDrives, PhysicalPathIsTheDevicesPlaceInTheTree) {
    FakeTree tree;
    tree.AddGeneric("sg3", "2:0:0:0", 5, "sr0");
    tree.AddBlock("sr1", "3:0:0:0", 5);
    const auto drives = FindOpticalDrives(tree.Sys, tree.Dev);
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].PhysicalPath, "/devices/pci0000:00/host2/2:0:0:0");
    EXPECT_EQ(drives[1].PhysicalPath, "/devices/pci0000:00/host3/3:0:0:0");
}
