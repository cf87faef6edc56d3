#include <gtest/gtest.h>

#include "discovery/disk_topology.h"
#include "doubles/test_platform.h"
#include "test_data.h"

namespace drivelark {
namespace {

using namespace testing;

class DiskTopologyTest : public ::testing::Test {
protected:
    TestPlatform platform;
};

TEST_F(DiskTopologyTest, ListingRunsDiskutilAndTrustsOnlyASuccessfulRun) {
    std::string listing = testData("diskutil_list_mac_mixed.plist");
    platform.processes.answer("/usr/sbin/diskutil", {"list", "-plist"}, exited(0, listing));
    EXPECT_EQ(DiskTopology::ntfsPartitions().size(), 3u);
    EXPECT_EQ(platform.processes.calls(), (std::vector<ProgramCall>{{"/usr/sbin/diskutil", {"list", "-plist"}}}));

    platform.processes.answer("/usr/sbin/diskutil", {"list", "-plist"}, exited(1, listing));
    EXPECT_TRUE(DiskTopology::ntfsPartitions().empty());
    platform.processes.answer("/usr/sbin/diskutil", {"list", "-plist"}, notStarted("no such file"));
    EXPECT_TRUE(DiskTopology::ntfsPartitions().empty());
    // Not valid UTF-8, as a binary listing would be: the runner gives empty text.
    platform.processes.answer("/usr/sbin/diskutil", {"list", "-plist"},
                              exited(0, testData("diskutil_list_mac_mixed.bplist")));
    EXPECT_TRUE(DiskTopology::ntfsPartitions().empty());
}

TEST_F(DiskTopologyTest, MountTableRunsMountWithoutArguments) {
    platform.processes.answer("/sbin/mount", {}, exited(0, testData("mount_mac_mixed.txt")));
    EXPECT_EQ(DiskTopology::currentMounts().at("/Volumes/Data"), (MountEntry{"ntfs", true}));
    EXPECT_EQ(platform.processes.calls(), (std::vector<ProgramCall>{{"/sbin/mount", {}}}));

    platform.processes.answer("/sbin/mount", {}, exited(2, testData("mount_mac_mixed.txt")));
    EXPECT_TRUE(DiskTopology::currentMounts().empty());
    platform.processes.answer("/sbin/mount", {}, notStarted("gone"));
    EXPECT_TRUE(DiskTopology::currentMounts().empty());
}

TEST_F(DiskTopologyTest, DeviceOfMountPassesThePathAsOneArgument) {
    platform.processes.answer("/usr/sbin/diskutil", {"info", "-plist", "/Volumes/My Data; rm -rf ~"},
                              exited(0, testData("diskutil_info_ntfs_volume.plist")));
    EXPECT_EQ(DiskTopology::deviceOfMount("/Volumes/My Data; rm -rf ~"), "disk4s2");

    platform.processes.answer("/usr/sbin/diskutil", {"info", "-plist", "/Volumes/Nowhere"},
                              exited(1, testData("diskutil_info_unknown.plist")));
    EXPECT_EQ(DiskTopology::deviceOfMount("/Volumes/Nowhere"), "");
    // The error description exits 0 here, yet holds no device.
    platform.processes.answer("/usr/sbin/diskutil", {"info", "-plist", "/Volumes/Odd"},
                              exited(0, testData("diskutil_info_unknown.plist")));
    EXPECT_EQ(DiskTopology::deviceOfMount("/Volumes/Odd"), "");
    platform.processes.answer("/usr/sbin/diskutil", {"info", "-plist", "/Volumes/Text"},
                              exited(0, "Could not find disk: /Volumes/Text\n"));
    EXPECT_EQ(DiskTopology::deviceOfMount("/Volumes/Text"), "");
}

}  // namespace
}  // namespace drivelark
