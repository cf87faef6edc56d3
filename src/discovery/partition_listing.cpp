#include "discovery/partition_listing.h"

#include "platform/property_list.h"
#include "platform/text_case.h"

namespace drivelark {

namespace {

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string textOr(const PlistValue& entry, const char* key, std::string fallback = {}) {
    const std::string* text = entry.textAt(key);
    return text != nullptr ? *text : fallback;
}

// An array whose elements are all dictionaries; null otherwise.
const PlistValue::Array* dictionaryArray(const PlistValue* value) {
    const PlistValue::Array* items = value == nullptr ? nullptr : value->array();
    if (items == nullptr) return nullptr;
    for (const PlistValue& item : *items) {
        if (item.dictionary() == nullptr) return nullptr;
    }
    return items;
}

// The file system named by "FilesystemType" decides when it is given: the partition type in
// "Content" is shared by NTFS and exFAT on MBR disks ("Windows_NTFS"), so an exFAT card would
// otherwise pass for NTFS.
bool namesOtherFileSystem(const PlistValue& entry) {
    const std::string* fileSystem = entry.textAt("FilesystemType");
    return fileSystem != nullptr && !fileSystem->empty() && !contains(uppercased(*fileSystem), "NTFS");
}

bool isNTFSPartition(const PlistValue& partition) {
    if (namesOtherFileSystem(partition)) return false;
    return contains(uppercased(textOr(partition, "Content")), "NTFS") ||
           contains(uppercased(textOr(partition, "FilesystemType")), "NTFS");
}

bool isNTFSWholeDisk(const PlistValue& disk) {
    const std::string* content = disk.textAt("Content");
    return content != nullptr && contains(*content, "NTFS") && !namesOtherFileSystem(disk);
}

void appendRecord(const PlistValue& entry, std::vector<NTFSPartition>& partitions) {
    const std::string* deviceID = entry.textAt("DeviceIdentifier");
    if (deviceID == nullptr) return;
    partitions.push_back(NTFSPartition{*deviceID, textOr(entry, "VolumeName"), textOr(entry, "VolumeUUID")});
}

}  // namespace

std::vector<NTFSPartition> parsePartitionListing(std::string_view listing) {
    std::vector<NTFSPartition> partitions;
    std::optional<PlistValue> root = parsePropertyList(listing);
    if (!root) return partitions;
    const PlistValue::Array* disks = dictionaryArray(root->find("AllDisksAndPartitions"));
    if (disks == nullptr) return partitions;

    for (const PlistValue& disk : *disks) {
        const PlistValue::Array* children = dictionaryArray(disk.find("Partitions"));
        if (children == nullptr || children->empty()) {
            if (isNTFSWholeDisk(disk)) appendRecord(disk, partitions);
            continue;
        }
        for (const PlistValue& partition : *children) {
            if (isNTFSPartition(partition)) appendRecord(partition, partitions);
        }
    }
    return partitions;
}

}  // namespace drivelark
