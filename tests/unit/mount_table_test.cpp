#include <gtest/gtest.h>

#include "discovery/mount_table.h"
#include "test_data.h"

namespace drivelark {
namespace {

using testing::testData;

TEST(MountTableTest, StoredListingOfAMac) {
    MountTable table = parseMountTable(testData("mount_mac_mixed.txt"));
    EXPECT_EQ(table.at("/"), (MountEntry{"apfs", true}));
    EXPECT_EQ(table.at("/dev"), (MountEntry{"devfs", false}));
    EXPECT_EQ(table.at("/System/Volumes/Data"), (MountEntry{"apfs", false}));
    EXPECT_EQ(table.at("/System/Volumes/Data/home"), (MountEntry{"autofs", false}));
    EXPECT_EQ(table.at("/Volumes/Data"), (MountEntry{"ntfs", true}));
    EXPECT_EQ(table.at("/Volumes/My Passport"), (MountEntry{"nfs", false}));
    EXPECT_EQ(table.at("/Volumes/SHARED"), (MountEntry{"msdos", false}));
    EXPECT_EQ(table.at("/Volumes/Install Tool"), (MountEntry{"hfs", true}));
    // A mount point holding " (" is cut there, and the rest of it becomes the type.
    EXPECT_EQ(table.count("/Volumes/Backup (Old)"), 0u);
    EXPECT_EQ(table.at("/Volumes/Backup"), (MountEntry{"Old) (ntfs", true}));
    EXPECT_EQ(table.size(), 16u);
}

TEST(MountTableTest, ReadOnlyMarks) {
    auto readOnly = [](const std::string& options) {
        return parseMountTable("/dev/disk4s1 on /Volumes/X (" + options + ")\n").at("/Volumes/X").readOnly;
    };
    EXPECT_TRUE(readOnly("ntfs, local, read-only, noowners"));
    EXPECT_FALSE(readOnly("ntfs, local, noowners"));
    EXPECT_TRUE(readOnly("ro,nosuid"));
    EXPECT_TRUE(readOnly("nodev,ro,nosuid"));
    EXPECT_TRUE(readOnly("ro"));
    EXPECT_FALSE(readOnly("nodev,ro"));
    EXPECT_FALSE(readOnly("nodev, ro, nosuid"));
    EXPECT_FALSE(readOnly("RO"));
    EXPECT_FALSE(readOnly("nfs, nodev, nosuid, mounted by root"));
    EXPECT_TRUE(readOnly("nfs, nodev, nosuid, read-only, mounted by root"));
}

TEST(MountTableTest, TypeIsTheFirstNonEmptyOption) {
    EXPECT_EQ(parseMountTable("a on /x (ntfs,local)").at("/x").type, "ntfs");
    EXPECT_EQ(parseMountTable("a on /x (ntfs, local)").at("/x").type, "ntfs");
    EXPECT_EQ(parseMountTable("a on /x (, ntfs)").at("/x").type, " ntfs");
    EXPECT_EQ(parseMountTable("a on /x (,,hfs)").at("/x").type, "hfs");
    // Nothing between the parentheses: the device stands in for the type.
    EXPECT_EQ(parseMountTable("map -hosts on /net ()").at("/net").type, "map -hosts");
    EXPECT_EQ(parseMountTable("map -hosts on /net (,,)").at("/net").type, "map -hosts");
    // No closing parenthesis: nothing is removed.
    EXPECT_EQ(parseMountTable("a on /x (apfs").at("/x").type, "apfs");
}

TEST(MountTableTest, LinesThatDoNotParseAreSkipped) {
    MountTable table = parseMountTable(
        "\n"
        "no separator here\n"
        "dev on /Volumes/No Options\n"
        "/dev/disk4s1 on /Volumes/Good (ntfs, read-only)\n"
        "/dev/disk9 on /Volumes/Trunc");
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.at("/Volumes/Good"), (MountEntry{"ntfs", true}));
    EXPECT_TRUE(parseMountTable("").empty());
    EXPECT_TRUE(parseMountTable("\n\n").empty());
}

TEST(MountTableTest, SplitsAtTheFirstSeparators) {
    // A device text holding " on " splits there; mount points keep their blanks.
    MountTable table = parseMountTable("fuse-t:/Data on disk on /Volumes/Data on disk (nfs, nodev)\n"
                                       "/dev/disk5s1 on /Volumes/My  Passport  (ntfs, read-only)\n");
    EXPECT_EQ(table.at("disk on /Volumes/Data on disk"), (MountEntry{"nfs", false}));
    EXPECT_EQ(table.at("/Volumes/My  Passport "), (MountEntry{"ntfs", true}));
}

TEST(MountTableTest, LaterLineForTheSameMountPointWins) {
    MountTable table = parseMountTable("/dev/disk4s1 on /Volumes/Data (ntfs, local, read-only)\n"
                                       "fuse-t:/Data on /Volumes/Data (nfs, nodev, nosuid, mounted by root)\n");
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.at("/Volumes/Data"), (MountEntry{"nfs", false}));
}

TEST(MountTableTest, TruncatedListingKeepsItsCompleteLines) {
    std::string listing = testData("mount_mac_mixed.txt");
    size_t cut = listing.find("on /Volumes/My Passport") + 12;  // before the options of that line
    MountTable table = parseMountTable(listing.substr(0, cut));
    EXPECT_EQ(table.at("/"), (MountEntry{"apfs", true}));
    EXPECT_EQ(table.at("/Volumes/Data"), (MountEntry{"ntfs", true}));
    EXPECT_EQ(table.count("/Volumes/My Passport"), 0u);
    EXPECT_EQ(table.count("/Volumes/My"), 0u);
    EXPECT_EQ(table.size(), 11u);
}

}  // namespace
}  // namespace drivelark
