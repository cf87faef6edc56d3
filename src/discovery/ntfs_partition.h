#pragma once

// An NTFS partition as the disk listing shows it, mounted or not.

#include <string>
#include <string_view>

namespace drivelark {

struct NTFSPartition {
    std::string deviceID;    // BSD name without "/dev/", such as disk4s1
    std::string volumeName;  // empty when the listing has none
    std::string uuid;        // empty when the listing has none
    std::string identity;    // tells this volume from the next one given its device: volume_identity.h

    // Identifies the partition across remounts and renumbered devices: "uuid:<uuid>", or
    // "dev:<deviceID>" when there is no UUID.
    std::string key() const;
    // The name under which Drivelark mounts the partition: see mountableName.
    std::string safeVolname() const { return mountableName(volumeName); }

    // `name`, or "Untitled" when empty, with "," and "/" turned into "_", so that it fits both
    // ntfs-3g's comma-separated options and a single path component. So do a backslash, which
    // FUSE's option parser takes as an escape, and control characters, with which a name could
    // forge lines of the mount table. A name of "." or ".." becomes "_" or "__": as a path
    // component it would name /Volumes itself or the root. A leading "-" becomes "_", since the
    // helper tool takes no argument that looks like an option.
    static std::string mountableName(std::string_view name);

    bool operator==(const NTFSPartition&) const = default;
};

}  // namespace drivelark
