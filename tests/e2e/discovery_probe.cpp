// Prints, as one JSON object, what Drivelark's discovery code reads from the machine:
// {"partitions": [...], "mounts": {...}, "devices": {...}, "volumes": [...]}

#include <cstdio>
#include <string>

#include "discovery/disk_topology.h"
#include "discovery/partition_inventory.h"
#include "discovery/volume_scanner.h"
#include "platform/native_platform.h"
#include "json_text.h"

namespace {

using drivelark::testing::jsonText;

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
    PartitionInventory inventory;
    for (const NTFSPartition& partition : inventory.ntfsPartitions().value_or(std::vector<NTFSPartition>{})) {
        out += separator;
        out += "{\"deviceID\":" + jsonText(partition.deviceID) + ",\"volumeName\":" + jsonText(partition.volumeName) +
               ",\"uuid\":" + jsonText(partition.uuid) + "}";
        separator = ",";
    }
    out += "],\"mounts\":{";
    separator = "";
    std::string devices;
    MountTable mounts = DiskTopology::currentMounts().value_or(MountTable{});
    for (const auto& [mountPoint, entry] : mounts) {
        out += separator;
        out += jsonText(mountPoint) + ":{\"type\":" + jsonText(entry.type) +
               ",\"readOnly\":" + (entry.readOnly ? "true" : "false") + "}";
        if (mountPoint.rfind("/Volumes/", 0) == 0) {
            devices += (devices.empty() ? "" : ",") + jsonText(mountPoint) + ":" + jsonText(entry.source);
        }
        separator = ",";
    }
    out += "},\"devices\":{" + devices + "},\"volumes\":[";
    separator = "";
    for (const VolumeInfo& volume : VolumeScanner::scan()) {
        out += separator;
        out += "{\"deviceID\":" + jsonText(volume.deviceID) + ",\"mountPoint\":" + jsonText(volume.mountPoint) +
               ",\"name\":" + jsonText(volume.name) + ",\"kind\":" + jsonText(kindName(volume.kind)) + "}";
        separator = ",";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}
