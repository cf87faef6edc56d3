// What discovery makes of the programs it runs and of the stored registry: an answer that could
// not be read is never taken for an empty one, and file-system lookups are remembered.

#include <gtest/gtest.h>

#include "discovery/disk_topology.h"
#include "discovery/partition_inventory.h"
#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "test_data.h"
#include "unit/mount_programs.h"

namespace drivelark::testing {

// disk5s1 is an MBR "Windows_NTFS" partition and disk6 a whole disk saying the same: only their
// descriptions tell NTFS from exFAT.
TEST(PartitionInventoryTest, WhatCannotBeReadIsNotAnEmptyListing) {
    TestPlatform platform;
    PartitionInventory inventory;
    const std::string mixed = testData("diskutil_list_mac_mixed.plist");
    for (ProgramRun failure :
         {exited(1, mixed), notStarted("no diskutil"), exited(0, "garbage"), exited(137, "timed out")}) {
        platform.processes.answer(kDiskutil, kList, failure);
        EXPECT_EQ(inventory.ntfsPartitions(), std::nullopt);
    }
    // A lookup that fails makes the whole answer unknown, and is asked again the next time.
    auto ntfs = [](const char* device) {
        return exited(0, plist(key("DeviceIdentifier", device) + key("FilesystemType", "ntfs")));
    };
    platform.processes.answer(kDiskutil, kList, exited(0, mixed));
    platform.processes.answer(kDiskutil, {"info", "-plist", "disk5s1"}, ntfs("disk5s1"));
    platform.processes.answer(kDiskutil, {"info", "-plist", "disk6"}, exited(1, "Could not find disk: disk6\n"));
    EXPECT_EQ(inventory.ntfsPartitions(), std::nullopt);
    platform.processes.answer(kDiskutil, {"info", "-plist", "disk6"}, ntfs("disk5s1"));
    EXPECT_EQ(inventory.ntfsPartitions(), std::nullopt);  // a description of another device
    platform.processes.answer(kDiskutil, {"info", "-plist", "disk6"}, ntfs("disk6"));
    EXPECT_EQ(inventory.ntfsPartitions(),
              (std::vector<NTFSPartition>{{"disk4s2", "Data", "7C1E4A2F-93B5-4D1C-A6E8-2F0B9D3C5E71"},
                                          {"disk5s1", "My Passport", ""},
                                          {"disk6", "WHOLE", "A1B2C3D4-E5F6-0718-293A-4B5C6D7E8F90"}}));
    EXPECT_EQ(platform.processes.callsOf(kDiskutil).size(), 4u + 3u + 4u);  // disk5s1 was asked once

    // A listing that was read and holds no NTFS partition is the one answer that means "none".
    platform.processes.answer(kDiskutil, kList, exited(0, listing("")));
    EXPECT_EQ(inventory.ntfsPartitions(), std::vector<NTFSPartition>{});
}

TEST(DiskTopologyTest, MountTableThatCannotBeReadIsNone) {
    TestPlatform platform;
    platform.processes.answer(kMount, {}, exited(0, testData("mount_mac_mixed.txt")));
    EXPECT_EQ(DiskTopology::currentMounts().value().at("/Volumes/Data"), (MountEntry{"ntfs", true, "/dev/disk4s2"}));
    for (ProgramRun failure : {exited(2, testData("mount_mac_mixed.txt")), notStarted("gone"), exited(0, "garbage\n"),
                               exited(0, "/dev/disk4s1 on /Volumes/X (ntfs, read-only)\n")}) {
        platform.processes.answer(kMount, {}, failure);
        EXPECT_EQ(DiskTopology::currentMounts(), std::nullopt) << failure.output;
    }
}

TEST(VolumeScannerTest, IllTypedStoredMapsReadAsEmptyEachOnItsOwn) {
    TestPlatform platform;
    platform.defaults.setValue("managedDevs", PlistValue(PlistValue::Dictionary{{"/Volumes/A", PlistValue("disk4s1")},
                                                                                {"/Volumes/B", PlistValue(true)}}));
    platform.defaults.setValue("managedNames", PlistValue("not a dictionary"));
    EXPECT_TRUE(VolumeScanner::managedNames().empty());
    platform.defaults.setValue("managedNames", PlistValue(PlistValue::Dictionary{{"/Volumes/A", PlistValue("A")}}));
    VolumeScanner::markManaged("/Volumes/C", "C", "disk6s1");
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/C", "disk6s1"}}));
    EXPECT_EQ(VolumeScanner::managedNames(), (TextMap{{"/Volumes/A", "A"}, {"/Volumes/C", "C"}}));
}

}  // namespace drivelark::testing
