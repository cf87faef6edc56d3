#include <gtest/gtest.h>

#include "discovery/ntfs_partition.h"
#include "mount/mount_target.h"

namespace drivelark {
namespace {

TEST(MountTargetTest, DeviceIdentifiersAreBsdDiskNamesOnly) {
    for (const char* good : {"disk4", "disk4s1", "disk12s10", "disk0"}) EXPECT_TRUE(isDeviceIdentifier(good)) << good;
    for (const char* bad : {"", "disk", "disks1", "disk4s", "disk4s1s1", "/dev/disk4s1", "rdisk4s1", "disk4s1 ",
                            "disk4;reboot", "disk4s1/../x", "-disk4", "disk4s1\n", "DISK4", "disk４",
                            "disk99999999999999999999999999999"})
        EXPECT_FALSE(isDeviceIdentifier(bad)) << bad;
}

TEST(MountTargetTest, MountPointsAreOneNameUnderVolumes) {
    for (const char* good : {"/Volumes/Data", "/Volumes/My Disk", "/Volumes/数据", "/Volumes/...", "/Volumes/.hidden",
                             "/Volumes/Bob's \"x\" $(y); z", "/Volumes/-o"})
        EXPECT_TRUE(isVolumesMountPoint(good)) << good;
    for (const char* bad : {"/Volumes/", "/Volumes/.", "/Volumes/..", "/Volumes/../etc", "/Volumes/a/b", "/etc",
                            "Volumes/Data", "/volumes/Data", "//Volumes/Data", "/Volumes//Data", "/Volumes/Data/"})
        EXPECT_FALSE(isVolumesMountPoint(bad)) << bad;
    EXPECT_FALSE(isVolumesMountPoint(std::string("/Volumes/a\0b", 11)));
    for (const char* forged : {"/Volumes/a\nb", "/Volumes/a\rb", "/Volumes/\x7F", "/Volumes/\t"})
        EXPECT_FALSE(isVolumesMountPoint(forged)) << forged;
    EXPECT_FALSE(isVolumesMountPoint("/Volumes/" + std::string(256, 'x')));
}

TEST(MountTargetTest, SafeVolumeNamesFitNtfs3gsOptionList) {
    EXPECT_TRUE(isSafeVolumeName("My Disk"));
    EXPECT_TRUE(isSafeVolumeName("Bob's \"Disk\" $(reboot); `id` 数据"));
    EXPECT_FALSE(isSafeVolumeName("a\\,b"));
    EXPECT_FALSE(isSafeVolumeName(""));
    EXPECT_FALSE(isSafeVolumeName("x,allow_other"));
    EXPECT_FALSE(isSafeVolumeName("a/b"));
    EXPECT_FALSE(isSafeVolumeName("line\nbreak"));
    // Whatever a disk is called, the name Drivelark mounts it under passes.
    for (const char* name : {"", "a,b/c", ",,,", "/", "..", ".", "Bob's, \"x\"/y", "a\\b\nc"})
        EXPECT_TRUE(isSafeVolumeName(NTFSPartition::safeVolumeName(name))) << name;
}

}  // namespace
}  // namespace drivelark
