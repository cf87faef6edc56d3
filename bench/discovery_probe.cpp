// One discovery as the application makes it for a pass and a menu: the NTFS partitions, the mount
// table and the menu's volumes, with the real programs. Prints {"partitions":["disk4s1",...]}
// for bench/measure_mount_operations.py, which counts the programs it ran.

#include <cstdio>
#include <string>

#include "discovery/disk_topology.h"
#include "discovery/partition_inventory.h"
#include "discovery/volume_scanner.h"
#include "platform/native_platform.h"

int main() {
    using namespace drivelark;
    std::unique_ptr<NativePlatform> native = makeNativePlatform();
    installPlatform(&native->services());

    PartitionInventory inventory;
    std::string devices;
    for (const NTFSPartition& partition : inventory.ntfsPartitions().value_or(std::vector<NTFSPartition>{}))
        devices += (devices.empty() ? "\"" : ",\"") + partition.deviceID + "\"";  // disk names need no escaping
    DiskTopology::currentMounts();
    VolumeScanner::scan();
    std::printf("{\"partitions\":[%s]}\n", devices.c_str());
    return 0;
}
