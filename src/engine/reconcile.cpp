// The reconcile pass of the auto-mount engine.

#include "discovery/disk_topology.h"
#include "discovery/volume_scanner.h"
#include "engine/auto_mount_engine.h"
#include "foundation/app_log.h"
#include "platform/platform.h"

namespace drivelark {

namespace {

bool isDriverType(const std::string& type) { return type == "nfs" || type == "fusefs_ntfs" || type == "ntfs-3g"; }

// The device of a mount that the mount table names by its device node ("/dev/disk4s1").
std::string deviceOfSource(const std::string& source) {
    constexpr std::string_view kDev = "/dev/";
    return source.starts_with(kDev) ? source.substr(kDev.size()) : std::string();
}

std::set<std::string> difference(const std::set<std::string>& from, const std::set<std::string>& without) {
    std::set<std::string> rest;
    for (const std::string& item : from) {
        if (!without.contains(item)) rest.insert(item);
    }
    return rest;
}

}  // namespace

void AutoMountEngine::reconcile() {
    std::optional<std::vector<NTFSPartition>> listed = inventory_.ntfsPartitions();
    std::optional<MountTable> mounts = listed ? DiskTopology::currentMounts() : std::nullopt;
    if (!listed || !mounts) {
        // A missing answer is not an empty one: nothing is forgotten, purged or attempted.
        if (!unreadableNoted_) AppLog::line("读不到磁盘列表或挂载表，暂停自动处理，下一轮再试");
        unreadableNoted_ = true;
        return;
    }
    if (unreadableNoted_) AppLog::line("磁盘列表与挂载表已恢复读取");
    unreadableNoted_ = false;
    const std::vector<NTFSPartition>& partitions = *listed;

    std::set<std::string> currentKeys;
    std::map<std::string, std::string> currentDevices;
    for (const NTFSPartition& partition : partitions) {
        currentKeys.insert(partition.key());
        currentDevices[partition.key()] = partition.deviceID;
    }
    forgetRemovedPartitions(currentKeys);
    std::set<std::string> returningKeys;
    for (const std::string& key : difference(currentKeys, presentLastRound)) {
        if (seenKeys.contains(key)) returningKeys.insert(key);
    }
    const bool firstPass = presentLastRound.empty() && !partitions.empty();

    cleanupZombies(partitions, *mounts);

    DeviceMap readOnly, readWrite;
    const TextMap managed = VolumeScanner::managedDevs();
    for (const auto& [mountPoint, entry] : *mounts) {
        if (entry.type == "ntfs" && entry.readOnly) {
            if (std::string device = deviceOfSource(entry.source); !device.empty()) readOnly[device] = mountPoint;
        } else if (!entry.readOnly && isDriverType(entry.type)) {
            if (auto found = managed.find(mountPoint); found != managed.end() && !found->second.empty())
                readWrite[found->second] = mountPoint;
        }
    }

    const bool autoMount = autoMountEnabled();
    for (const NTFSPartition& partition : partitions)
        considerPartition(partition, *mounts, readOnly, readWrite, returningKeys, firstPass, autoMount);
    presentLastRound = std::move(currentKeys);
    devicesLastRound = std::move(currentDevices);
}

void AutoMountEngine::forgetRemovedPartitions(const std::set<std::string>& currentKeys) {
    for (const std::string& key : difference(presentLastRound, currentKeys)) {
        userEjected.erase(key);
        // The system gives its device name to whatever disk comes next: a mark on it would hold
        // against another disk, and against this one however it was ejected before it was unplugged.
        userEjected.erase("dev:" + devicesLastRound[key]);
        std::erase_if(userEjected, [](const std::string& mark) { return mark.starts_with("mp:"); });
        states.erase(key);
        dropTimes.erase(key);
        lastRecovery.erase(key);
        keptReadOnly.erase(key);  // plugged in again, it is tried again
        AppLog::line("分区移除: " + key);
    }
}

void AutoMountEngine::considerPartition(const NTFSPartition& partition, const MountTable& mounts,
                                        DeviceMap& readOnly, DeviceMap& readWrite,
                                        const std::set<std::string>& returningKeys, bool firstPass,
                                        bool autoMount) {
    const std::string& device = partition.deviceID;
    const std::string key = partition.key();
    const bool seenBefore = !seenKeys.insert(key).second;

    // Adoption of a read-write mount made outside the registry, at the listed name, unless the
    // registry gives that place to another disk (names clash) or the mount is being purged.
    if (!readWrite.contains(device) && !partition.volumeName.empty()) {
        std::string mountPoint = "/Volumes/" + partition.volumeName;
        auto mount = mounts.find(mountPoint);
        TextMap managed = VolumeScanner::managedDevs();
        auto owner = managed.find(mountPoint);
        if (mount != mounts.end() && !mount->second.readOnly && mount->second.type == "nfs" &&
            (owner == managed.end() || owner->second == device) && !purgingZombies.contains(mountPoint)) {
            readWrite[device] = mountPoint;
            VolumeScanner::markManaged(mountPoint, partition.volumeName, device);
        }
    }
    if (auto mounted = readWrite.find(device); mounted != readWrite.end()) {
        states[key].failCount = 0;
        recordedMountPoints[key] = mounted->second;
        return;
    }
    // The system mounted this device as something else: the remount would take that mount away.
    for (const auto& [mountPoint, entry] : mounts) {
        if (entry.source == "/dev/" + device && entry.type != "ntfs") return;
    }
    if (!autoMount) return;

    if (readOnly.contains(device)) {
        if (!isEjected(partition)) attemptIfAllowed(partition, "检测到只读抢占");
        return;
    }
    if (isEjected(partition)) {
        everManaged.erase(key);
        return;
    }
    if (returningKeys.contains(key) || !seenBefore || firstPass) {
        const char* suffix = returningKeys.contains(key) ? "重新插入" : firstPass ? "启动时已连接" : "新插入";
        attemptIfAllowed(partition, std::string("检测到") + suffix);
        return;
    }
    if (!everManaged.contains(key)) return;
    // A purge of the lost mount forgets when the last attempt started; the last recovery it
    // remembers, so that a mount that keeps getting lost is still slowed.
    auto state = states.find(key);
    Date lastAttempt = std::max(state == states.end() ? Date::distantPast() : state->second.lastAttempt,
                                lastRecovery[key]);
    Date now = platform().clock.now();
    if (RetryPolicy::allowRecovery(dropTimes[key], lastAttempt, now) && canAttempt(key)) {
        lastRecovery[key] = now;
        attemptIfAllowed(partition, "检测到挂载意外丢失，自动恢复");
    }
}

bool AutoMountEngine::isEjected(const NTFSPartition& partition) const {
    auto recorded = recordedMountPoints.find(partition.key());
    std::string mountPoint =
        recorded != recordedMountPoints.end() ? recorded->second : "/Volumes/" + partition.safeVolname();
    return userEjected.contains(partition.key()) || userEjected.contains("dev:" + partition.deviceID) ||
           userEjected.contains("mp:" + mountPoint);
}

void AutoMountEngine::attemptIfAllowed(const NTFSPartition& partition, const std::string& reason) {
    const std::string key = partition.key();
    if (keptReadOnly.contains(key) || !canAttempt(key)) return;
    // One attempt per device at a time, whichever disk it was for: the next pass tries again.
    for (const auto& [otherKey, device] : attemptDevices) {
        if (device == partition.deviceID) return;
    }
    attemptDevices[key] = partition.deviceID;
    std::weak_ptr<AutoMountEngine> weak = weak_from_this();
    startAttempt(key, reason, [weak, partition] {
        if (auto engine = weak.lock()) engine->fixToReadWrite(partition);
    });
}

}  // namespace drivelark
