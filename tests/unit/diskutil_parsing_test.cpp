// What the disk utility's listing says: which partitions are NTFS candidates, named exactly as listed.

#include <gtest/gtest.h>

#include <tuple>

#include "discovery/partition_listing.h"
#include "test_data.h"
#include "unit/mount_programs.h"

namespace drivelark::testing {

// Device identifiers, with "?" after those whose file system only the volume's description tells.
static std::vector<std::string> candidates(std::string_view text) {
    std::vector<std::string> names;
    for (const ListedPartition& found : parsePartitionListing(text).value_or(std::vector<ListedPartition>{}))
        names.push_back(found.partition.deviceID + (found.fileSystemUnknown ? "?" : ""));
    return names;
}

TEST(PartitionListingTest, WhatCountsAsNtfs) {
    auto disk = [](const std::string& device, const std::string& content, const std::string& more = "") {
        return dict(key("Content", content) + key("DeviceIdentifier", device) + more);
    };
    auto part = [&](const char* content, const std::string& more = "") { return disk("disk4s1", content, more); };
    auto partitioned = [&](const std::string& partitions, const std::string& content = "GUID_partition_scheme") {
        return disk("disk4", content, "<key>Partitions</key><array>" + partitions + "</array>");
    };
    for (const auto& [what, disks, found] : std::vector<std::tuple<const char*, std::string, std::vector<std::string>>>{
             {"file system named", partitioned(part("Windows_NTFS", key("FilesystemType", "NtFs"))), {"disk4s1"}},
             {"empty file system", partitioned(part("Windows_NTFS", key("FilesystemType", ""))), {"disk4s1?"}},
             {"non-text file system",
              partitioned(part("Windows_NTFS", "<key>FilesystemType</key><integer>7</integer>")), {"disk4s1?"}},
             {"other type naming ntfs in lower case", partitioned(part("windows_ntfs")), {"disk4s1"}},
             {"full Unicode upper-casing", partitioned(part("Windows_ntfß")), {"disk4s1"}},
             {"whole disk in lower case", disk("disk6", "windows_ntfs"), {}},
             {"whole exFAT disk", disk("disk6", "Windows_NTFS", key("FilesystemType", "exfat")), {}},
             {"partitioned disk judged by its partitions", partitioned(part("EFI"), "NTFS_scheme"), {}},
             {"stray element: whole-disk rule", partitioned("<integer>1</integer>" + part("NTFS"), "NTFS"), {"disk4"}},
             {"malformed entries drop only themselves",
              partitioned(dict(key("Content", "NTFS")) +
                          dict(key("Content", "NTFS") + "<key>DeviceIdentifier</key><integer>4</integer>") +
                          dict("<key>Content</key><data>TlRGUw==</data>" + key("DeviceIdentifier", "disk4s3")) +
                          disk("disk4s4", "NTFS", "<key>VolumeName</key><true/>")),
              {"disk4s4"}},
     })
        EXPECT_EQ(candidates(listing(disks)), found) << what;
}

TEST(PartitionListingTest, StoredListingOfAMac) {
    // Internal APFS, a GPT disk with NTFS, FAT and EFI, an MBR "Windows_NTFS" disk, a whole-disk
    // NTFS volume, a disk image and an exFAT camera card on an MBR "Windows_NTFS" partition. (Its
    // binary form reads the same: property_list_test.cpp.)
    EXPECT_EQ(candidates(testData("diskutil_list_mac_mixed.plist")), (std::vector<std::string>{"disk4s2", "disk5s1?", "disk6?"}));
}

// Property lists that are not a listing. (What is not a property list at all: property_list_test.cpp.)
TEST(PartitionListingTest, AnythingButAListingIsUnreadable) {
    for (std::string bad : {std::string("<plist version=\"1.0\"><array><dict/></array></plist>"),
                            plist("<key>AllDisks</key><array/>"), listing("<string>disk4</string>"),
                            "diskutil: warning\n" + testData("diskutil_list_mac_mixed.plist")}) {
        EXPECT_EQ(parsePartitionListing(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(parsePartitionListing(listing("")), std::vector<ListedPartition>{});  // read, and empty
}

}  // namespace drivelark::testing
