#pragma once

// A volume mounted under /Volumes, as the menu shows it.

#include <string>

#include "discovery/disk_facts.h"

namespace drivelark {

struct VolumeInfo {
    enum class Kind {
        ntfsReadOnly,   // the system's own read-only NTFS mount
        ntfsReadWrite,  // mounted read-write through the user-space driver, by Drivelark
        other,
    };

    std::string deviceID;  // without "/dev/"; empty when unknown
    std::string mountPoint;
    std::string name;
    Kind kind = Kind::other;
    std::string identity;  // of the volume on the device when it was seen: volume_identity.h
    VolumeCheck check;     // how a read-write volume answered

    bool isNTFS() const { return kind != Kind::other; }
    // The partition behind the volume, as far as the volume tells it (not its UUID): what the
    // user's conversions act on.
    NTFSPartition partition() const { return NTFSPartition{deviceID, name, "", identity}; }
};

}  // namespace drivelark
