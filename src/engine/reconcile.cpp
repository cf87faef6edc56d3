// The reconcile pass of the auto-mount engine: what to do with each partition, decided on the
// facts of one reading.

#include "discovery/managed_volumes.h"
#include "discovery/ownership.h"
#include "engine/auto_mount_engine.h"
#include "foundation/app_log.h"
#include "foundation/text.h"

namespace drivelark {

AutoMountEngine::AutoMountEngine(Platform& platform, AppLog& log, std::shared_ptr<MountManager> mounts,
                                 std::shared_ptr<DiskWatcher> watcher)
    : platform_(platform),
      log_(log),
      registry_(platform.defaults, log),
      mounts_(std::move(mounts)),
      watcher_(std::move(watcher)) {}

std::shared_ptr<AutoMountEngine> AutoMountEngine::make(Platform& platform, AppLog& log,
                                                       std::shared_ptr<MountManager> mounts) {
    auto watcher = std::make_shared<DiskWatcher>(platform, log, [weak = std::weak_ptr<MountManager>(mounts)]() -> std::uint64_t {
        auto mounts = weak.lock();
        return mounts ? mounts->changes() : 0;
    });
    auto engine = std::make_shared<AutoMountEngine>(platform, log, std::move(mounts), watcher);
    watcher->setListener([weak = std::weak_ptr<AutoMountEngine>(engine)](const DiskFacts& facts) {
        if (auto self = weak.lock()) self->decide(facts);
    });
    return engine;
}

bool AutoMountEngine::autoMountEnabled() const {
    std::optional<PlistValue> stored = platform_.defaults.value("autoMount");
    const bool* flag = stored ? stored->boolean() : nullptr;
    return flag == nullptr || *flag;
}

void AutoMountEngine::setAutoMountEnabled(bool enabled) {
    if (Status saved = platform_.defaults.setValue("autoMount", PlistValue(enabled)); !saved.ok())
        log_.line("设置未能保存 autoMount: " + saved.toString());
}

void AutoMountEngine::reconcile() { watcher_->refresh(); }

void AutoMountEngine::decide(const DiskFacts& facts) {
    mounts_->factsRead(facts.changes);
    if (!facts.readable) {
        // A missing answer is not an empty one: nothing is forgotten, purged or attempted.
        if (!unreadableNoted_) log_.line("读不到磁盘列表或挂载表，暂停自动处理，下一轮再试");
        unreadableNoted_ = true;
        return;
    }
    if (unreadableNoted_) log_.line("磁盘列表与挂载表已恢复读取");
    unreadableNoted_ = false;

    const bool firstPass = records_.empty() && !facts.partitions.empty();
    forgetRemovedPartitions(facts);
    cleanupZombies(facts);

    DeviceMap readOnly, readWrite;
    for (const NTFSPartition& partition : facts.partitions) {
        if (std::optional<std::string> mountPoint = systemMountOf(facts.mounts, partition.deviceID))
            readOnly[partition.deviceID] = *mountPoint;
    }
    for (const auto& [device, record] : drivelarksMounts(facts)) {
        if (!purging_.contains(record.mountPoint)) readWrite[device] = record.mountPoint;
    }

    const bool autoMount = autoMountEnabled();
    for (const NTFSPartition& partition : facts.partitions) {
        const std::string key = partition.key();
        auto [entry, appeared] = records_.try_emplace(key);
        PartitionRecord& record = entry->second;
        record.partition = partition;
        const bool returning = appeared && seenKeys_.contains(key);
        const bool seenBefore = !seenKeys_.insert(key).second;
        considerPartition(facts, record, seenBefore, returning, firstPass, autoMount, readOnly, readWrite);
    }
    refreshIcon();
}

// A partition that left the listing is forgotten, and so is one whose device now holds another
// volume under the same key (a partition without a volume UUID is known by its device).
void AutoMountEngine::forgetRemovedPartitions(const DiskFacts& facts) {
    std::map<std::string, const NTFSPartition*> listed;
    for (const NTFSPartition& partition : facts.partitions) listed.emplace(partition.key(), &partition);
    for (auto record = records_.begin(); record != records_.end();) {
        auto now = listed.find(record->first);
        bool stays = now != listed.end() ? now->second->identity == record->second.partition.identity
                                         : facts.undecidedKeys.contains(record->first);
        if (stays) {
            ++record;
            continue;
        }
        const NTFSPartition& gone = record->second.partition;
        log_.line("分区移除: " + record->first + " " + volumeLabel(gone.volumeName, gone.deviceID));
        record = records_.erase(record);
    }
}

void AutoMountEngine::considerPartition(const DiskFacts& facts, PartitionRecord& record, bool seenBefore,
                                        bool returning, bool firstPass, bool autoMount, const DeviceMap& readOnly,
                                        DeviceMap& readWrite) {
    const NTFSPartition& partition = record.partition;
    const std::string& device = partition.deviceID;
    const std::string key = partition.key();

    if (!readWrite.contains(device) && !readOnly.contains(device)) adopt(facts, partition, readWrite);
    if (auto mounted = readWrite.find(device); mounted != readWrite.end()) {
        record.attempt.failCount = 0;
        record.mountPoint = mounted->second;
        return;
    }
    // Its own mount is being purged: it is mounted again once the purge is over.
    for (const auto& [mountPoint, purgedDevice] : purging_) {
        if (purgedDevice == device) return;
    }
    // The system mounted this device as something else: the remount would take that mount away.
    for (const auto& [mountPoint, entry] : facts.mounts) {
        if (entry.source == "/dev/" + device && entry.type != "ntfs") return;
    }
    if (!autoMount) return;

    if (readOnly.contains(device)) {
        if (!record.ejected) attemptIfAllowed(record, "检测到只读抢占");
        return;
    }
    if (record.ejected) {
        everManaged_.erase(key);
        return;
    }
    if (returning || !seenBefore || firstPass) {
        const char* suffix = returning ? "重新插入" : firstPass ? "启动时已连接" : "新插入";
        attemptIfAllowed(record, std::string("检测到") + suffix);
        return;
    }
    if (!everManaged_.contains(key)) return;
    // A purge of the lost mount forgets when the last attempt started; the last recovery is
    // remembered, so that a mount that keeps getting lost is still slowed.
    Date lastAttempt = std::max(record.attempt.lastAttempt, record.lastRecovery);
    Date now = platform_.clock.now();
    if (RetryPolicy::allowRecovery(record.drops, lastAttempt, now) &&
        attemptIfAllowed(record, "检测到挂载意外丢失，自动恢复"))
        record.lastRecovery = now;
}

// A read-write mount of the partition that the registry does not hold (after a crash, or from an
// earlier run whose registry was lost) is taken back only when a running ntfs-3g of root's proves
// that it serves this very device there.
void AutoMountEngine::adopt(const DiskFacts& facts, const NTFSPartition& partition, DeviceMap& readWrite) {
    std::set<std::string> recorded;
    for (const ManagedMount& record : facts.managed) recorded.insert(record.mountPoint);
    for (const Process& process : facts.processes) {
        std::optional<Ntfs3gStart> start = ntfs3gStartOf(process);
        if (process.owner != 0 || !start || start->device != partition.deviceID || recorded.contains(start->mountPoint) ||
            purging_.contains(start->mountPoint))
            continue;
        auto mount = facts.mounts.find(start->mountPoint);
        if (mount == facts.mounts.end() || !isUserSpaceDriverMount(mount->second)) continue;
        registry_.markManaged({start->mountPoint, partition.volumeName, partition.deviceID, partition.identity});
        readWrite[partition.deviceID] = start->mountPoint;
        return;
    }
}

bool AutoMountEngine::attemptIfAllowed(PartitionRecord& record, const std::string& reason) {
    const NTFSPartition partition = record.partition;
    const std::string key = partition.key();
    // One attempt per device at a time, whichever disk it was for: the next pass tries again.
    if (record.keptReadOnly || !canAttempt(key) || attemptDevices_.contains(partition.deviceID)) return false;
    attemptDevices_[partition.deviceID] = key;
    std::weak_ptr<AutoMountEngine> weak = weak_from_this();
    startAttempt(key, reason, [weak, partition] {
        if (auto engine = weak.lock()) engine->fixToReadWrite(partition);
    });
    return true;
}

void AutoMountEngine::refreshIcon() {
    if (auto delegate = uiDelegate.lock()) delegate->refreshIcon();
}

}  // namespace drivelark
