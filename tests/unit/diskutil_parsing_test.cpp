// What the disk utility's property lists say: which partitions are NTFS candidates, and what a
// volume's description holds.

#include <gtest/gtest.h>

#include "discovery/partition_listing.h"
#include "discovery/volume_description.h"
#include "test_data.h"
#include <tuple>

namespace drivelark {
namespace {

using testing::testData;

std::string listing(const std::string& disks) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict><key>AllDisksAndPartitions</key>"
           "<array>" +
           disks + "</array></dict>\n</plist>\n";
}
std::string entry(const std::string& keys) { return "<dict>" + keys + "</dict>"; }
std::string key(const std::string& name, const std::string& text) {
    return "<key>" + name + "</key><string>" + text + "</string>";
}
std::string partitioned(const std::string& partitions) {
    return entry(key("Content", "GUID_partition_scheme") + key("DeviceIdentifier", "disk4") +
                 "<key>Partitions</key><array>" + partitions + "</array>");
}

// Device identifiers, with "?" after those whose file system only the volume's description tells.
std::vector<std::string> candidates(std::string_view text) {
    std::vector<std::string> names;
    for (const ListedPartition& found : parsePartitionListing(text).value_or(std::vector<ListedPartition>{}))
        names.push_back(found.partition.deviceID + (found.fileSystemUnknown ? "?" : ""));
    return names;
}

TEST(PartitionListingTest, WhatCountsAsNtfs) {
    auto part = [](const std::string& content, const std::string& extra = "") {
        return entry(key("Content", content) + key("DeviceIdentifier", "disk4s1") + extra);
    };
    const std::vector<std::tuple<const char*, std::string, std::vector<std::string>>> cases = {
        {"MBR type shared with exFAT", partitioned(part("Windows_NTFS")), {"disk4s1?"}},
        {"GPT basic data", partitioned(part("Microsoft Basic Data")), {"disk4s1?"}},
        {"file system named", partitioned(part("Microsoft Basic Data", key("FilesystemType", "NtFs"))), {"disk4s1"}},
        {"exFAT named", partitioned(part("Windows_NTFS", key("FilesystemType", "exfat"))), {}},
        {"empty file system", partitioned(part("Windows_NTFS", key("FilesystemType", ""))), {"disk4s1?"}},
        {"non-text file system", partitioned(part("Windows_NTFS", "<key>FilesystemType</key><integer>7</integer>")),
         {"disk4s1?"}},
        {"other type naming ntfs in lower case", partitioned(part("windows_ntfs")), {"disk4s1"}},
        {"full Unicode upper-casing", partitioned(part("Windows_ntfß")), {"disk4s1"}},
        {"whole disk in capitals", entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk6")), {"disk6?"}},
        {"whole disk in lower case", entry(key("Content", "windows_ntfs") + key("DeviceIdentifier", "disk6")), {}},
        {"whole exFAT disk", entry(key("Content", "Windows_NTFS") + key("DeviceIdentifier", "disk6") +
                                   key("FilesystemType", "exfat")),
         {}},
        {"partitioned disk judged by its partitions",
         entry(key("Content", "NTFS_scheme") + key("DeviceIdentifier", "disk4") + "<key>Partitions</key><array>" +
               part("EFI") + "</array>"),
         {}},
        {"stray element: whole-disk rule",
         entry(key("Content", "NTFS") + key("DeviceIdentifier", "disk7") + "<key>Partitions</key><array><integer>1" +
               "</integer>" + part("NTFS") + "</array>"),
         {"disk7"}},
        {"malformed entries drop only themselves",
         partitioned(entry(key("Content", "NTFS")) +
                     entry(key("Content", "NTFS") + "<key>DeviceIdentifier</key><integer>4</integer>") +
                     entry("<key>Content</key><data>TlRGUw==</data>" + key("DeviceIdentifier", "disk4s3")) +
                     entry(key("Content", "NTFS") + key("DeviceIdentifier", "disk4s4") + "<key>VolumeName</key><true/>")),
         {"disk4s4"}},
    };
    for (const auto& [what, disks, found] : cases) EXPECT_EQ(candidates(listing(disks)), found) << what;
}

TEST(PartitionListingTest, StoredListingsOfAMac) {
    // Internal APFS, a GPT disk with NTFS, FAT and EFI, an MBR "Windows_NTFS" disk, a whole-disk
    // NTFS volume, a disk image and an exFAT camera card on an MBR "Windows_NTFS" partition.
    std::vector<std::string> expected = {"disk4s2", "disk5s1?", "disk6?"};
    EXPECT_EQ(candidates(testData("diskutil_list_mac_mixed.plist")), expected);
    EXPECT_EQ(candidates(testData("diskutil_list_mac_mixed.bplist")), expected);
    std::vector<ListedPartition> found = *parsePartitionListing(testData("diskutil_list_mac_mixed.plist"));
    EXPECT_EQ(found[1].partition, (NTFSPartition{"disk5s1", "My Passport", ""}));
    // The same device with another volume on it is told apart.
    EXPECT_NE(found[1].identity, found[2].identity);
}

TEST(PartitionListingTest, NamesArriveExactlyAsListed) {
    std::vector<ListedPartition> found = *parsePartitionListing(listing(partitioned(
        entry(key("Content", "NTFS") + key("DeviceIdentifier", "disk4s1") +
              key("VolumeName", "Bob&apos;s &quot;Disk&quot; &amp; $(touch /tmp/x); a,b/c 数据") +
              key("VolumeUUID", "uuid-1")))));
    EXPECT_EQ(found.at(0).partition,
              (NTFSPartition{"disk4s1", "Bob's \"Disk\" & $(touch /tmp/x); a,b/c 数据", "uuid-1"}));
}

TEST(PartitionListingTest, AnythingButAListingIsUnreadable) {
    std::string good = testData("diskutil_list_mac_mixed.plist");
    for (std::string bad : {std::string(), std::string("Could not find disk: list\n"),
                            std::string("<plist version=\"1.0\"><array><dict/></array></plist>"),
                            std::string("<plist version=\"1.0\"><dict><key>AllDisks</key><array/></dict></plist>"),
                            listing("<string>disk4</string>"), "diskutil: warning\n" + good}) {
        EXPECT_EQ(parsePartitionListing(bad), std::nullopt) << bad;
    }
    for (size_t length = 0; length < good.size(); length += 97)
        EXPECT_EQ(parsePartitionListing(good.substr(0, length)), std::nullopt) << "truncated at " << length;
    EXPECT_EQ(parsePartitionListing(listing("")), std::vector<ListedPartition>{});  // read, and empty
}

TEST(VolumeDescriptionTest, ReadsEachKeyOnItsOwn) {
    EXPECT_EQ(parseVolumeDescription(testData("diskutil_info_ntfs_volume.plist")),
              (VolumeDescription{"disk4s2", "Data", "/Volumes/Data", "ntfs"}));
    // The error report of an unknown volume is a dictionary too, without any of the keys.
    EXPECT_EQ(parseVolumeDescription(testData("diskutil_info_unknown.plist")), VolumeDescription{});
    EXPECT_EQ(parseVolumeDescription("<plist version=\"1.0\"><dict><key>DeviceIdentifier</key><true/>"
                                     "<key>VolumeName</key><string>数据</string></dict></plist>"),
              (VolumeDescription{std::nullopt, "数据", std::nullopt, std::nullopt}));
    for (const char* bad : {"Could not find disk: disk9", "", "<plist version=\"1.0\"><array><string>disk4s1</string></array></plist>"})
        EXPECT_EQ(parseVolumeDescription(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace drivelark
