// The life of one automatic attempt: remount, and on an unsafe state one repair and one more
// remount; then its outcome recorded for the retry policy.

#include "discovery/volume_scanner.h"
#include "engine/auto_mount_engine.h"
#include "foundation/app_log.h"
#include "mount/mount_manager.h"
#include "platform/platform.h"

namespace drivelark {

namespace {

// Where the registry says the device is mounted read-write.
std::optional<std::string> registeredMountPoint(const std::string& deviceID) {
    for (const auto& [mountPoint, device] : VolumeScanner::managedDevs()) {
        if (device == deviceID) return mountPoint;
    }
    return std::nullopt;
}

}  // namespace

double AutoMountEngine::backoff(const std::string& key) const {
    auto state = states.find(key);
    return RetryPolicy::backoff(state == states.end() ? 0 : state->second.failCount);
}

bool AutoMountEngine::canAttempt(const std::string& key) const {
    auto state = states.find(key);
    return RetryPolicy::canAttempt(state == states.end() ? nullptr : &state->second, platform().clock.now());
}

void AutoMountEngine::startAttempt(const std::string& key, const std::string& reason,
                                   const std::function<void()>& work) {
    PartState& state = states[key];
    state.inFlight = true;
    state.lastAttempt = platform().clock.now();
    AppLog::line(reason + "，自动处理");
    work();
}

void AutoMountEngine::fixToReadWrite(const NTFSPartition& partition) {
    std::weak_ptr<AutoMountEngine> weak = weak_from_this();
    MountManager::remountReadWrite(partition.deviceID, partition.volumeName,
                                   [weak, partition](bool ok, const std::string& out) {
                                       if (auto engine = weak.lock()) engine->remountFinished(partition, ok, out, false);
                                   });
}

void AutoMountEngine::remountFinished(const NTFSPartition& partition, bool ok, const std::string& out,
                                      bool repaired) {
    const std::string key = partition.key();
    if (ok) return attemptFinished(key, true, registeredMountPoint(partition.deviceID));
    if (MountManager::isUnsafeStateError(out)) {
        // Repaired once already and still unsafe: no churn of the user's read-only mount.
        if (repaired) {
            keepReadOnly(partition);
            return attemptFinished(key, false, std::nullopt);
        }
        AppLog::line("不安全状态，自动清理脏标记后重试");
        std::weak_ptr<AutoMountEngine> weak = weak_from_this();
        MountManager::fixUnsafeState(partition.deviceID, [weak, partition](bool fixed, const std::string&) {
            auto engine = weak.lock();
            if (!engine) return;
            if (!fixed) {
                engine->keepReadOnly(partition);
                return engine->attemptFinished(partition.key(), false, std::nullopt);
            }
            MountManager::remountReadWrite(partition.deviceID, partition.volumeName,
                                           [weak, partition](bool ok, const std::string& out) {
                                               if (auto engine = weak.lock())
                                                   engine->remountFinished(partition, ok, out, true);
                                           });
        });
        return;
    }
    if (!repaired && MountManager::isWriteDeniedError(out)) AppLog::line("写权限被系统拦截，需用户授予完全磁盘访问权限");
    attemptFinished(key, false, std::nullopt);
}

void AutoMountEngine::keepReadOnly(const NTFSPartition& partition) {
    if (!keptReadOnly.emplace(partition.key(), partition.deviceID).second) return;
    AppLog::line("「" + partition.volumeName + "」无法转为读写（Windows 休眠或未完全关机），保持只读，不再自动重试；"
                 "请在 Windows 中完全关机后重新插入");
}

bool AutoMountEngine::isKeptReadOnly(const std::string& deviceID) const {
    for (const auto& [key, device] : keptReadOnly) {
        if (device == deviceID) return true;
    }
    return false;
}

void AutoMountEngine::forgetKeptReadOnly(const std::string& deviceID) {
    std::erase_if(keptReadOnly, [&](const auto& entry) { return entry.second == deviceID; });
}

void AutoMountEngine::attemptFinished(const std::string& key, bool ok, const std::optional<std::string>& mountPoint) {
    attemptDevices.erase(key);
    PartState& state = states[key];
    state.inFlight = false;
    if (ok) {
        const bool firstSuccess = everManaged.insert(key).second;
        state.failCount = 0;
        if (mountPoint) recordedMountPoints[key] = *mountPoint;
        if (firstSuccess && mountPoint) {
            std::weak_ptr<AutoMountEngine> weak = weak_from_this();
            platform().dispatcher.runOnMainAfter(kFinderDelay, [weak, path = *mountPoint] {
                if (auto engine = weak.lock()) engine->openVolumeInFinder(path);
            });
        }
    } else {
        ++state.failCount;
    }
    platform().dispatcher.runOnMain([self = shared_from_this()] {
        if (auto delegate = self->uiDelegate.lock()) delegate->refreshIcon();
    });
}

void AutoMountEngine::openVolumeInFinder(const std::string& mountPoint) {
    Files& files = platform().files;
    bool reachable = files.lstat(mountPoint) &&
                     (VolumeScanner::managedDevs().contains(mountPoint) || files.isReadable(mountPoint));
    if (!reachable) {
        AppLog::line("自动打开访达跳过：" + mountPoint + " 暂不可达");
        return;
    }
    platform().workspace.openFolder(mountPoint);
    AppLog::line("已自动在访达中打开 " + mountPoint);
}

}  // namespace drivelark
