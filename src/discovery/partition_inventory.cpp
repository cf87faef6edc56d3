#include "discovery/partition_inventory.h"

#include "discovery/partition_listing.h"
#include "discovery/volume_description.h"
#include "foundation/command_runner.h"
#include "foundation/system_programs.h"
#include "foundation/text.h"
#include "platform/text_case.h"

namespace drivelark {

std::optional<bool> PartitionInventory::isNTFS(const std::string& deviceID) {
    CommandResult info = runCommand(kDiskutilPath, {"info", "-plist", deviceID}, kMainThreadTimeLimit);
    if (info.exit != 0) return std::nullopt;
    std::optional<VolumeDescription> description = parseVolumeDescription(info.out);
    if (!description || description->deviceIdentifier != deviceID || !description->fileSystemType)
        return std::nullopt;
    return contains(uppercased(*description->fileSystemType), "NTFS");
}

std::optional<std::vector<NTFSPartition>> PartitionInventory::ntfsPartitions() {
    CommandResult listing = runCommand(kDiskutilPath, {"list", "-plist"}, kMainThreadTimeLimit);
    if (listing.exit != 0) return std::nullopt;
    std::optional<std::vector<ListedPartition>> listed = parsePartitionListing(listing.out);
    if (!listed) return std::nullopt;

    std::map<std::string, bool> known;  // only what is still listed, so nothing piles up
    std::vector<NTFSPartition> partitions;
    for (const ListedPartition& entry : *listed) {
        bool ntfs = true;
        if (entry.fileSystemUnknown) {
            auto remembered = knownByIdentity_.find(entry.identity);
            std::optional<bool> answer =
                remembered != knownByIdentity_.end() ? remembered->second : isNTFS(entry.partition.deviceID);
            if (!answer) {
                knownByIdentity_.merge(known);  // what this pass learned still counts
                return std::nullopt;
            }
            ntfs = known[entry.identity] = *answer;
        }
        if (ntfs) partitions.push_back(entry.partition);
    }
    knownByIdentity_ = std::move(known);
    return partitions;
}

}  // namespace drivelark
