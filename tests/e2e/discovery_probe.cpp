// Prints, as one JSON object, what Drivelark's discovery code reads from the machine:
// {"partitions": [...], "mounts": {...}, "devices": {...}, "volumes": [...]}

#include <cstdio>
#include <string>

#include "discovery/disk_topology.h"
#include "discovery/volume_scanner.h"
#include "platform/native_platform.h"

namespace {

std::string json(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

const char* kindName(drivelark::VolumeInfo::Kind kind) {
    switch (kind) {
        case drivelark::VolumeInfo::Kind::ntfsReadOnly: return "ntfsReadOnly";
        case drivelark::VolumeInfo::Kind::ntfsReadWrite: return "ntfsReadWrite";
        case drivelark::VolumeInfo::Kind::other: break;
    }
    return "other";
}

}  // namespace

int main() {
    using namespace drivelark;
    std::unique_ptr<NativePlatform> native = makeNativePlatform();
    installPlatform(&native->services());

    std::string out = "{\"partitions\":[";
    const char* separator = "";
    for (const NTFSPartition& partition : DiskTopology::ntfsPartitions()) {
        out += separator;
        out += "{\"deviceID\":" + json(partition.deviceID) + ",\"volumeName\":" + json(partition.volumeName) +
               ",\"uuid\":" + json(partition.uuid) + "}";
        separator = ",";
    }
    out += "],\"mounts\":{";
    separator = "";
    std::string devices;
    MountTable mounts = DiskTopology::currentMounts();
    for (const auto& [mountPoint, entry] : mounts) {
        out += separator;
        out += json(mountPoint) + ":{\"type\":" + json(entry.type) +
               ",\"readOnly\":" + (entry.readOnly ? "true" : "false") + "}";
        if (mountPoint.rfind("/Volumes/", 0) == 0) {
            devices += (devices.empty() ? "" : ",") + json(mountPoint) + ":" + json(DiskTopology::deviceOfMount(mountPoint));
        }
        separator = ",";
    }
    out += "},\"devices\":{" + devices + "},\"volumes\":[";
    separator = "";
    for (const VolumeInfo& volume : VolumeScanner::scan()) {
        out += separator;
        out += "{\"deviceID\":" + json(volume.deviceID) + ",\"mountPoint\":" + json(volume.mountPoint) +
               ",\"name\":" + json(volume.name) + ",\"kind\":" + json(kindName(volume.kind)) + "}";
        separator = ",";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}
