#pragma once

// Which mounts are Drivelark's. A mount is Drivelark's only when it is provably so: the registry
// recorded it at that place for that device and volume when it was made, or a running ntfs-3g of
// root's serves that device there. A network share or another FUSE mount at a volume's usual
// place is someone else's, whatever its name, and nothing of Drivelark's ever touches it.

#include <map>
#include <optional>
#include <string>

#include "discovery/disk_facts.h"

namespace drivelark {

// A read-write mount of a user-space file-system driver: ntfs-3g through FUSE-T ("nfs"), or
// through a FUSE that names itself ("fusefs_ntfs", "ntfs-3g").
bool isUserSpaceDriverMount(const MountEntry& entry);

// Where the system mounted `deviceID` itself, read-only as NTFS ("/dev/<device>", type "ntfs").
std::optional<std::string> systemMountOf(const MountTable& mounts, const std::string& deviceID);

// Whether a running ntfs-3g of root's serves `deviceID` at `mountPoint`.
bool servedByNtfs3g(const std::vector<Process>& processes, const std::string& deviceID, const std::string& mountPoint);

// Drivelark's read-write mounts of the partitions listed in `facts`, by device: the registry's
// records whose mount is still there as a user-space driver's, on a device that still holds the
// volume recorded (a record kept from before identities were recorded counts when ntfs-3g proves
// it).
std::map<std::string, ManagedMount> drivelarksMounts(const DiskFacts& facts);

}  // namespace drivelark
