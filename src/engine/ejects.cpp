// What the user asked for: volumes ejected by hand stay unmounted, and a reset of every retry.

#include "discovery/managed_volumes.h"
#include "engine/auto_mount_engine.h"
#include "foundation/app_log.h"
#include "platform/platform.h"

#include <utility>

namespace drivelark {

void AutoMountEngine::noteUnmountNotice(const std::string& mountPoint) {
    double elapsed = platform().clock.now().secondsSince(mounts_->lastInternalUnmount());
    unmountNotices_[mountPoint] = elapsed > kInternalUnmountWindow;
}

// `record`'s mount is gone while its volume is still attached: unless it was Drivelark's own
// unmount, the user ejected it. Ejected from the menu already, it is marked, and its notice may
// come before the eject's own completion.
void AutoMountEngine::noteUnmountFromOutside(const ManagedMount& record) {
    // Judged when the notice came; without one, now.
    auto notice = unmountNotices_.find(record.mountPoint);
    bool outside = notice != unmountNotices_.end()
                       ? notice->second
                       : platform().clock.now().secondsSince(mounts_->lastInternalUnmount()) > kInternalUnmountWindow;
    auto volume = std::find_if(records_.begin(), records_.end(), [&](const auto& entry) {
        const NTFSPartition& partition = entry.second.partition;
        return partition.deviceID == record.deviceID && (record.identity.empty() || partition.identity == record.identity);
    });
    if (!outside || volume == records_.end() || std::exchange(volume->second.ejected, true)) return;
    AppLog::line("检测到外部卸载（用户推出）: " + record.mountPoint + "，本次不再自动重挂");
}

void AutoMountEngine::noteVolumeEjected(const VolumeInfo& volume) {
    if (auto record = recordOf(records_, volume.deviceID, volume.identity); record != records_.end()) record->second.ejected = true;
}

void AutoMountEngine::forgetVolumeEjected(const VolumeInfo& volume) {
    if (auto record = recordOf(records_, volume.deviceID, volume.identity); record != records_.end()) record->second.ejected = false;
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

void setAutoMountEnabled(bool enabled) {
    if (Status saved = platform().defaults.setValue("autoMount", PlistValue(enabled)); !saved.ok())
        AppLog::line("设置未能保存 autoMount: " + saved.toString());
}

}  // namespace drivelark
