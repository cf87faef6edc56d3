#include "discovery/ntfs_partition.h"

namespace drivelark {

std::string NTFSPartition::key() const { return uuid.empty() ? "dev:" + deviceID : "uuid:" + uuid; }

std::string NTFSPartition::mountableName(std::string_view name) {
    std::string safe = name.empty() ? std::string("Untitled") : std::string(name);
    for (char& c : safe) {
        if (c == ',' || c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    }
    if (safe == "." || safe == "..") safe.assign(safe.size(), '_');
    if (safe.front() == '-') safe.front() = '_';
    return safe;
}

}  // namespace drivelark
