#pragma once

// The auto-mount engine: every few seconds a reconcile pass reads the disk listing, the mount
// table and how Drivelark's volumes answer (off the main thread), then compares them with what the
// engine remembers: it forgets partitions that left, has dead read-write mounts cleaned up, and
// starts read-write attempts under the retry policy, the user's ejects and the drop throttle. All
// of its state lives on the main thread; background work reports back on the main queue and holds
// the engine weakly.

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "discovery/disk_facts.h"
#include "discovery/disk_watcher.h"
#include "discovery/ntfs_partition.h"
#include "discovery/volume_info.h"
#include "engine/retry_policy.h"
#include "mount/mount_manager.h"

namespace drivelark {

// What the engine asks of the user interface.
class EngineDelegate {
public:
    virtual ~EngineDelegate() = default;
    virtual void refreshIcon() = 0;
};

class AutoMountEngine : public std::enable_shared_from_this<AutoMountEngine> {
public:
    static constexpr double kFinderDelay = 0.8;
    // An unmount within this many seconds of Drivelark's own last one is taken for its own.
    static constexpr double kInternalUnmountWindow = 6.0;

    // An engine that acts through `mounts` and decides on the facts of a watcher of its own.
    static std::shared_ptr<AutoMountEngine> make(Platform& platform, AppLog& log, std::shared_ptr<MountManager> mounts);
    AutoMountEngine(Platform& platform, AppLog& log, std::shared_ptr<MountManager> mounts,
                    std::shared_ptr<DiskWatcher> watcher);

    MountManager& mounts() { return *mounts_; }
    const std::shared_ptr<DiskWatcher>& watcher() const { return watcher_; }

    // The "autoMount" preference: NTFS disks are converted when they are inserted. True when unset.
    bool autoMountEnabled() const;
    void setAutoMountEnabled(bool enabled);

    // --- Retry policy ---
    bool canAttempt(const std::string& key) const;

    // --- Reconcile pass ---
    // Asks for a pass: the facts are read off the main thread and decided on when they come. When
    // they cannot be read, the pass acts on nothing and waits for the next one.
    void reconcile();

    // --- Attempt lifecycle ---
    void startAttempt(const std::string& key, const std::string& reason, const std::function<void()>& work);
    void fixToReadWrite(const NTFSPartition& partition);
    void attemptFinished(const std::string& key, bool ok, const std::optional<std::string>& mountPoint);

    // --- Eject tracking ---
    // The system's notice that `mountPoint` was unmounted. Unless Drivelark unmounted something
    // itself in the six seconds before, someone else did. Whether it was one of Drivelark's volumes,
    // ejected by the user, the next pass decides from the registry and the listing: by then the
    // disk may have left, and another one taken its device name.
    void noteUnmountNotice(const std::string& mountPoint);
    // The user ejected `volume` from the menu / asked to convert it: the volume shown, not whatever
    // disk has its device name by now.
    void noteVolumeEjected(const VolumeInfo& volume);
    void forgetVolumeEjected(const VolumeInfo& volume);
    // Wipes every partition's retry state and runs a pass, on the main queue. Any thread.
    void resetAndReconcile();

    // A partition on which Windows is hibernated stays read-only without further automatic
    // attempts until it is plugged in again, the retry state is reset, or the user insists.
    bool isKeptReadOnly(const VolumeInfo& volume) const;
    void keepReadOnly(const std::string& deviceID, const std::string& identity);
    void forgetKeptReadOnly(const VolumeInfo& volume);

    std::weak_ptr<EngineDelegate> uiDelegate;

private:
    // Everything the engine remembers of one partition while it is listed.
    struct PartitionRecord {
        NTFSPartition partition;  // as last listed
        PartState attempt;
        std::vector<Date> drops;                    // recent losses of its read-write mount
        Date lastRecovery = Date::distantPast();    // when its last recovery started
        std::optional<std::string> mountPoint;      // where Drivelark last mounted it read-write
        bool ejected = false;                       // by the user: no automatic attempt
        bool keptReadOnly = false;                  // Windows is hibernated on it
    };
    using DeviceMap = std::map<std::string, std::string>;  // device identifier -> mount point

    void decide(const DiskFacts& facts);
    void forgetRemovedPartitions(const DiskFacts& facts);
    void considerPartition(const DiskFacts& facts, PartitionRecord& record, bool seenBefore, bool returning,
                           bool firstPass, bool autoMount, const DeviceMap& readOnly, DeviceMap& readWrite);
    void adopt(const DiskFacts& facts, const NTFSPartition& partition, DeviceMap& readWrite);
    bool attemptIfAllowed(PartitionRecord& record, const std::string& reason);  // true when started
    void remountFinished(const NTFSPartition& partition, bool ok, const std::string& out, bool repaired);
    void repairFinished(const NTFSPartition& partition, bool ok, const std::string& out);
    void volumeWentAway(const NTFSPartition& partition);
    void openVolumeInFinder(const std::string& mountPoint);
    // The record of that very volume on that device, as a menu row or an attempt knew it.
    template <typename Records>
    static auto recordOf(Records& records, const std::string& deviceID, const std::string& identity) {
        return std::find_if(records.begin(), records.end(), [&](const auto& entry) {
            return entry.second.partition.deviceID == deviceID && entry.second.partition.identity == identity;
        });
    }
    void refreshIcon();

    void cleanupZombies(const DiskFacts& facts);
    void noteUnmountFromOutside(const ManagedMount& record);
    void purgeZombieMount(const ManagedMount& record, const std::string& reason);

    Platform& platform_;
    AppLog& log_;
    ManagedVolumes registry_;
    std::shared_ptr<MountManager> mounts_;
    std::shared_ptr<DiskWatcher> watcher_;
    bool unreadableNoted_ = false;

    std::map<std::string, PartitionRecord> records_;  // by partition key: the partitions of the last pass
    std::set<std::string> seenKeys_;                  // every key ever listed since launch
    std::set<std::string> everManaged_;               // mounted read-write by Drivelark since launch
    // The device of each attempt in flight, with its key. A disk unplugged mid-attempt leaves the
    // listing at once, but its device name may come back with the next disk before the attempt ends.
    std::map<std::string, std::string> attemptDevices_;
    std::map<std::string, std::string> purging_;  // mount points being purged -> their devices
    // Unmounts the system told of, by mount point: true when Drivelark did not unmount anything
    // itself in the six seconds before.
    std::map<std::string, bool> unmountNotices_;
};

}  // namespace drivelark
