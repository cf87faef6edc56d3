// What a remount may be given: device names, mount points and volume names that reach root, the
// safe name made of whatever a disk is called, and the place in /Volumes it is mounted at.

#include <gtest/gtest.h>

#include "discovery/ntfs_partition.h"
#include "doubles/test_platform.h"
#include "mount/mount_point_choice.h"
#include "mount/mount_target.h"

namespace drivelark {
namespace {

using namespace testing;

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
    for (const std::string& bad : std::vector<std::string>{"/Volumes/", "/Volumes/.", "/Volumes/..", "/Volumes/../etc", "/Volumes/a/b", "/etc",
                                  "Volumes/Data", "/volumes/Data", "//Volumes/Data", "/Volumes//Data", "/Volumes/Data/",
                                  "/Volumes/a\nb", "/Volumes/a\rb", "/Volumes/\x7F", "/Volumes/\t",
                                  std::string("/Volumes/a\0b", 11), "/Volumes/" + std::string(256, 'x')})
        EXPECT_FALSE(isVolumesMountPoint(bad)) << bad;
}

// Commas and backslashes would end or escape ntfs-3g's option list, slashes and dot names leave
// /Volumes, a leading dash reads as an option, control characters would forge mount-table lines.
TEST(MountTargetTest, SafeVolumeNamesFitNtfs3gsOptionList) {
    for (const auto& [name, safe] : std::vector<std::pair<std::string, std::string>>{
             {"", "Untitled"}, {"a,b/c", "a_b_c"}, {"   ", "   "}, {"..", "__"}, {".", "_"}, {"...", "..."},
             {"../etc", ".._etc"}, {"-o ro", "_o ro"}, {"a-b", "a-b"}, {"a\\,b\nc\td\x7F", "a__b_c_d_"},
             {"Bob's \"Disk\" $(touch x); 数据,/", "Bob's \"Disk\" $(touch x); 数据__"}}) {
        EXPECT_EQ(NTFSPartition::safeVolumeName(name), safe) << name;
        EXPECT_TRUE(isSafeVolumeName(safe)) << name;
    }
    for (const char* unsafe : {"", "a\\,b", "x,allow_other", "a/b", "line\nbreak"})
        EXPECT_FALSE(isSafeVolumeName(unsafe)) << unsafe;
}

// Beyond what the simulated Mac shows: mounts that are not of a device, folders in use, and
// running out of names.
TEST(MountPointChoiceTest, NeverAnotherDisksPlaceNorALink) {
    auto mountOf = [](const std::string& source) { return MountEntry{"ntfs", true, source}; };
    struct Case {
        const char* what;
        std::function<void(MemoryFiles&, MountTable&)> scene;
        std::optional<std::string> chosen;
        std::string name = "Data";
    };
    const std::vector<Case> cases = {
        {"an ntfs-3g mount", [&](MemoryFiles&, MountTable& mounts) { mounts["/Volumes/Data"] = mountOf("fuse-t:/Data"); },
         "/Volumes/Data 1"},
        {"a folder with something in it", [](MemoryFiles& files, MountTable&) { files.addFile("/Volumes/Data/x"); },
         "/Volumes/Data 1"},
        {"a link, then another disk's mount",
         [&](MemoryFiles& files, MountTable& mounts) {
             files.addSymbolicLink("/Volumes/Data");
             mounts["/Volumes/Data 1"] = mountOf("/dev/disk5s1");
         },
         "/Volumes/Data 2"},
        {"/Volumes is a link",
         [](MemoryFiles& files, MountTable&) {
             files.remove("/Volumes");
             files.addSymbolicLink("/Volumes");
         },
         std::nullopt},
        {"the longest name", [](MemoryFiles&, MountTable&) {}, "/Volumes/" + std::string(255, 'x'), std::string(255, 'x')},
        {"the longest name taken: its \" 1\" is too long",
         [](MemoryFiles& files, MountTable&) { files.addFile("/Volumes/" + std::string(255, 'x')); }, std::nullopt,
         std::string(255, 'x')},
        {"a hundred taken",
         [](MemoryFiles& files, MountTable&) {
             for (int n = 0; n < 100; ++n) files.addFile("/Volumes/Data" + (n == 0 ? "" : " " + std::to_string(n)));
         },
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestPlatform platform;
        platform.files.addDirectory("/Volumes");
        MountTable mounts;
        c.scene(platform.files, mounts);
        EXPECT_EQ(chooseMountPoint("disk4s1", c.name, mounts, {}), c.chosen);
    }
}

}  // namespace
}  // namespace drivelark
