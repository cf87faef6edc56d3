#pragma once

// Reading the NTFS partitions out of the disk utility's property-list listing
// ("diskutil list -plist").

#include <string_view>
#include <vector>

#include "discovery/ntfs_partition.h"

namespace drivelark {

// The NTFS partitions of `listing`, disk by disk and partition by partition in listing order.
// Empty when the text is not a listing.
std::vector<NTFSPartition> parsePartitionListing(std::string_view listing);

}  // namespace drivelark
