// The pure decisions behind the helper tool: what a boot sector, a mount listing, a disk
// description and ntfs-3g's messages mean.

#include <gtest/gtest.h>

#include "doubles/test_platform.h"
#include "helper/boot_sector.h"
#include "helper/device_use.h"
#include "helper/mount_command.h"
#include "helper/ntfs_device.h"
#include "helper/outcome.h"
#include "helper_scene.h"
#include "test_data.h"

namespace drivelark::helper {
namespace {

using testing::ntfsBootSector;

TEST(BootSectorTest, OnlyNtfsWithTheSignatureIsRecognised) {
    EXPECT_TRUE(isNtfsBootSector(ntfsBootSector()));
    EXPECT_TRUE(isNtfsBootSector(ntfsBootSector() + "more of the device"));

    std::string fat32(512, '\0');
    fat32.replace(3, 8, "MSDOS5.0");
    fat32.replace(82, 8, "FAT32   ");
    fat32[510] = '\x55', fat32[511] = '\xAA';
    std::string exfat = fat32;
    exfat.replace(3, 8, "EXFAT   ");
    std::string unsigned_ = ntfsBootSector();
    unsigned_[511] = '\0';
    std::string swapped = ntfsBootSector();
    swapped[510] = '\xAA', swapped[511] = '\x55';
    std::string shifted = std::string(1, '\0') + ntfsBootSector().substr(0, 511);
    std::string lowerCase = ntfsBootSector();
    lowerCase.replace(3, 8, "ntfs    ");
    for (const std::string& other : {fat32, exfat, unsigned_, swapped, shifted, lowerCase, std::string(),
                                     ntfsBootSector().substr(0, 511), std::string(512, '\0')})
        EXPECT_FALSE(isNtfsBootSector(other));
}

TEST(DeviceUseTest, Ntfs3gIsFoundByTheDeviceAmongItsArguments) {
    struct Case {
        std::string processes;
        std::optional<int> pid;
    };
    const std::vector<Case> cases = {
        {"  42 /Library/PrivilegedHelperTools/x/ntfs-3g /dev/disk4s1 /Volumes/My Data -o volname=a\n", 42},
        {"    1 /sbin/launchd\n  808 ntfs-3g -o ro /dev/rdisk4s1 /Volumes/X\n", 808},
        {"42 ntfs-3g /dev/disk4s10 /Volumes/X\n", std::nullopt},
        {"42 ntfs-3g /dev/disk4 /Volumes/X\n", std::nullopt},
        {"42 /usr/bin/less /dev/disk4s1\n", std::nullopt},
        {"42 ntfs-3g.probe --readwrite /dev/disk4s1\n", std::nullopt},
        {"x ntfs-3g /dev/disk4s1\n", std::nullopt},
        {"42 ntfs-3g\t/dev/disk4s1", 42},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ntfs3gServing(c.processes, "disk4s1"), c.pid) << c.processes;

    MountTable table = parseMountTable(drivelark::testing::testData("mount_mac_mixed.txt"));
    EXPECT_EQ(mountPointOfDevice(table, "disk4s2"), "/Volumes/Data");
    EXPECT_EQ(mountPointOfDevice(table, "disk4s"), std::nullopt);
    EXPECT_EQ(mountPointOfDevice(table, "disk5s1"), std::nullopt);  // served through FUSE-T: not by its device
}

TEST(Ntfs3gOutputTest, ReadOnlyFallBackIsRecognisedInEachOfItsMessages) {
    const char* hibernated =
        "Windows is hibernated, refused to mount.\n"
        "Falling back to read-only mount because the NTFS partition is in an\n"
        "unsafe state. Please resume and shutdown Windows fully (no hibernation\n"
        "or fast restarting.)\n"
        "Could not mount read-write, trying read-only\n";
    EXPECT_TRUE(isReadOnlyFallBack(hibernated));
    EXPECT_TRUE(isReadOnlyFallBack("Could not mount read-write, trying read-only"));
    EXPECT_TRUE(isReadOnlyFallBack("Mounted /dev/disk4s1 (Read-Only, label \"Data\", NTFS 3.1)"));
    EXPECT_FALSE(isReadOnlyFallBack(""));
    EXPECT_FALSE(
        isReadOnlyFallBack("The disk contains an unclean file system (0, 0).\n"
                           "The file system wasn't safely closed on Windows. Fixing.\n"));
    EXPECT_FALSE(isReadOnlyFallBack("Mounted /dev/disk4s1 (Read-Write, label \"Data\", NTFS 3.1)"));
}

TEST(OutcomeTest, OwnLinesArePrefixedAndOtherProgramsOutputKept) {
    Outcome outcome{kFailed, {}};
    outcome.quote("first\nsecond").quote("").say("why").quote("third\n");
    EXPECT_EQ(outcome.text, "first\nsecond\ndrivelark-mount: why\nthird\n");
    EXPECT_EQ(printable("a\nb\tc\x7f"
                        "d 数据"),
              "a?b?c?d 数据");
    for (int child : {1, 2, 14, 126, 127, 128 + 9, 255}) EXPECT_EQ(statusAfterChild(child), kFailed) << child;
    EXPECT_EQ(statusAfterChild(0), kSucceeded);
}

}  // namespace
}  // namespace drivelark::helper
