// The pure decisions behind the helper tool: what a boot sector, a list of running programs, a
// mount listing and ntfs-3g's messages mean, and how its own lines are told from other programs'.

#include <gtest/gtest.h>

#include "helper/boot_sector.h"
#include "helper/device_use.h"
#include "helper/mount_command.h"
#include "helper/outcome.h"
#include "helper_scene.h"
#include "test_data.h"

namespace drivelark::helper {
namespace {

using namespace testing;

TEST(BootSectorTest, OnlyNtfsWithTheSignatureIsRecognised) {
    EXPECT_TRUE(isNtfsBootSector(ntfsBootSector()));
    EXPECT_TRUE(isNtfsBootSector(ntfsBootSector() + "more of the device"));
    auto changed = [](size_t at, const std::string& bytes) { return ntfsBootSector().replace(at, bytes.size(), bytes); };
    for (const std::string& other :
         {changed(3, "MSDOS5.0"), changed(3, "EXFAT   "), changed(3, "ntfs    "), changed(511, std::string(1, '\0')),
          changed(510, "\xAA\x55"), std::string(1, '\0') + ntfsBootSector().substr(0, 511), ntfsBootSector().substr(0, 511),
          std::string(), std::string(512, '\0')})
        EXPECT_FALSE(isNtfsBootSector(other));
}

TEST(DeviceUseTest, Ntfs3gIsFoundByTheDeviceAmongItsArguments) {
    const std::vector<std::pair<std::string, std::optional<int>>> cases = {
        {"  42 /Library/PrivilegedHelperTools/x/ntfs-3g /dev/disk4s1 /Volumes/My Data -o volname=a\n", 42},
        {"    1 /sbin/launchd\n  808 ntfs-3g -o ro /dev/rdisk4s1 /Volumes/X\n", 808},
        {"42 ntfs-3g\t/dev/disk4s1", 42},
        {"42 ntfs-3g /dev/disk4s10 /Volumes/X\n", std::nullopt},
        {"42 ntfs-3g /dev/disk4 /Volumes/X\n", std::nullopt},
        {"42 /usr/bin/less /dev/disk4s1\n", std::nullopt},
        {"42 ntfs-3g.probe --readwrite /dev/disk4s1\n", std::nullopt},
        {"x ntfs-3g /dev/disk4s1\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [processes, pid] : cases) EXPECT_EQ(ntfs3gServing(processes, "disk4s1"), pid) << processes;

    MountTable table = parseMountTable(drivelark::testing::testData("mount_mac_mixed.txt"));
    EXPECT_EQ(mountPointOfDevice(table, "disk4s2"), "/Volumes/Data");
    EXPECT_EQ(mountPointOfDevice(table, "disk4s"), std::nullopt);
    EXPECT_EQ(mountPointOfDevice(table, "disk5s1"), std::nullopt);  // served through FUSE-T: not by its device
}

TEST(Ntfs3gOutputTest, ReadOnlyFallBackIsRecognisedInEachOfItsMessages) {
    for (const char* fallBack : {"Windows is hibernated, refused to mount.\nFalling back to read-only mount because the "
                                 "NTFS partition is in an\nunsafe state.\nCould not mount read-write, trying read-only\n",
                                 "Could not mount read-write, trying read-only",
                                 "Mounted /dev/disk4s1 (Read-Only, label \"Data\", NTFS 3.1)"})
        EXPECT_TRUE(isReadOnlyFallBack(fallBack)) << fallBack;
    for (const char* writable : {"", "The disk contains an unclean file system (0, 0).\nThe file system wasn't safely "
                                     "closed on Windows. Fixing.\n",
                                 "Mounted /dev/disk4s1 (Read-Write, label \"Data\", NTFS 3.1)"})
        EXPECT_FALSE(isReadOnlyFallBack(writable)) << writable;
}

TEST(OutcomeTest, OwnLinesArePrefixedAndOtherProgramsOutputKept) {
    Outcome outcome{kFailed, {}};
    outcome.quote("first\nsecond").quote("").say("why").quote("third\n");
    EXPECT_EQ(outcome.text, "first\nsecond\ndrivelark-mount: why\nthird\n");
    EXPECT_EQ(printable("a\nb\tc\x7f" "d 数据"), "a?b?c?d 数据");
}

}  // namespace
}  // namespace drivelark::helper
