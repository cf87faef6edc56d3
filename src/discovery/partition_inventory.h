#pragma once

// The NTFS partitions the system knows about right now, mounted or not. The listing often names
// only a partition type that NTFS shares with exFAT and FAT; the file system of such a volume is
// then asked of the disk utility once and remembered by the volume's identity, so that an idle
// pass runs one listing and nothing else. Blocks: background threads only.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "discovery/ntfs_partition.h"
#include "platform/processes.h"

namespace drivelark {

struct Inventory {
    std::vector<NTFSPartition> partitions;  // the NTFS ones, in listing order
    // Listed, but their description could not be read this time: not taken for gone, not remembered.
    std::set<std::string> undecidedKeys;
    // Whether each volume still listed is NTFS, by identity: `known` and what was learned now.
    std::map<std::string, bool> verdicts;
};

// None when the listing itself could not be read: that is not "no partitions". `known` holds the
// verdicts remembered from earlier inventories.
std::optional<Inventory> takeInventory(Processes& processes, const std::map<std::string, bool>& known);

}  // namespace drivelark
