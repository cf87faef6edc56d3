#pragma once

// Reading the mount program's listing ("mount" without arguments), one line per mount:
//   /dev/disk4s1 on /Volumes/DATA (ntfs, local, nodev, nosuid, read-only, noowners)

#include <map>
#include <string>
#include <string_view>

namespace drivelark {

struct MountEntry {
    std::string type;  // the first option, such as "ntfs", "nfs" or "apfs"
    bool readOnly = false;
    std::string source;  // what is mounted: "/dev/disk4s1", "fuse-t:/DATA", "map auto_home"

    bool operator==(const MountEntry&) const = default;
};

// Mount point, exactly as printed, to its entry.
using MountTable = std::map<std::string, MountEntry>;

// Every line that parses gives one entry; a later line for the same mount point wins.
MountTable parseMountTable(std::string_view listing);

}  // namespace drivelark
