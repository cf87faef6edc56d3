// Unmounting: at the user's request, and the dead mounts of Drivelark's own.

#include "foundation/app_log.h"
#include "foundation/command_runner.h"
#include "foundation/system_programs.h"
#include "foundation/text.h"
#include "mount/mount_manager.h"

namespace drivelark {

namespace {

// A busy volume's dissent can take minutes to be reported; the user is told long before that.
constexpr std::chrono::seconds kUserUnmountTimeLimit{60};
constexpr std::chrono::seconds kForcedUnmountTimeLimit{20};

}  // namespace

void MountManager::markInternalUnmount() { lastInternalUnmount_ = platform_.clock.now(); }

void MountManager::unmount(const VolumeInfo& volume, UnmountCompletion completion) {
    ejecting_[volume.mountPoint] = Underway{volume.name};
    std::weak_ptr<MountManager> weak = weak_from_this();
    Platform* services = &platform_;  // outlives every job
    services->dispatcher.runInBackground(QualityOfService::userInitiated, [services, weak, volume, completion] {
        Processes& programs = services->processes;
        CommandResult result = runCommand(programs, kDiskutilPath, {"unmount", volume.mountPoint}, kUserUnmountTimeLimit);
        std::vector<VolumeHolder> holders;
        if (!result.succeeded())
            holders = parseVolumeHolders(
                runCommand(programs, kLsofPath, volumeHolderArguments(volume.mountPoint), kListingTimeLimit).out);
        services->dispatcher.runOnMain([weak, volume, completion, result, holders] {
            auto self = weak.lock();
            if (!self) return completion(result.succeeded(), result.out, holders);
            self->finish(self->ejecting_, volume.mountPoint);
            if (result.succeeded()) {
                self->registry_.unmarkManaged(volume.mountPoint);
                self->log_.line("已卸载 " + volumeLabel(volume.name, volume.deviceID) + "（用户操作）");
            } else {
                self->log_.line("卸载失败 " + volumeLabel(volume.name, volume.deviceID) + ": " + result.out);
            }
            completion(result.succeeded(), result.out, holders);
        });
    });
}

void MountManager::forceUnmount(const std::string& mountPoint, std::function<void(const CommandResult&)> completion) {
    platform_.dispatcher.runInBackground(QualityOfService::userInitiated, [self = shared_from_this(), mountPoint,
                                                                          completion = std::move(completion)] {
        CommandResult result =
            self->helperRunsWithoutPassword()
                ? self->runHelper({"unmount", mountPoint}, HelperProtocol::kUnmountBudget)
                : runCommand(self->platform_.processes, kDiskutilPath, {"unmount", "force", mountPoint}, kForcedUnmountTimeLimit);
        self->platform_.dispatcher.runOnMain([self, completion, result] {
            ++self->changes_;
            completion(result);
        });
    });
}

}  // namespace drivelark
