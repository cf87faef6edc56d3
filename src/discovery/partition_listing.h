#pragma once

// Reading the NTFS partitions out of the disk utility's property-list listing
// ("diskutil list -plist").

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/ntfs_partition.h"

namespace drivelark {

// A listing entry that holds, or may hold, NTFS.
struct ListedPartition {
    NTFSPartition partition;
    // The listing names only a partition type that NTFS shares with exFAT or FAT ("Windows_NTFS"
    // on MBR, "Microsoft Basic Data" on GPT), and no file system: only the volume's own
    // description ("diskutil info") can tell.
    bool fileSystemUnknown = false;

    bool operator==(const ListedPartition&) const = default;
};

// The candidate partitions of `listing`, disk by disk and partition by partition in listing
// order. None when the text is not a listing.
std::optional<std::vector<ListedPartition>> parsePartitionListing(std::string_view listing);

}  // namespace drivelark
