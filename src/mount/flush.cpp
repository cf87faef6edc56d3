// Writing back Drivelark's read-write volumes before the system sleeps, and keeping their disks
// awake while it does not.

#include <memory>
#include <utility>

#include "foundation/app_log.h"
#include "mount/mount_manager.h"

namespace drivelark {

void MountManager::keepDevicesAwake(const std::vector<std::string>& deviceIDs) {
    if (deviceIDs.empty() || !helperAvailable()) return;
    platform_.dispatcher.runInBackground(QualityOfService::utility, [self = shared_from_this(), deviceIDs] {
        for (const std::string& device : deviceIDs) {
            self->runHelper({"keepalive", device}, HelperProtocol::kKeepaliveBudget);
        }
    });
}

// Each volume is written back in a job of its own: one whose file system stopped answering holds
// up neither the others nor the system's sleep, which goes ahead at the time limit.
void MountManager::flushBeforeSleep(const std::vector<ManagedMount>& volumes, std::function<void(std::size_t)> completion) {
    struct Flush {
        std::function<void(std::size_t)> completion;
        std::size_t pending = 0, written = 0;
        bool reported = false;
        void report() {
            if (!std::exchange(reported, true)) completion(written);
        }
    };
    auto flush = std::make_shared<Flush>(Flush{std::move(completion), volumes.size()});
    if (volumes.empty()) return flush->report();
    platform_.dispatcher.runOnMainAfter(kFlushTimeLimit, [flush] { flush->report(); });
    for (const ManagedMount& volume : volumes) {
        platform_.dispatcher.runInBackground(QualityOfService::userInitiated, [self = shared_from_this(), flush, volume] {
            // First what the file system holds for the driver, then what the driver and the disk hold.
            Status synced = self->platform_.files.syncFileSystem(volume.mountPoint);
            if (synced.ok() && self->helperRunsWithoutPassword())
                self->runHelper({"flush", volume.deviceID}, HelperProtocol::kFlushBudget);
            self->platform_.dispatcher.runOnMain([self, flush, mountPoint = volume.mountPoint, synced] {
                if (!synced.ok())
                    self->log_.line("睡眠前写回失败: " + mountPoint + " — " + synced.toString());
                else
                    ++flush->written;
                if (--flush->pending == 0) flush->report();
            });
        });
    }
}

}  // namespace drivelark
