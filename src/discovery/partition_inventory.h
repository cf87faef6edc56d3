#pragma once

// The NTFS partitions the system knows about right now, mounted or not. The listing often names
// only a partition type that NTFS shares with exFAT and FAT; the file system of such a volume is
// then asked of the disk utility once and remembered, so that an idle pass runs one listing and
// nothing else. Main thread only.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "discovery/ntfs_partition.h"

namespace drivelark {

class PartitionInventory {
public:
    // The NTFS partitions in listing order. None when the listing, or the description of a volume
    // whose file system the listing leaves open, could not be read: that is not "no partitions".
    std::optional<std::vector<NTFSPartition>> ntfsPartitions();

private:
    std::optional<bool> isNTFS(const std::string& deviceID);
    std::map<std::string, bool> knownByIdentity_;
};

}  // namespace drivelark
