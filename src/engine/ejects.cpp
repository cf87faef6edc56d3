// What the user asked for: volumes ejected by hand stay unmounted, and a reset of every retry.

#include "discovery/managed_volumes.h"
#include "engine/auto_mount_engine.h"
#include "foundation/app_log.h"
#include "platform/platform.h"

namespace drivelark {

void AutoMountEngine::noteUnmountFromOutside(const std::string& mountPoint) {
    double elapsed = platform().clock.now().secondsSince(mounts_->lastInternalUnmount());
    std::optional<ManagedMount> recorded = ManagedVolumes::at(mountPoint);
    if (elapsed <= kInternalUnmountWindow || !recorded) return;
    // The volume recorded there, if it is still listed: its device name may belong to another disk
    // by now. Ejected from the menu already, it is marked, and its notice may come before the
    // eject's own completion.
    auto record = std::find_if(records_.begin(), records_.end(), [&](const auto& entry) {
        const NTFSPartition& partition = entry.second.partition;
        return partition.deviceID == recorded->deviceID &&
               (recorded->identity.empty() || partition.identity == recorded->identity);
    });
    if (record == records_.end() || record->second.ejected) return;
    record->second.ejected = true;
    AppLog::line("检测到外部卸载（用户推出）: " + mountPoint + "，本次不再自动重挂");
}

void AutoMountEngine::noteVolumeEjected(const VolumeInfo& volume) {
    if (auto record = recordOf(records_, volume); record != records_.end()) record->second.ejected = true;
}

void AutoMountEngine::forgetVolumeEjected(const VolumeInfo& volume) {
    if (auto record = recordOf(records_, volume); record != records_.end()) record->second.ejected = false;
}

void AutoMountEngine::resetAndReconcile() {
    platform().dispatcher.runOnMain([weak = weak_from_this()] {
        auto engine = weak.lock();
        if (!engine) return;
        for (auto& [key, record] : engine->records_) {
            record.attempt = PartState{};
            record.drops.clear();
            record.lastRecovery = Date::distantPast();
            record.keptReadOnly = false;
        }
        // Attempts that never completed hold their devices no longer.
        engine->attemptDevices_.clear();
        engine->reconcile();
    });
}

bool autoMountEnabled() {
    std::optional<PlistValue> stored = platform().defaults.value("autoMount");
    const bool* flag = stored ? stored->boolean() : nullptr;
    return flag == nullptr || *flag;
}

void setAutoMountEnabled(bool enabled) { platform().defaults.setValue("autoMount", PlistValue(enabled)); }

}  // namespace drivelark
