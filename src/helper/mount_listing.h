#pragma once

// The mount program's listing as the tool reads it: every line on its own, since a mount point or
// a source can hold a line break and forge a line of its own, and the same mount point listed
// twice is then no longer one mount. On macOS the mount program asks the kernel's list without
// waiting for any file system, so reading it never blocks on a mount that stopped answering.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/mount_table.h"

namespace drivelark::helper {

struct ListedMount {
    std::string mountPoint;
    MountEntry entry;

    bool operator==(const ListedMount&) const = default;
};

// The mounts of a listing, in its order. None when it lacks the root file system "/", which every
// real listing has.
std::optional<std::vector<ListedMount>> parseMountListing(std::string_view listing);

std::vector<ListedMount> mountsAt(const std::vector<ListedMount>& mounts, std::string_view mountPoint);
// The mounts whose source is /dev/<device>.
std::vector<ListedMount> mountsOfDevice(const std::vector<ListedMount>& mounts, std::string_view device);

// The system's own read-only NTFS mount, as opposed to ntfs-3g's, another driver's or a share.
bool isSystemNtfsMount(const MountEntry& entry);
// FUSE-T's form, which every ntfs-3g mount has on macOS: "fuse-t:/NAME", type "nfs".
bool isFuseTMount(const MountEntry& entry);

}  // namespace drivelark::helper
