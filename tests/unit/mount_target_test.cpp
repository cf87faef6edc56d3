// What a remount may be given: device names, mount points and volume names that reach root, the
// safe name made of whatever a disk is called, and the place in /Volumes it is mounted at.

#include <gtest/gtest.h>

#include <tuple>

#include "discovery/ntfs_partition.h"
#include "doubles/test_platform.h"
#include "mount/mount_point_choice.h"
#include "mount/mount_target.h"

namespace drivelark::testing {

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
    for (const std::string& bad : std::vector<std::string>{
             "/Volumes/", "/Volumes/.", "/Volumes/..", "/Volumes/../etc", "/Volumes/a/b", "/etc", "Volumes/Data",
             "/volumes/Data", "//Volumes/Data", "/Volumes//Data", "/Volumes/Data/", "/Volumes/a\nb", "/Volumes/a\rb",
             "/Volumes/\x7F", "/Volumes/\t", std::string("/Volumes/a\0b", 11), "/Volumes/" + std::string(256, 'x')})
        EXPECT_FALSE(isVolumesMountPoint(bad)) << bad;
}

// Commas and backslashes would end or escape ntfs-3g's option list, slashes and dot names leave
// /Volumes, a leading dash reads as an option, control characters would forge mount-table lines.
TEST(MountTargetTest, SafeVolumeNamesFitNtfs3gsOptionList) {
    for (const auto& [name, safe] : std::vector<std::pair<std::string, std::string>>{
             {"", "Untitled"}, {"a,b/c", "a_b_c"}, {"   ", "   "}, {"..", "__"}, {".", "_"}, {"...", "..."},
             {"../etc", ".._etc"}, {"-o ro", "_o ro"}, {"a-b", "a-b"}, {"a\\,b\nc\td\x7F", "a__b_c_d_"},
             {"Bob's \"Disk\" $(touch x); 数据,/", "Bob's \"Disk\" $(touch x); 数据__"}}) {
        EXPECT_EQ(NTFSPartition::mountableName(name), safe) << name;
        EXPECT_TRUE(isSafeVolumeName(safe)) << name;
    }
    for (const char* unsafe : {"", "a\\,b", "x,allow_other", "a/b", "line\nbreak"})
        EXPECT_FALSE(isSafeVolumeName(unsafe)) << unsafe;
}

// Beyond what the simulated Mac shows: mounts that are not of a device, folders in use, and
// running out of names.
TEST(MountPointChoiceTest, NeverAnotherDisksPlaceNorALink) {
    const std::string longest(255, 'x');
    std::vector<std::string> hundred = {"/Volumes/Data"};
    for (int n = 1; n < 100; ++n) hundred.push_back("/Volumes/Data " + std::to_string(n));
    // What is there (files, links, mounts), the volume's name, and the place chosen for it.
    using Case = std::tuple<const char*, std::vector<std::string>, std::vector<std::string>, MountTable, std::string,
                            std::optional<std::string>>;
    for (const auto& [what, files, links, mounts, name, chosen] : std::vector<Case>{
             {"a FUSE mount", {}, {}, {{"/Volumes/Data", {"nfs", false, "fuse-t:/Data"}}}, "Data", "/Volumes/Data 1"},
             {"a folder with something in it", {"/Volumes/Data/x"}, {}, {}, "Data", "/Volumes/Data 1"},
             {"/Volumes is a link", {}, {"/Volumes"}, {}, "Data", std::nullopt},
             {"the longest name", {}, {}, {}, longest, "/Volumes/" + longest},
             {"the longest name taken: its \" 1\" is too long", {"/Volumes/" + longest}, {}, {}, longest, std::nullopt},
             {"a hundred taken", hundred, {}, {}, "Data", std::nullopt},
         }) {
        SCOPED_TRACE(what);
        TestPlatform platform;
        platform.files.addDirectory("/Volumes");
        for (const std::string& file : files) platform.files.addFile(file);
        for (const std::string& link : links) platform.files.addSymbolicLink(link);
        EXPECT_EQ(chooseMountPoint(platform.files, "disk4s1", name, mounts, {}), chosen);
    }
}

}  // namespace drivelark::testing
