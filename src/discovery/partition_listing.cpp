#include "discovery/partition_listing.h"

#include "discovery/volume_identity.h"
#include "foundation/text.h"
#include "platform/property_list.h"
#include "platform/text_case.h"

namespace drivelark {

namespace {

std::string textOr(const PlistValue& entry, const char* key) {
    const std::string* text = entry.textAt(key);
    return text != nullptr ? *text : std::string();
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

// Partition types that NTFS shares with other file systems: MBR type 0x07 (also exFAT) and
// GPT's basic data partition (also exFAT and FAT32).
bool isSharedPartitionType(const std::string& content) {
    return content == "Windows_NTFS" || content == "Microsoft Basic Data";
}

enum class Verdict { notNTFS, ntfs, unknown };

// "FilesystemType" decides when the listing gives it. Without it, a shared partition type leaves
// the question open; any other "Content" that names NTFS counts (in capitals only for a whole
// disk, whose "Content" is a volume's and not a partition type).
Verdict judge(const PlistValue& entry, bool wholeDisk) {
    const std::string fileSystem = textOr(entry, "FilesystemType");
    if (!fileSystem.empty()) return contains(uppercased(fileSystem), "NTFS") ? Verdict::ntfs : Verdict::notNTFS;
    const std::string content = textOr(entry, "Content");
    if (isSharedPartitionType(content)) return Verdict::unknown;
    bool namesNTFS = wholeDisk ? contains(content, "NTFS") : contains(uppercased(content), "NTFS");
    return namesNTFS ? Verdict::ntfs : Verdict::notNTFS;
}

void consider(const PlistValue& entry, bool wholeDisk, std::vector<ListedPartition>& found) {
    Verdict verdict = judge(entry, wholeDisk);
    const std::string* deviceID = entry.textAt("DeviceIdentifier");
    if (verdict == Verdict::notNTFS || deviceID == nullptr) return;
    NTFSPartition partition{*deviceID, textOr(entry, "VolumeName"), textOr(entry, "VolumeUUID"), volumeIdentity(entry)};
    found.push_back(ListedPartition{std::move(partition), verdict == Verdict::unknown});
}

}  // namespace

std::optional<std::vector<ListedPartition>> parsePartitionListing(std::string_view listing) {
    std::optional<PlistValue> root = parsePropertyList(listing);
    if (!root) return std::nullopt;
    const PlistValue::Array* disks = dictionaryArray(root->find("AllDisksAndPartitions"));
    if (disks == nullptr) return std::nullopt;

    std::vector<ListedPartition> found;
    for (const PlistValue& disk : *disks) {
        const PlistValue::Array* children = dictionaryArray(disk.find("Partitions"));
        if (children == nullptr || children->empty()) {
            consider(disk, true, found);
            continue;
        }
        for (const PlistValue& partition : *children) consider(partition, false, found);
    }
    return found;
}

}  // namespace drivelark
