#include <gtest/gtest.h>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "test_data.h"

namespace drivelark {
namespace {

using namespace testing;

std::string info(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>" + body + "</dict></plist>";
}

class VolumeScannerTest : public ::testing::Test {
protected:
    void mountTable(const std::string& lines) {
        platform.processes.answer("/sbin/mount", {}, exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n" + lines));
    }
    void diskutilInfo(const std::string& mountPoint, ProgramRun run) {
        platform.processes.answer("/usr/sbin/diskutil", {"info", "-plist", mountPoint}, std::move(run));
    }

    TestPlatform platform;
};

TEST_F(VolumeScannerTest, ListsTheSystemsReadOnlyAndTheDriversReadWriteVolumes) {
    platform.files.addDirectory("/Volumes/Data");
    platform.files.addDirectory("/Volumes/Passport");
    platform.files.addDirectory("/Volumes/Backup");
    platform.files.addDirectory("/Volumes/SHARED");
    platform.files.addDirectory("/Volumes/Mirror");
    platform.files.addDirectory("/Volumes/Native");
    platform.files.addDirectory("/Volumes/Stale");
    mountTable("/dev/disk4s2 on /Volumes/Data (ntfs, local, nodev, nosuid, read-only, noowners)\n"
               "fuse-t:/Passport on /Volumes/Passport (nfs, nodev, nosuid, mounted by root)\n"
               "/dev/disk6 on /Volumes/Backup (ntfs, local, nodev, nosuid, read-only)\n"
               "/dev/disk4s3 on /Volumes/SHARED (msdos, local, nodev, nosuid, noowners)\n"
               "/dev/disk7s1 on /Volumes/Mirror (ntfs-3g, local)\n"
               "/dev/disk8s1 on /Volumes/Native (ntfs, local, nodev)\n");
    diskutilInfo("/Volumes/Data", exited(0, testData("diskutil_info_ntfs_volume.plist")));
    diskutilInfo("/Volumes/Backup", exited(1, testData("diskutil_info_unknown.plist")));
    VolumeScanner::markManaged("/Volumes/Passport", "My Passport", "disk5s1");

    std::vector<VolumeInfo> volumes = VolumeScanner::scan();
    ASSERT_EQ(volumes.size(), 4u);
    // The in-memory directory lists names in sorted order.
    EXPECT_EQ(volumes[0].mountPoint, "/Volumes/Backup");
    EXPECT_EQ(volumes[0].deviceID, "");  // the disk utility failed: fallbacks
    EXPECT_EQ(volumes[0].name, "Backup");
    EXPECT_EQ(volumes[0].kind, VolumeInfo::Kind::ntfsReadOnly);
    EXPECT_EQ(volumes[1].mountPoint, "/Volumes/Data");
    EXPECT_EQ(volumes[1].deviceID, "disk4s2");
    EXPECT_EQ(volumes[1].name, "Data");
    EXPECT_EQ(volumes[2].mountPoint, "/Volumes/Mirror");
    EXPECT_EQ(volumes[2].deviceID, "");  // not registered: the entry name stands in
    EXPECT_EQ(volumes[2].name, "Mirror");
    EXPECT_EQ(volumes[2].kind, VolumeInfo::Kind::ntfsReadWrite);
    EXPECT_EQ(volumes[3].mountPoint, "/Volumes/Passport");
    EXPECT_EQ(volumes[3].deviceID, "disk5s1");
    EXPECT_EQ(volumes[3].name, "My Passport");
    EXPECT_EQ(volumes[3].kind, VolumeInfo::Kind::ntfsReadWrite);
    // The mount table is read once; the disk utility only for the read-only NTFS volumes.
    EXPECT_EQ(platform.processes.callsOf("/sbin/mount").size(), 1u);
    EXPECT_EQ(platform.processes.callsOf("/usr/sbin/diskutil").size(), 2u);
}

TEST_F(VolumeScannerTest, SkipsWhatIsNotAMountedVolume) {
    platform.files.addSymbolicLink("/Volumes/Macintosh HD");
    platform.files.addDirectory("/Volumes/.hidden");
    platform.files.addDirectory("/Volumes/Unmounted");
    platform.files.addDirectory("/Volumes/Dead", 0);
    platform.files.addFile("/Volumes/file");
    platform.files.addDirectory("/Volumes/Gone");
    platform.files.makeUnreachable("/Volumes/Gone");
    platform.files.addDirectory("/Volumes/ReadOnlyNfs");
    mountTable("/dev/disk3s1s1 on /Volumes/Macintosh HD (apfs, read-only)\n"
               "/dev/disk4s1 on /Volumes/.hidden (ntfs, read-only)\n"
               "/dev/disk4s2 on /Volumes/Dead (ntfs, read-only)\n"
               "/dev/disk4s3 on /Volumes/file (ntfs, read-only)\n"
               "/dev/disk4s4 on /Volumes/Gone (ntfs, read-only)\n"
               "fuse-t:/X on /Volumes/ReadOnlyNfs (nfs, nodev, read-only, mounted by root)\n");
    EXPECT_TRUE(VolumeScanner::scan().empty());
    EXPECT_TRUE(platform.processes.callsOf("/usr/sbin/diskutil").empty());
}

TEST_F(VolumeScannerTest, ReadOnlyVolumeTakesEachDescriptionKeyOnItsOwn) {
    platform.files.addDirectory("/Volumes/Data");
    mountTable("/dev/disk4s2 on /Volumes/Data (ntfs, read-only)\n");
    diskutilInfo("/Volumes/Data", exited(0, info("<key>DeviceIdentifier</key><string>disk4s2</string>")));
    std::vector<VolumeInfo> volumes = VolumeScanner::scan();
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0].deviceID, "disk4s2");
    EXPECT_EQ(volumes[0].name, "Data");

