#pragma once

// What the system knows about disks right now: NTFS partitions, mounts and the device behind a
// mount. Each call runs its program afresh and blocks until it exits; safe from any thread.
// None of them fails: a failed program or unreadable output gives an empty result.

#include <string>
#include <vector>

#include "discovery/mount_table.h"
#include "discovery/ntfs_partition.h"

namespace drivelark {

namespace DiskTopology {

// Every NTFS partition the disk utility lists, mounted or not.
std::vector<NTFSPartition> ntfsPartitions();

// The mount table, from the mount program.
MountTable currentMounts();

// The BSD name of the device mounted at `mountPoint`, or empty when the disk utility cannot say.
std::string deviceOfMount(const std::string& mountPoint);

}  // namespace DiskTopology

}  // namespace drivelark
