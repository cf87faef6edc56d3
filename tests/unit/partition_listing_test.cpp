#include <gtest/gtest.h>

#include "discovery/partition_listing.h"
#include "test_data.h"

namespace drivelark {
namespace {

using testing::testData;

std::string plist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

std::string listing(const std::string& disks) {
    return plist("<dict><key>AllDisksAndPartitions</key><array>" + disks + "</array></dict>");
}

std::string entry(const std::string& keys) { return "<dict>" + keys + "</dict>"; }
std::string key(const std::string& name, const std::string& text) {
    return "<key>" + name + "</key><string>" + text + "</string>";
}
std::string partitioned(const std::string& partitions) {
    return entry(key("Content", "GUID_partition_scheme") + key("DeviceIdentifier", "disk4") +
                 "<key>Partitions</key><array>" + partitions + "</array>");
}

std::vector<std::string> devices(const std::vector<NTFSPartition>& partitions) {
    std::vector<std::string> names;
    for (const NTFSPartition& partition : partitions) names.push_back(partition.deviceID);
    return names;
}

TEST(PartitionListingTest, StoredListingOfAMacWithSeveralDisks) {
    // Internal APFS, a GPT disk with NTFS, FAT and EFI, an MBR "Windows_NTFS" disk, a whole-disk
    // NTFS volume, a disk image and an exFAT camera card on an MBR "Windows_NTFS" partition.
    std::vector<NTFSPartition> partitions = parsePartitionListing(testData("diskutil_list_mac_mixed.plist"));
    ASSERT_EQ(partitions.size(), 3u);
    EXPECT_EQ(partitions[0].deviceID, "disk4s2");
    EXPECT_EQ(partitions[0].volumeName, "Data");
    EXPECT_EQ(partitions[0].uuid, "7C1E4A2F-93B5-4D1C-A6E8-2F0B9D3C5E71");
    EXPECT_EQ(partitions[1].deviceID, "disk5s1");
    EXPECT_EQ(partitions[1].volumeName, "My Passport");
    EXPECT_EQ(partitions[1].uuid, "");
    EXPECT_EQ(partitions[2].deviceID, "disk6");
    EXPECT_EQ(partitions[2].volumeName, "WHOLE");
}

TEST(PartitionListingTest, BinaryListingGivesTheSameRecords) {
    std::vector<NTFSPartition> fromXml = parsePartitionListing(testData("diskutil_list_mac_mixed.plist"));
    std::vector<NTFSPartition> fromBinary = parsePartitionListing(testData("diskutil_list_mac_mixed.bplist"));
    ASSERT_EQ(devices(fromBinary), devices(fromXml));
    EXPECT_EQ(fromBinary[1].volumeName, "My Passport");
}

TEST(PartitionListingTest, FileSystemTypeDecidesWhenItNamesAnotherFileSystem) {
    std::string disk = partitioned(
        entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk4s1") + key("FilesystemType", "exfat")) +
        entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk4s2") + key("FilesystemType", "msdos")) +
        entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk4s3") + key("FilesystemType", "")) +
        entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk4s4") +
              "<key>FilesystemType</key><integer>7</integer>") +
        entry(key("Content", "Microsoft Basic Data") + key("DeviceIdentifier", "disk4s5") +
              key("FilesystemType", "ntfs")) +
        entry(key("Content", "Microsoft Basic Data") + key("DeviceIdentifier", "disk4s6")));
    // Empty or non-text file-system types leave the decision to "Content"; a GPT data partition
    // without a file-system type says nothing about NTFS.
    EXPECT_EQ(devices(parsePartitionListing(listing(disk))),
              (std::vector<std::string>{"disk4s3", "disk4s4", "disk4s5"}));

    std::string wholeExfat = entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk9") +
                                   key("FilesystemType", "exfat"));
    EXPECT_TRUE(parsePartitionListing(listing(wholeExfat)).empty());
}

TEST(PartitionListingTest, CaseRulesDifferForPartitionsAndWholeDisks) {
    std::string lowerWhole = entry(key("Content", "windows_ntfs") + key("DeviceIdentifier", "disk6"));
    EXPECT_TRUE(parsePartitionListing(listing(lowerWhole)).empty());

    std::string lowerPartition = partitioned(entry(key("Content", "windows_ntfs") + key("DeviceIdentifier", "disk4s1")));
    EXPECT_EQ(devices(parsePartitionListing(listing(lowerPartition))), std::vector<std::string>{"disk4s1"});

    // Upper-casing is the full Unicode mapping: "ß" becomes "SS" and the long "ſ" becomes "S".
    std::string special = partitioned(entry(key("Content", "Windows_ntfß") + key("DeviceIdentifier", "disk4s2")) +
                                      entry(key("Content", "ntfſ") + key("DeviceIdentifier", "disk4s3")) +
                                      entry(key("Content", "ntf") + key("DeviceIdentifier", "disk4s5")));
    EXPECT_EQ(devices(parsePartitionListing(listing(special))), (std::vector<std::string>{"disk4s2", "disk4s3"}));
    std::string fileSystem = partitioned(entry(key("Content", "Microsoft Basic Data") + key("FilesystemType", "NtFs") +
                                               key("DeviceIdentifier", "disk4s4")));
    EXPECT_EQ(devices(parsePartitionListing(listing(fileSystem))), std::vector<std::string>{"disk4s4"});
}

