#include "discovery/partition_inventory.h"

#include "discovery/disk_topology.h"
#include "discovery/partition_listing.h"
#include "foundation/command_runner.h"
#include "foundation/system_programs.h"
#include "foundation/text.h"
#include "platform/text_case.h"

namespace drivelark {

namespace {

// NTFS or not, as the device's description says; none when it could not be read. A description
// that answers without a file system (an unformatted or encrypted partition) is not NTFS.
std::optional<bool> describedAsNTFS(Processes& processes, const std::string& deviceID) {
    std::optional<PlistValue> description = DiskTopology::describeDevice(processes, deviceID);
    if (!description) return std::nullopt;
    const std::string* fileSystem = description->textAt("FilesystemType");
    return fileSystem != nullptr && contains(uppercased(*fileSystem), "NTFS");
}

}  // namespace

std::optional<Inventory> takeInventory(Processes& processes, const std::map<std::string, bool>& known) {
    CommandResult listing = runCommand(processes, kDiskutilPath, {"list", "-plist"}, kListingTimeLimit);
    if (!listing.succeeded()) return std::nullopt;
    std::optional<std::vector<ListedPartition>> listed = parsePartitionListing(listing.out);
    if (!listed) return std::nullopt;

    Inventory inventory;
    for (const ListedPartition& entry : *listed) {
        const NTFSPartition& partition = entry.partition;
        if (entry.fileSystemUnknown) {
            auto remembered = known.find(partition.identity);
            std::optional<bool> ntfs =
                remembered != known.end() ? remembered->second : describedAsNTFS(processes, partition.deviceID);
            if (!ntfs) {
                inventory.undecidedKeys.insert(partition.key());
                continue;
            }
            inventory.verdicts[partition.identity] = *ntfs;
            if (!*ntfs) continue;
        }
        inventory.partitions.push_back(partition);
    }
    return inventory;
}

}  // namespace drivelark
