#include "discovery/mount_table.h"

#include <gtest/gtest.h>

#include <tuple>

#include "test_data.h"

namespace drivelark::testing {

TEST(MountTableTest, StoredListingOfAMac) {
    MountTable table = parseMountTable(testData("mount_mac_mixed.txt"));
    EXPECT_EQ(table.at("/"), (MountEntry{"apfs", true, "/dev/disk3s1s1"}));
    EXPECT_EQ(table.at("/System/Volumes/Data/home"), (MountEntry{"autofs", false, "map auto_home"}));
    EXPECT_EQ(table.at("/Volumes/Data"), (MountEntry{"ntfs", true, "/dev/disk4s2"}));
    EXPECT_EQ(table.at("/Volumes/My Passport"), (MountEntry{"nfs", false, "fuse-t:/My Passport"}));
    EXPECT_EQ(table.at("/Volumes/Install Tool"), (MountEntry{"hfs", true, "/dev/disk7s1"}));
    // A volume name holding " (" cannot pass for a mount point of its own.
    EXPECT_EQ(table.at("/Volumes/Backup (Old)"), (MountEntry{"ntfs", true, "/dev/disk6"}));
    EXPECT_EQ(table.count("/Volumes/Backup"), 0u);
    EXPECT_EQ(table.size(), 16u);
}

TEST(MountTableTest, OneLineEach) {
    // A line, the mount point it gives, and its entry (none: the line is skipped).
    const std::vector<std::tuple<std::string, std::string, std::optional<MountEntry>>> cases = {
        {"d on /x (ro,nosuid)", "/x", MountEntry{"ro", true, "d"}}, {"d on /x (ro)", "/x", MountEntry{"ro", true, "d"}},
        {"d on /x (nodev,ro,nosuid)", "/x", MountEntry{"nodev", true, "d"}},
        {"d on /x (,,hfs)", "/x", MountEntry{"hfs", false, "d"}},
        {"map -hosts on /net ()", "/net", MountEntry{"map -hosts", false, "map -hosts"}},
        {"d on /x (apfs", "/x", MountEntry{"apfs", false, "d"}},
        {"fuse-t:/D on x on /V/D on x (nfs)", "/V/D on x", MountEntry{"nfs", false, "fuse-t:/D on x"}},
        {"/dev/disk5s1 on /V/D (ntfs, read-only) (msdos, local)", "/V/D (ntfs, read-only)",  // a forged-looking name
         MountEntry{"msdos", false, "/dev/disk5s1"}},
        {"d on x (hfs)", "", std::nullopt},
        {"d on /Volumes/My  Passport  (ntfs)", "/Volumes/My  Passport ", MountEntry{"ntfs", false, "d"}},
        {"/dev/disk4s1 on /D (ntfs, local, read-only)\n\nfuse-t:/D on /D (nfs, nodev)", "/D",  // the later one wins
         MountEntry{"nfs", false, "fuse-t:/D"}},
        {"no separator here", "", std::nullopt},
        {"d on /x (hfs)\ndev on /Volumes/My", "/x", MountEntry{"hfs", false, "d"}},  // cut short: the complete lines
    };
    for (const auto& [line, mountPoint, entry] : cases) {
        MountTable expected;
        if (entry) expected[mountPoint] = *entry;
        EXPECT_EQ(parseMountTable(line + "\n"), expected) << line;
    }
}

}  // namespace drivelark::testing
