#pragma once

// A volume mounted under /Volumes, as the menu shows it.

#include <string>

namespace drivelark {

struct VolumeInfo {
    enum class Kind {
        ntfsReadOnly,   // the system's own read-only NTFS mount
        ntfsReadWrite,  // mounted read-write through the user-space driver
        other,
    };

    std::string deviceID;  // without "/dev/"; empty when unknown
    std::string mountPoint;
    std::string name;
    Kind kind = Kind::other;

    bool isNTFS() const { return kind != Kind::other; }
};

}  // namespace drivelark
