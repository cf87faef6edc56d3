#pragma once

// Reads what the disks are doing off the main thread and hands the facts to the main thread: the
// main thread never waits for a program and never touches a mount point, since a volume whose
// ntfs-3g stops answering blocks every call on it, for ever. One reading at a time: a refresh asked
// for while one runs waits for it, and one more reading follows. Main thread only.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "discovery/disk_facts.h"
#include "discovery/managed_volumes.h"
#include "foundation/app_log.h"
#include "platform/platform.h"

namespace drivelark {

class DiskWatcher : public std::enable_shared_from_this<DiskWatcher> {
public:
    // How long a volume may take to answer its check before it counts as not answering.
    static constexpr double kCheckTimeLimit = 5.0;
    // Checks that never answered keep their thread; no more than this many are ever left waiting.
    static constexpr std::size_t kMostOutstandingChecks = 16;

    // `changes` counts the changes of mounts Drivelark has made so far: facts read while one was
    // made may not show it, and are read again before anyone acts on them.
    DiskWatcher(Platform& platform, AppLog& log, std::function<std::uint64_t()> changes);

    // Called on the main thread with the facts of each reading, also when they could not be read.
    void setListener(std::function<void(const DiskFacts&)> listener);
    // Starts a reading, or asks for one more when one is under way.
    void refresh();
    bool isReading() const { return reading_ != nullptr; }
    // The facts of the last reading that could be read; null before the first.
    std::shared_ptr<const DiskFacts> latest() const { return latest_; }

private:
    struct Reading;

    void read(std::shared_ptr<Reading> reading);
    void checkVolumes(const std::shared_ptr<Reading>& reading);
    void checkAnswered(const std::shared_ptr<Reading>& reading, const std::string& mountPoint, VolumeCheck check);
    void finish(const std::shared_ptr<Reading>& reading);

    Platform& platform_;
    ManagedVolumes registry_;
    std::function<std::uint64_t()> changes_;
    std::function<void(const DiskFacts&)> listener_;
    std::shared_ptr<Reading> reading_;  // the reading under way
    bool again_ = false;                // another reading was asked for meanwhile
    std::shared_ptr<const DiskFacts> latest_;
    std::map<std::string, bool> verdicts_;  // NTFS or not, by volume identity: partition_inventory.h
    std::set<std::string> outstandingChecks_;  // mount points whose check has not returned
};

}  // namespace drivelark
