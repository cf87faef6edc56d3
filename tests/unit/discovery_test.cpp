// What discovery makes of the programs it runs and of the stored registry: an answer that could
// not be read is never taken for an empty one, file-system lookups are remembered by volume, and
// a volume is known by what tells it from the next disk given its device name.

#include <gtest/gtest.h>

#include "discovery/disk_topology.h"
#include "discovery/managed_volumes.h"
#include "discovery/partition_inventory.h"
#include "discovery/volume_identity.h"
#include "doubles/test_platform.h"
#include "test_data.h"
#include "unit/mount_programs.h"

namespace drivelark::testing {

// disk5s1 is an MBR "Windows_NTFS" partition and disk6 a whole disk saying the same: only their
// descriptions tell NTFS from exFAT.
TEST(PartitionInventoryTest, WhatCannotBeReadIsNeitherEmptyNorGone) {
    TestPlatform platform;
    const std::string mixed = testData("diskutil_list_mac_mixed.plist");
    for (ProgramRun failure : {exited(1, mixed), notStarted("no diskutil"), exited(0, "garbage"), timedOut()}) {
        platform.processes.answer(kDiskutil, kList, failure);
        EXPECT_FALSE(takeInventory(platform.processes, {}));
    }
    auto described = [](const char* device, const std::string& more) {
        return exited(0, plist(key("DeviceIdentifier", device) + more));
    };
    platform.processes.answer(kDiskutil, kList, exited(0, mixed));
    platform.processes.answer(kDiskutil, {"info", "-plist", "disk5s1"}, described("disk5s1", key("FilesystemType", "ntfs")));
    platform.processes.answer(kDiskutil, {"info", "-plist", "disk6"}, described("disk5s1", key("FilesystemType", "ntfs")));
    Inventory first = takeInventory(platform.processes, {}).value();
    std::vector<std::string> devices;
    for (const NTFSPartition& partition : first.partitions) devices.push_back(partition.deviceID);
    EXPECT_EQ(devices, (std::vector<std::string>{"disk4s2", "disk5s1"}));
    // A description of another device tells nothing: disk6 is undecided, neither NTFS nor gone.
    EXPECT_EQ(first.undecidedKeys, std::set<std::string>{"uuid:A1B2C3D4-E5F6-0718-293A-4B5C6D7E8F90"});

    // A description without a file system (unformatted, encrypted) decides: not NTFS. (That a
    // verdict is not asked again: test_faults.py.)
    platform.processes.answer(kDiskutil, {"info", "-plist", "disk6"}, described("disk6", ""));
    Inventory second = takeInventory(platform.processes, first.verdicts).value();
    EXPECT_EQ(second.partitions.size(), 2u);
    EXPECT_TRUE(second.undecidedKeys.empty());
}

TEST(DiskTopologyTest, MountTableThatCannotBeReadIsNone) {
    TestPlatform platform;
    platform.processes.answer(kMount, {}, exited(0, testData("mount_mac_mixed.txt")));
    EXPECT_EQ(DiskTopology::currentMounts(platform.processes).value().at("/Volumes/Data"), (MountEntry{"ntfs", true, "/dev/disk4s2"}));
    for (ProgramRun failure : {exited(2, testData("mount_mac_mixed.txt")), notStarted("gone"), exited(0, "garbage\n"),
                               exited(0, "/dev/disk4s1 on /Volumes/X (ntfs, read-only)\n"), timedOut()}) {
        platform.processes.answer(kMount, {}, failure);
        EXPECT_EQ(DiskTopology::currentMounts(platform.processes), std::nullopt) << failure.output;
    }
}

// The listing's entry and the device's description of one volume give one identity; a volume
// without a UUID is known by its partition, its size and its name, whatever that name holds.
TEST(VolumeIdentityTest, BothDescriptionsOfAVolumeAgreeAndNamesCannotBreakTheShape) {
    const PlistValue::Array disks = *parsePropertyList(testData("diskutil_list_mac_mixed.plist"))->find("AllDisksAndPartitions")->array();
    const PlistValue& listed = disks.at(2).find("Partitions")->array()->at(1);
    ASSERT_EQ(*listed.textAt("DeviceIdentifier"), "disk4s2");
    const PlistValue described = *parsePropertyList(testData("diskutil_info_ntfs_volume.plist"));
    EXPECT_EQ(volumeIdentity(listed), volumeIdentity(described));
    EXPECT_EQ(volumeIdentity(described), "volume:7C1E4A2F-93B5-4D1C-A6E8-2F0B9D3C5E71");

    auto entry = [](std::string uuid, std::string name) {
        PlistValue::Dictionary keys{{"Size", PlistValue(std::int64_t{1000})}, {"VolumeName", PlistValue(name)}};
        if (!uuid.empty()) keys.emplace("VolumeUUID", PlistValue(uuid));
        return PlistValue(keys);
    };
    for (const auto& [uuid, name, identity] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"", "a b", "partition:-:1000:612062"},
             {"", "x\n' $(reboot)", "partition:-:1000:780a272024287265626f6f7429"},
             {"not a uuid; rm", "A", "partition:-:1000:41"}}) {
        EXPECT_EQ(volumeIdentity(entry(uuid, name)), identity);
        EXPECT_TRUE(isVolumeIdentity(identity));
    }
    for (const char* junk : {"", "volume:", "volume:XYZ", "partition:-:10:4", "partition:-::41", "partition:-:1:41:x", "-o"})
        EXPECT_FALSE(isVolumeIdentity(junk)) << junk;
}

TEST(ManagedVolumesTest, IllTypedStoredMapsReadAsEmptyEachOnItsOwn) {
    TestPlatform platform;
    ManagedVolumes registry(platform.defaults, platform.appLog);
    platform.defaults.setValue("managedDevs", PlistValue(PlistValue::Dictionary{{"/Volumes/A", PlistValue("disk4s1")},
                                                                                {"/Volumes/B", PlistValue(true)}}));
    platform.defaults.setValue("managedNames", PlistValue("not a dictionary"));
    EXPECT_TRUE(registry.all().empty());
    platform.defaults.setValue("managedNames", PlistValue(PlistValue::Dictionary{{"/Volumes/A", PlistValue("A")}}));
    registry.markManaged({"/Volumes/C", "C", "disk6s1", "volume:C-1"});
    EXPECT_EQ(registry.all(), (std::vector<ManagedMount>{{"/Volumes/C", "C", "disk6s1", "volume:C-1"}}));
    EXPECT_EQ(platform.defaults.value("managedNames"),
              PlistValue(PlistValue::Dictionary{{"/Volumes/A", PlistValue("A")}, {"/Volumes/C", PlistValue("C")}}));
}

}  // namespace drivelark::testing
