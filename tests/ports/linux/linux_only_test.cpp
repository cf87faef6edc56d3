// What only the Linux implementations have: the property-list file of the defaults store
// (CFPreferences keeps its files its own way) and the kernel's mount table.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/linux/defaults_store_plist_file.h"
#include "platform/linux/mountinfo.h"
#include "ports/port_tests.h"

using namespace drivelark;
using drivelark::testing::TemporaryDirectory;

// A file that cannot be read costs no stored setting. (The fuzz target defaults_store moves damaged
// ones aside.)
TEST(PlistFileDefaultsStoreTest, AnUnreadableFileIsKept) {
    TemporaryDirectory home;
    std::filesystem::create_directory(home / "prefs.plist");  // opens, but read() fails
    PlistFileDefaultsStore store(home / "prefs.plist");
    EXPECT_FALSE(store.setValue("managedNames", "x"));
    std::filesystem::remove(home / "prefs.plist");
    std::ofstream(home / "prefs.plist") << "<plist><dict><key>autoMount</key><false/></dict></plist>";
    EXPECT_TRUE(store.setValue("managedNames", "x"));
    EXPECT_EQ(PlistFileDefaultsStore(home / "prefs.plist").value("autoMount"), PlistValue(false));
}

TEST(MountinfoTest, MountPointsDirectlyInTheFolder) {
    const std::pair<std::string, std::string> lines[] = {  // a line of the table, and what it adds
        {"30 22 0:40 / /Volumes rw - tmpfs tmpfs rw", ""},  // the folder itself
        {"31 30 0:41 / /Volumes/My\\040Disk\\011new\\012line\\134 rw,relatime shared:5 - fuseblk /dev/disk4s1 rw",
         "/Volumes/My Disk\tnew\nline\\"},
        {"33 31 0:43 / /Volumes/My\\040Disk/inner rw - tmpfs t rw", ""},  // in a volume, not in the folder
        {"34 22 0:44 / /VolumesX/a rw - tmpfs t rw", ""}, {"35 22 0:45 / /mnt/Volumes/b rw - tmpfs t rw", ""},
        {"36 30 0:46 / /Volumes/\\12x rw - tmpfs t rw", "/Volumes/\\12x"}, {"38 30 0:48 /", ""},  // no escape; cut short
    };
    std::string table;
    std::set<std::string> expected;
    for (const auto& [line, mountPoint] : lines) {
        table += line + "\n";
        if (!mountPoint.empty()) expected.insert(mountPoint);
    }
    EXPECT_EQ(mountPointsIn(table, "/Volumes"), expected);
    EXPECT_EQ(mountPointsIn(table.substr(0, table.size() - 1), "/Volumes"), expected);  // no final line break
}
