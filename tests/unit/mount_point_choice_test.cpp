#include "mount/mount_point_choice.h"

#include <gtest/gtest.h>

#include "doubles/test_platform.h"

namespace drivelark {
namespace {

using namespace testing;

MountEntry mountOf(const std::string& source) { return MountEntry{"ntfs", true, source}; }

TEST(MountPointChoiceTest, NeverAnotherDisksPlaceNorALink) {
    struct Case {
        const char* what;
        std::function<void(MemoryFiles&, MountTable&)> scene;
        std::optional<std::string> chosen;
    };
    const std::vector<Case> cases = {
        {"nothing there", [](MemoryFiles&, MountTable&) {}, "/Volumes/Data"},
        {"this disk's own mount",
         [](MemoryFiles& files, MountTable& mounts) {
             files.addDirectory("/Volumes/Data", 7);
             files.addFile("/Volumes/Data/file");
             mounts["/Volumes/Data"] = mountOf("/dev/disk4s1");
         },
         "/Volumes/Data"},
        {"an empty leftover folder", [](MemoryFiles& files, MountTable&) { files.addDirectory("/Volumes/Data"); },
         "/Volumes/Data"},
        {"another disk's mount",
         [](MemoryFiles& files, MountTable& mounts) {
             files.addDirectory("/Volumes/Data", 7);
             mounts["/Volumes/Data"] = mountOf("/dev/disk5s1");
         },
         "/Volumes/Data 1"},
        {"an ntfs-3g mount", [](MemoryFiles&, MountTable& mounts) { mounts["/Volumes/Data"] = mountOf("fuse-t:/Data"); },
         "/Volumes/Data 1"},
        {"a link", [](MemoryFiles& files, MountTable&) { files.addSymbolicLink("/Volumes/Data"); }, "/Volumes/Data 1"},
        {"a file", [](MemoryFiles& files, MountTable&) { files.addFile("/Volumes/Data"); }, "/Volumes/Data 1"},
        {"a folder with something in it", [](MemoryFiles& files, MountTable&) { files.addFile("/Volumes/Data/x"); },
         "/Volumes/Data 1"},
        {"two taken",
         [](MemoryFiles& files, MountTable& mounts) {
             files.addSymbolicLink("/Volumes/Data");
             mounts["/Volumes/Data 1"] = mountOf("/dev/disk5s1");
             files.addDirectory("/Volumes/Data 2");
         },
         "/Volumes/Data 2"},
        {"/Volumes is a link",
         [](MemoryFiles& files, MountTable&) {
             files.remove("/Volumes");
             files.addSymbolicLink("/Volumes");
         },
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestPlatform platform;
        platform.files.addDirectory("/Volumes");
        MountTable mounts;
        c.scene(platform.files, mounts);
        EXPECT_EQ(chooseMountPoint("disk4s1", "Data", mounts, {}), c.chosen);
    }
}

TEST(MountPointChoiceTest, GivesUpWhenNoNameIsLeft) {
    TestPlatform platform;
    platform.files.addDirectory("/Volumes");
    MountTable mounts;
    EXPECT_EQ(chooseMountPoint("disk4s1", std::string(255, 'x'), mounts, {}), "/Volumes/" + std::string(255, 'x'));
    platform.files.addFile("/Volumes/" + std::string(255, 'x'));
    EXPECT_EQ(chooseMountPoint("disk4s1", std::string(255, 'x'), mounts, {}), std::nullopt);  // " 1" is too long
    for (int n = 0; n < 100; ++n) platform.files.addFile("/Volumes/U" + (n == 0 ? "" : " " + std::to_string(n)));
    EXPECT_EQ(chooseMountPoint("disk4s1", "U", mounts, {}), std::nullopt);
}

}  // namespace
}  // namespace drivelark