TEST(PartitionListingTest, PartitionedDiskIsJudgedByItsPartitionsOnly) {
    std::string disk = entry(key("Content", "NTFS_scheme") + key("DeviceIdentifier", "disk4") +
                             "<key>Partitions</key><array>" +
                             entry(key("Content", "EFI") + key("DeviceIdentifier", "disk4s1")) + "</array>");
    EXPECT_TRUE(parsePartitionListing(listing(disk)).empty());

    // An empty partition array, or one with a stray number, leaves the whole-disk rule to decide.
    std::string empty = entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk6") +
                              "<key>Partitions</key><array/>");
    EXPECT_EQ(devices(parsePartitionListing(listing(empty))), std::vector<std::string>{"disk6"});
    std::string stray = entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk7") +
                              "<key>Partitions</key><array><integer>1</integer>" +
                              entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk7s1")) + "</array>");
    EXPECT_EQ(devices(parsePartitionListing(listing(stray))), std::vector<std::string>{"disk7"});
}

TEST(PartitionListingTest, MalformedEntriesDropOnlyThemselves) {
    std::string disk = partitioned(
        entry(key("Content", "Windows_NTFS")) +
        entry(key("Content", "Windows_NTFS") + "<key>DeviceIdentifier</key><integer>4</integer>") +
        entry("<key>Content</key><data>TlRGUw==</data>" + key("DeviceIdentifier", "disk4s3")) +
        entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk4s4") +
              "<key>VolumeName</key><true/>"));
    std::vector<NTFSPartition> partitions = parsePartitionListing(listing(disk));
    ASSERT_EQ(devices(partitions), std::vector<std::string>{"disk4s4"});
    EXPECT_EQ(partitions[0].volumeName, "");
    EXPECT_EQ(partitions[0].uuid, "");
}

TEST(PartitionListingTest, NamesArriveExactlyAsListed) {
    std::string disk = partitioned(
        entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk4s1") +
              key("VolumeName", "Bob&apos;s &quot;Disk&quot; &amp; $(touch /tmp/x); a,b/c 数据") +
              key("VolumeUUID", "uuid-1")));
    std::vector<NTFSPartition> partitions = parsePartitionListing(listing(disk));
    ASSERT_EQ(partitions.size(), 1u);
    EXPECT_EQ(partitions[0].volumeName, "Bob's \"Disk\" & $(touch /tmp/x); a,b/c 数据");
}

TEST(PartitionListingTest, DisksComeInListingOrder) {
    std::string first = entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk9"));
    std::string second = partitioned(entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk4s2")) +
                                     entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk4s1")));
    EXPECT_EQ(devices(parsePartitionListing(listing(first + second))),
              (std::vector<std::string>{"disk9", "disk4s2", "disk4s1"}));
}

TEST(PartitionListingTest, AnythingButAListingGivesNothing) {
    std::string good = testData("diskutil_list_mac_mixed.plist");
    EXPECT_TRUE(parsePartitionListing("").empty());
    EXPECT_TRUE(parsePartitionListing("Could not find disk: list\n").empty());
    EXPECT_TRUE(parsePartitionListing(plist("<array><dict/></array>")).empty());
    EXPECT_TRUE(parsePartitionListing(plist("<dict><key>AllDisks</key><array/></dict>")).empty());
    EXPECT_TRUE(parsePartitionListing(plist("<dict><key>AllDisksAndPartitions</key><dict/></dict>")).empty());
    EXPECT_TRUE(parsePartitionListing(listing("<string>disk4</string>" +
                                              entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk6"))))
                    .empty());
    // Text before the property list, as a warning on standard error would put there.
    EXPECT_TRUE(parsePartitionListing("diskutil: warning\n" + good).empty());
    // A listing cut short is not a property list.
    for (size_t length = 0; length < good.size(); length += 97) {
        std::vector<NTFSPartition> partial = parsePartitionListing(good.substr(0, length));
        EXPECT_TRUE(partial.empty()) << "truncated at " << length;
    }
    std::string binary = testData("diskutil_list_mac_mixed.bplist");
    for (size_t length = 0; length < binary.size(); length += 31) {
        EXPECT_TRUE(parsePartitionListing(binary.substr(0, length)).empty()) << "binary truncated at " << length;
    }
}

}  // namespace
}  // namespace drivelark
