#pragma once

// The NTFS volumes mounted under /Volumes as the menu lists them, and the managed-volume
// registry: the read-write mounts Drivelark made or adopted, kept in the user-defaults store
// across restarts. Called on the main thread only: the registry updates are read-modify-write.

#include <map>
#include <string>
#include <vector>

#include "discovery/volume_info.h"

namespace drivelark {

using TextMap = std::map<std::string, std::string>;

namespace VolumeScanner {

// The system's read-only NTFS mounts and the user-space driver's read-write mounts under
// /Volumes, in directory order. Runs the mount program, and the disk utility once per
// read-only volume, each with the main thread's time limit. Never fails.
std::vector<VolumeInfo> scan();

// Mount point to the volume name it was mounted under ("managedNames").
TextMap managedNames();
void setManagedNames(const TextMap& names);
// Mount point to the BSD name of its device ("managedDevs").
TextMap managedDevs();
void setManagedDevs(const TextMap& devices);

// Records (or replaces) a managed mount in both maps.
void markManaged(const std::string& mountPoint, const std::string& name, const std::string& dev);
// Removes a mount point from both maps; both are stored again even when it was not there.
void unmarkManaged(const std::string& mountPoint);

}  // namespace VolumeScanner

}  // namespace drivelark
