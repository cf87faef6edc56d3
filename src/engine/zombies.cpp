// Zombie mounts: Drivelark's read-write mounts whose disk has gone, or that no longer answer.

#include "discovery/volume_scanner.h"
#include "engine/auto_mount_engine.h"
#include "foundation/app_log.h"
#include "foundation/text.h"
#include "mount/mount_manager.h"
#include "platform/platform.h"

namespace drivelark {

void AutoMountEngine::cleanupZombies(const std::vector<NTFSPartition>& presentParts, const MountTable& mounts) {
    std::set<std::string> presentDevices;
    for (const NTFSPartition& partition : presentParts) presentDevices.insert(partition.deviceID);
    for (const auto& [mountPoint, device] : VolumeScanner::managedDevs()) {
        auto mount = mounts.find(mountPoint);
        if (mount == mounts.end()) {
            // Neither mounted nor there any more: nothing left to clean up. With its disk still
            // attached, someone unmounted it, and the notice of that may not have come yet.
            if (platform().files.lstat(mountPoint)) continue;
            if (presentDevices.contains(device)) noteUnmountFromOutside(mountPoint);
            VolumeScanner::unmarkManaged(mountPoint);
        } else if (mount->second.type == "nfs") {
            if (presentDevices.contains(device))
                probeZombieMount(mountPoint, device);
            else
                purgeZombieMount(mountPoint, device, "设备 " + device + " 已不在");
        }
    }
}

void AutoMountEngine::probeZombieMount(const std::string& mountPoint, const std::string& deviceID) {
    if (!probingZombies.insert(mountPoint).second) return;
    std::weak_ptr<AutoMountEngine> weak = weak_from_this();
    platform().dispatcher.runInBackground(QualityOfService::utility, [weak, mountPoint, deviceID] {
        std::optional<VolumeStatus> status = platform().files.statvfs(mountPoint);
        bool healthy = status && status->totalBlocks != 0;
        platform().dispatcher.runOnMain([weak, mountPoint, deviceID, healthy] {
            auto engine = weak.lock();
            if (!engine) return;
            engine->probingZombies.erase(mountPoint);
            if (!healthy) engine->purgeZombieMount(mountPoint, deviceID, "挂载不可访问");
        });
    });
}

void AutoMountEngine::purgeZombieMount(const std::string& mountPoint, const std::string&, const std::string& reason) {
    if (!purgingZombies.insert(mountPoint).second) return;
    AppLog::line("清理僵尸挂载: " + mountPoint + "（" + reason + "）");
    VolumeScanner::unmarkManaged(mountPoint);
    MountManager::markInternalUnmount();
    std::weak_ptr<AutoMountEngine> weak = weak_from_this();
    platform().dispatcher.runInBackground(QualityOfService::userInitiated, [weak, mountPoint] {
        CommandResult result = MountManager::forceUnmount(mountPoint);
        platform().dispatcher.runOnMain([weak, mountPoint, result] {
            auto engine = weak.lock();
            if (!engine) return;
            engine->purgingZombies.erase(mountPoint);
            if (result.exit == 0) {
                AppLog::line("僵尸挂载已清理: " + mountPoint);
                for (auto& [key, state] : engine->states) {
                    state.lastAttempt = Date::distantPast();
                    state.failCount = 0;
                }
            } else {
                AppLog::line("僵尸清理失败 " + mountPoint + ": " + trimmed(result.out));
            }
            engine->reconcile();
        });
    });
}

}  // namespace drivelark
