// Writing back Drivelark's read-write volumes before the system sleeps, and keeping their disks
// awake while it does not.

#include "discovery/disk_topology.h"
#include "discovery/volume_scanner.h"
#include "foundation/command_runner.h"
#include "mount/mount_manager.h"
#include "mount/system_tools.h"
#include "platform/platform.h"

namespace drivelark::MountManager {

void keepDeviceAwake(const std::string& deviceID) { runCommand(kSudoPath, {"-n", helperPath, "keepalive", deviceID}); }

void flushBeforeSleep(std::function<void(std::size_t volumes)> completion) {
    std::optional<MountTable> mounts = DiskTopology::currentMounts();
    std::vector<std::pair<std::string, std::string>> volumes;  // mount point, device
    for (const auto& [mountPoint, device] : VolumeScanner::managedDevs()) {
        if (!mounts) break;
        auto mount = mounts->find(mountPoint);
        if (mount != mounts->end() && !mount->second.readOnly) volumes.emplace_back(mountPoint, device);
    }
    platform().dispatcher.runInBackground(QualityOfService::userInitiated, [volumes, completion = std::move(completion)] {
        // First what the file systems hold for the driver, then what the driver and the disk hold.
        for (const auto& [mountPoint, device] : volumes) platform().files.syncFileSystem(mountPoint);
        if (helperUsable()) {
            for (const auto& [mountPoint, device] : volumes) runViaHelper({"flush", device});
        }
        platform().dispatcher.runOnMain([completion, count = volumes.size()] { completion(count); });
    });
}

}  // namespace drivelark::MountManager
