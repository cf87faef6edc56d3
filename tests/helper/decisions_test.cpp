// The decisions behind the helper tool's work: what a boot sector, a list of running programs and
// a mount listing mean, and which tools it trusts. It runs ntfs-3g and its companions only from
// its own folder, and only while nobody but root can change the folder or the tool; a root
// shell's administrator may use the copy in the user's application.

#include <gtest/gtest.h>

#include "helper/boot_sector.h"
#include "helper/device_use.h"
#include "helper/trusted_tools.h"
#include "helper_scene.h"
#include "test_data.h"

using namespace drivelark;
using namespace drivelark::helper;
using namespace drivelark::helper::testing;

TEST(BootSectorTest, OnlyNtfsWithTheSignatureIsRecognised) {
    EXPECT_TRUE(isNtfsBootSector(ntfsBootSector()));
    EXPECT_TRUE(isNtfsBootSector(ntfsBootSector() + "more of the device"));
    auto changed = [](size_t at, const std::string& with) { return ntfsBootSector().replace(at, with.size(), with); };
    for (const std::string& other : {changed(3, "EXFAT   "), changed(3, "ntfs    "), changed(511, std::string(1, '\0')),
                                     changed(510, "\xAA\x55"), std::string(1, '\0') + ntfsBootSector().substr(0, 511),
                                     ntfsBootSector().substr(0, 511), std::string()})
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
    };
    for (const auto& [processes, pid] : cases) EXPECT_EQ(ntfs3gServing(processes, "disk4s1"), pid) << processes;

    MountTable table = parseMountTable(drivelark::testing::testData("mount_mac_mixed.txt"));
    EXPECT_EQ(mountPointOfDevice(table, "disk4s2"), "/Volumes/Data");
    EXPECT_EQ(mountPointOfDevice(table, "disk4s"), std::nullopt);
    EXPECT_EQ(mountPointOfDevice(table, "disk5s1"), std::nullopt);  // served through FUSE-T: not by its device
}

TEST(TrustedToolsTest, OnlyAToolAndAFolderThatNobodyButRootCanChange) {
    const std::vector<std::tuple<std::string, FileInfo, bool>> cases = {  // what changes, to what, trusted
        {kNtfs3g, regularFile(0, 0555), true}, {kNtfs3g, regularFile(0, 04755), true},
        {kToolFolder, directory(1, 0, 0711), true}, {kToolFolder, directory(1, 501, 0755), false},
        {kToolFolder, directory(1, 0, 0775), false}, {kToolFolder, directory(1, 0, 01777), false},
        {kToolFolder, regularFile(), false}, {kToolFolder, symbolicLink(), false},
        {kToolFolder, failure(EACCES), false}, {kNtfs3g, regularFile(501, 0755), false},
        {kNtfs3g, regularFile(0, 0775), false}, {kNtfs3g, regularFile(0, 0757), false},
        {kNtfs3g, symbolicLink(), false}, {kNtfs3g, directory(1), false}, {kNtfs3g, failure(ENOENT), false},
    };
    for (const auto& [path, info, trusted] : cases) {
        HelperMachine machine;
        machine.system.files[path] = info;
        TrustedTool tool = trustedTool(machine.system, "ntfs-3g");
        EXPECT_EQ(tool.path, trusted ? std::optional<std::string>(kNtfs3g) : std::nullopt) << path << " " << info.mode;
        EXPECT_TRUE(trusted || tool.problem.find(path) != std::string::npos) << tool.problem;
    }
    HelperMachine machine;
    machine.system.folder.reset();
    EXPECT_FALSE(trustedTool(machine.system, "ntfsfix").path);
}

TEST(TrustedToolsTest, AnAdministratorsOwnCopyMayLiveInTheUsersBundle) {
    HelperMachine machine;
    machine.system.bySudo = false;
    machine.system.files[kToolFolder] = directory(1, 501, 0755);
    machine.system.files[kNtfs3g] = regularFile(501, 0755);
    EXPECT_EQ(trustedTool(machine.system, "ntfs-3g").path, kNtfs3g);
    machine.system.files[kNtfs3g] = symbolicLink();
    EXPECT_FALSE(trustedTool(machine.system, "ntfs-3g").path);
}
