#pragma once

// The NTFS volumes mounted under /Volumes as the menu lists them: the system's read-only NTFS
// mounts, which the user may convert, and Drivelark's own read-write mounts, which the user may
// eject. Built from the facts of the last reading alone, so that listing them touches nothing.

#include <vector>

#include "discovery/disk_facts.h"
#include "discovery/volume_info.h"

namespace drivelark {

namespace VolumeScanner {

// In mount-point order; never of kind `other`.
std::vector<VolumeInfo> scan(const DiskFacts& facts);

}  // namespace VolumeScanner

}  // namespace drivelark
