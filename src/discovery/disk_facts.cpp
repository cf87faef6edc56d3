#include "discovery/disk_facts.h"

#include <algorithm>

namespace drivelark {

const NTFSPartition* DiskFacts::partitionOn(const std::string& deviceID) const {
    auto found = std::find_if(partitions.begin(), partitions.end(),
                              [&](const NTFSPartition& partition) { return partition.deviceID == deviceID; });
    return found == partitions.end() ? nullptr : &*found;
}

}  // namespace drivelark
