// The life of one automatic attempt: remount, and on a fast-started volume one repair and one more
// remount; then its outcome recorded for the retry policy.

#include "discovery/managed_volumes.h"
#include "engine/auto_mount_engine.h"
#include "foundation/app_log.h"
#include "foundation/text.h"

#include <utility>

namespace drivelark {

bool AutoMountEngine::canAttempt(const std::string& key) const {
    auto record = records_.find(key);
    return RetryPolicy::canAttempt(record == records_.end() ? nullptr : &record->second.attempt, platform_.clock.now());
}

void AutoMountEngine::startAttempt(const std::string& key, const std::string& reason, const std::function<void()>& work) {
    if (auto record = records_.find(key); record != records_.end()) {
        record->second.attempt.inFlight = true;
        record->second.attempt.lastAttempt = platform_.clock.now();
    }
    log_.line(reason + "，自动处理");
    work();
}

void AutoMountEngine::fixToReadWrite(const NTFSPartition& partition) {
    auto record = records_.find(partition.key());
    std::optional<std::string> lastPlace = record != records_.end() ? record->second.mountPoint : std::nullopt;
    mounts_->remountReadWrite(
        partition,
        [weak = weak_from_this(), partition](bool ok, const std::string& out) {
            if (auto engine = weak.lock()) engine->remountFinished(partition, ok, out, false);
        },
        lastPlace);
}

void AutoMountEngine::remountFinished(const NTFSPartition& partition, bool ok, const std::string& out, bool repaired) {
    const std::string key = partition.key();
    if (ok) {
        std::optional<std::string> mountPoint;
        for (const ManagedMount& mount : registry_.all()) {
            if (mount.deviceID == partition.deviceID && mount.identity == partition.identity) mountPoint = mount.mountPoint;
        }
        return attemptFinished(key, true, mountPoint);
    }
    if (MountManager::isVolumeChanged(out)) return volumeWentAway(partition);
    if (MountManager::isHibernated(out)) {
        keepReadOnly(partition.deviceID, partition.identity);
        return attemptFinished(key, false, std::nullopt);
    }
    // Repaired once already and still refused: a plain failure, and no churn of the user's mount.
    if (MountManager::isUnsafeStateError(out) && !repaired) {
        log_.line("不安全状态，自动清理脏标记后重试");
        mounts_->fixUnsafeState(partition, [weak = weak_from_this(), partition](bool fixed, const std::string& fixOut) {
            if (auto engine = weak.lock()) engine->repairFinished(partition, fixed, fixOut);
        });
        return;
    }
    if (!repaired && MountManager::isWriteDeniedError(out)) log_.line("写权限被系统拦截，需用户授予完全磁盘访问权限");
    attemptFinished(key, false, std::nullopt);
}

void AutoMountEngine::repairFinished(const NTFSPartition& partition, bool ok, const std::string& out) {
    if (MountManager::isVolumeChanged(out)) return volumeWentAway(partition);
    if (!ok) {
        if (MountManager::isHibernated(out)) keepReadOnly(partition.deviceID, partition.identity);
        return attemptFinished(partition.key(), false, std::nullopt);
    }
    mounts_->remountReadWrite(partition, [weak = weak_from_this(), partition](bool ok, const std::string& out) {
        if (auto engine = weak.lock()) engine->remountFinished(partition, ok, out, true);
    });
}

// The device no longer holds the volume the attempt was for: another disk took its device name, and
// nothing was done. A pass at once sees the new disk as new and forgets the old one; should the
// listing still show the old one, the failure's back-off keeps it from being tried again and again.
void AutoMountEngine::volumeWentAway(const NTFSPartition& partition) {
    attemptFinished(partition.key(), false, std::nullopt);
    reconcile();
}

void AutoMountEngine::keepReadOnly(const std::string& deviceID, const std::string& identity) {
    auto record = recordOf(records_, deviceID, identity);
    if (record == records_.end() || std::exchange(record->second.keptReadOnly, true)) return;
    const NTFSPartition& partition = record->second.partition;
    log_.line("「" + partition.volumeName + "」(" + deviceID +
                 ")上的 Windows 处于休眠状态，写入会让 Windows 恢复时丢失数据，保持只读，不再自动重试；"
                 "请在 Windows 中完全关机后重新插入");
}

bool AutoMountEngine::isKeptReadOnly(const VolumeInfo& volume) const {
    auto record = recordOf(records_, volume.deviceID, volume.identity);
    return record != records_.end() && record->second.keptReadOnly;
}

void AutoMountEngine::forgetKeptReadOnly(const VolumeInfo& volume) {
    if (auto record = recordOf(records_, volume.deviceID, volume.identity); record != records_.end()) record->second.keptReadOnly = false;
}

void AutoMountEngine::attemptFinished(const std::string& key, bool ok, const std::optional<std::string>& mountPoint) {
    std::erase_if(attemptDevices_, [&](const auto& attempt) { return attempt.second == key; });
    auto record = records_.find(key);
    if (record != records_.end()) {
        PartState& state = record->second.attempt;
        state.inFlight = false;
        if (ok) {
            state.failCount = 0;
            if (mountPoint) record->second.mountPoint = mountPoint;
        } else {
            ++state.failCount;
        }
    }
    if (ok && everManaged_.insert(key).second && mountPoint) {
        platform_.dispatcher.runOnMainAfter(kFinderDelay, [weak = weak_from_this(), path = *mountPoint] {
            if (auto engine = weak.lock()) engine->openVolumeInFinder(path);
        });
    }
    // What it changed is read at once, and the icon shows it then.
    platform_.dispatcher.runOnMain([weak = weak_from_this()] {
        if (auto engine = weak.lock()) engine->reconcile();
    });
}

// Nothing is asked of the volume itself: one that stopped answering would hold the main thread.
void AutoMountEngine::openVolumeInFinder(const std::string& mountPoint) {
    if (!registry_.at(mountPoint)) {
        log_.line("自动打开访达跳过：" + mountPoint + " 暂不可达");
        return;
    }
    if (platform_.workspace.openFolder(mountPoint).ok())
        log_.line("已自动在访达中打开 " + mountPoint);
    else
        log_.line("无法在访达中打开 " + mountPoint);
}

}  // namespace drivelark