    diskutilInfo("/Volumes/Data", exited(0, info("<key>VolumeName</key><string>数据 盘</string>")));
    volumes = VolumeScanner::scan();
    EXPECT_EQ(volumes[0].deviceID, "");
    EXPECT_EQ(volumes[0].name, "数据 盘");
}

TEST_F(VolumeScannerTest, NoVolumesFolderOrNoMountTableGivesNothing) {
    mountTable("/dev/disk4s2 on /Volumes/Data (ntfs, read-only)\n");
    EXPECT_TRUE(VolumeScanner::scan().empty());
    platform.files.addDirectory("/Volumes/Data");
    platform.processes.answer("/sbin/mount", {}, exited(1, ""));
    EXPECT_TRUE(VolumeScanner::scan().empty());
}

TEST_F(VolumeScannerTest, RegistryKeepsBothMapsAndReplacesEntries) {
    VolumeScanner::markManaged("/Volumes/Data", "Data", "disk4s1");
    VolumeScanner::markManaged("/Volumes/Data", "Data 2", "disk5s1");
    VolumeScanner::markManaged("/Volumes/Other", "", "");
    EXPECT_EQ(VolumeScanner::managedNames(), (TextMap{{"/Volumes/Data", "Data 2"}, {"/Volumes/Other", ""}}));
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Data", "disk5s1"}, {"/Volumes/Other", ""}}));

    int writes = platform.defaults.writes();
    VolumeScanner::unmarkManaged("/Volumes/Nowhere");
    EXPECT_EQ(platform.defaults.writes(), writes + 2);  // both maps stored, unchanged
    EXPECT_EQ(VolumeScanner::managedNames().size(), 2u);
    VolumeScanner::unmarkManaged("/Volumes/Data");
    EXPECT_EQ(VolumeScanner::managedNames(), (TextMap{{"/Volumes/Other", ""}}));
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Other", ""}}));
}

TEST_F(VolumeScannerTest, IllTypedStoredMapsReadAsEmpty) {
    platform.defaults.setValue("managedDevs", PlistValue(PlistValue::Dictionary{
                                                  {"/Volumes/A", PlistValue("disk4s1")}, {"/Volumes/B", PlistValue(true)}}));
    platform.defaults.setValue("managedNames", PlistValue("not a dictionary"));
    EXPECT_TRUE(VolumeScanner::managedDevs().empty());
    EXPECT_TRUE(VolumeScanner::managedNames().empty());
    // Each map is read on its own.
    platform.defaults.setValue("managedNames", PlistValue(PlistValue::Dictionary{{"/Volumes/A", PlistValue("A")}}));
    EXPECT_EQ(VolumeScanner::managedNames().size(), 1u);
    EXPECT_TRUE(VolumeScanner::managedDevs().empty());

    VolumeScanner::markManaged("/Volumes/C", "C", "disk6s1");
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/C", "disk6s1"}}));
    EXPECT_EQ(VolumeScanner::managedNames(), (TextMap{{"/Volumes/A", "A"}, {"/Volumes/C", "C"}}));
}

}  // namespace
}  // namespace drivelark
