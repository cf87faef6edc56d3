#pragma once

// The auto-mount engine: every few seconds a reconcile pass compares the disk listing and the
// mount table with what the engine remembers, forgets partitions that left, has dead read-write
// mounts cleaned up, and starts read-write attempts under the retry policy, the eject marks and
// the drop throttle. All of its state lives on the main thread; background work reports back on
// the main queue and holds the engine weakly.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "discovery/mount_table.h"
#include "discovery/ntfs_partition.h"
#include "discovery/partition_inventory.h"
#include "engine/retry_policy.h"

namespace drivelark {

// What the engine asks of the user interface.
class EngineDelegate {
public:
    virtual ~EngineDelegate() = default;
    virtual void refreshIcon() = 0;
};

class AutoMountEngine : public std::enable_shared_from_this<AutoMountEngine> {
public:
    // The one engine of the application, created on first use and kept for the process.
    static std::shared_ptr<AutoMountEngine> shared();

    static constexpr double minRetryInterval = RetryPolicy::kMinRetryInterval;
    static constexpr double kFinderDelay = 0.8;
    // An unmount within this many seconds of Drivelark's own last one is taken for its own.
    static constexpr double kInternalUnmountWindow = 6.0;

    // --- Retry policy ---
    double backoff(const std::string& key) const;
    bool canAttempt(const std::string& key) const;

    // --- Reconcile pass ---
    // One pass. When the listing, the mount table or a file-system lookup cannot be read, it acts
    // on nothing and waits for the next pass.
    void reconcile();

    // --- Attempt lifecycle ---
    void startAttempt(const std::string& key, const std::string& reason, const std::function<void()>& work);
    void fixToReadWrite(const NTFSPartition& partition);
    void attemptFinished(const std::string& key, bool ok, const std::optional<std::string>& mountPoint);

    // --- Eject tracking ---
    // `mountPoint`, one of Drivelark's read-write mounts, went away: unless Drivelark unmounted
    // something itself in the last six seconds, the user did it, and the volume is not mounted again
    // automatically. Either the unmount notice or the next pass, whichever comes first, tells.
    void noteUnmountFromOutside(const std::string& mountPoint);
    void markUserEjectedForMountPoint(const std::string& mountPoint);
    // The user ejected the volume of `deviceID` from the menu / asked to convert it from the menu.
    void noteDeviceEjected(const std::string& deviceID);
    void forgetDeviceEjected(const std::string& deviceID);
    // Wipes every partition's retry state and runs a pass, on the main queue. Any thread.
    void resetAndReconcile();

    // A partition that could not be made writable (Windows hibernated it, or its repair failed)
    // stays read-only without further automatic attempts until it is plugged in again or the
    // user asks for it.
    bool isKeptReadOnly(const std::string& deviceID) const;
    void forgetKeptReadOnly(const std::string& deviceID);

    std::weak_ptr<EngineDelegate> uiDelegate;

private:
    using DeviceMap = std::map<std::string, std::string>;  // device identifier -> mount point

    void forgetRemovedPartitions(const std::set<std::string>& currentKeys);
    void considerPartition(const NTFSPartition& partition, const MountTable& mounts, DeviceMap& readOnly,
                           DeviceMap& readWrite, const std::set<std::string>& returningKeys, bool firstPass,
                           bool autoMount);
    bool isEjected(const NTFSPartition& partition) const;
    void attemptIfAllowed(const NTFSPartition& partition, const std::string& reason);
    void remountFinished(const NTFSPartition& partition, bool ok, const std::string& out, bool repaired);
    void keepReadOnly(const NTFSPartition& partition);
    void openVolumeInFinder(const std::string& mountPoint);

    void cleanupZombies(const std::vector<NTFSPartition>& presentParts, const MountTable& mounts);
    void probeZombieMount(const std::string& mountPoint, const std::string& deviceID);
    void purgeZombieMount(const std::string& mountPoint, const std::string& deviceID, const std::string& reason);

    PartitionInventory inventory_;
    bool unreadableNoted_ = false;

    std::map<std::string, PartState> states;
    std::set<std::string> seenKeys;
    std::set<std::string> presentLastRound;
    std::map<std::string, std::string> devicesLastRound;  // the device of each key of the last pass
    std::set<std::string> userEjected;
    std::set<std::string> probingZombies;
    std::set<std::string> purgingZombies;
    std::set<std::string> everManaged;
    std::map<std::string, std::vector<Date>> dropTimes;
    std::map<std::string, Date> lastRecovery;  // when each partition's last recovery started
    // Where each partition was last mounted read-write: names clash, so "/Volumes/<name>" may not be it.
    std::map<std::string, std::string> recordedMountPoints;
    // Partitions kept read-only, by key, with their device.
    std::map<std::string, std::string> keptReadOnly;
    // The device of each attempt in flight, by key. A disk unplugged mid-attempt leaves `states`
    // at once, but its device name may come back with the next disk before the attempt ends.
    std::map<std::string, std::string> attemptDevices;
};

// The "autoMount" preference: NTFS disks are converted when they are inserted. True when unset.
bool autoMountEnabled();
void setAutoMountEnabled(bool enabled);

}  // namespace drivelark
