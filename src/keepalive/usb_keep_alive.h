#pragma once

// Keeps the machine and the disks of Drivelark's read-write volumes from idle sleep while any of
// them is mounted and answering: caffeinate (or a power assertion when it cannot start), and on
// every pulse a little real activity on each volume and its device. Which volumes are mounted and
// how they answered comes from the reconcile pass's last reading, so a pulse runs no program of its
// own to find out. Main thread only.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "discovery/disk_watcher.h"
#include "foundation/app_log.h"
#include "mount/mount_manager.h"
#include "platform/platform.h"

namespace drivelark {

class USBKeepAlive : public std::enable_shared_from_this<USBKeepAlive> {
public:
    static constexpr double kPulseInterval = 5.0;
    static constexpr double kIdleLogInterval = 300.0;

    // A controller that keeps devices awake through `mounts`.
    USBKeepAlive(Platform& platform, AppLog& log, std::shared_ptr<MountManager> mounts);

    // Starts the pulse on the facts `watcher` reads: the first one 5 s from now, then every 5 s.
    void start(std::shared_ptr<DiskWatcher> watcher);

private:
    void pulse();
    void ensureCaffeinate();
    void stopKeepingAwake();
    void touch(const std::string& mountPoint);

    Platform& platform_;
    AppLog& log_;
    std::shared_ptr<MountManager> mounts_;
    std::shared_ptr<DiskWatcher> watcher_;
    std::shared_ptr<RepeatingTimer> timer_;
    std::uint32_t assertionID_ = 0;
    bool assertionActive_ = false;
    Date lastIdleLog_ = Date::distantPast();
    std::unique_ptr<ChildProcess> caffeinate_;
    // Volumes whose touch has not returned: a volume that stops answering keeps its touch waiting,
    // and is not touched again meanwhile, while the others keep their pulses.
    std::set<std::string> touching_;
    bool refusalNoted_ = false;  // the system refused a touch, and the log said so
};

}  // namespace drivelark
