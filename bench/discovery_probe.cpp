// One discovery as the application makes it for a pass: the NTFS partitions and the mount table,
// with the real programs. Prints {"partitions":["disk4s1",...]} for
// bench/measure_mount_operations.py, which counts the programs it ran.

#include <cstdio>
#include <string>

#include "discovery/disk_topology.h"
#include "discovery/partition_inventory.h"
#include "platform/native_platform.h"

int main() {
    using namespace drivelark;
    std::unique_ptr<NativePlatform> native = makeNativePlatform();
    Processes& programs = native->services().processes;

    std::string devices;
    std::optional<Inventory> inventory = takeInventory(programs, {});
    for (const NTFSPartition& partition : inventory ? inventory->partitions : std::vector<NTFSPartition>{})
        devices += (devices.empty() ? "\"" : ",\"") + partition.deviceID + "\"";  // disk names need no escaping
    DiskTopology::currentMounts(programs);
    std::printf("{\"partitions\":[%s]}\n", devices.c_str());
    return 0;
}
