// Unmounting: at the user's request, and the dead mounts of Drivelark's own.

#include "foundation/app_log.h"
#include "foundation/command_runner.h"
#include "foundation/text.h"
#include "mount/mount_manager.h"
#include "mount/system_tools.h"
#include "platform/platform.h"

namespace drivelark {

namespace {

// A busy volume's dissent can take minutes to be reported; the user is told long before that.
constexpr std::chrono::seconds kUserUnmountTimeLimit{60};
constexpr std::chrono::seconds kForcedUnmountTimeLimit{20};

}  // namespace

void MountManager::markInternalUnmount() { lastInternalUnmount_ = platform().clock.now(); }

void MountManager::unmount(const VolumeInfo& volume, UnmountCompletion completion) {
    ejecting_[volume.mountPoint] = Underway{volume.name};
    std::weak_ptr<MountManager> weak = weak_from_this();
    platform().dispatcher.runInBackground(QualityOfService::userInitiated, [weak, volume, completion] {
        CommandResult result = runCommand(kDiskutilPath, {"unmount", volume.mountPoint}, kUserUnmountTimeLimit);
        std::vector<VolumeHolder> holders;
        if (!result.succeeded())
            holders = parseVolumeHolders(runCommand(kLsofPath, volumeHolderArguments(volume.mountPoint), kListingTimeLimit).out);
        platform().dispatcher.runOnMain([weak, volume, completion, result, holders] {
            if (auto self = weak.lock()) self->finish(self->ejecting_, volume.mountPoint);
            if (result.succeeded()) {
                ManagedVolumes::unmarkManaged(volume.mountPoint);
                AppLog::line("已卸载 " + volumeLabel(volume.name, volume.deviceID) + "（用户操作）");
            } else {
                AppLog::line("卸载失败 " + volumeLabel(volume.name, volume.deviceID) + ": " + result.out);
            }
            completion(result.succeeded(), result.out, holders);
        });
    });
}

void MountManager::forceUnmount(const std::string& mountPoint, std::function<void(const CommandResult&)> completion) {
    platform().dispatcher.runInBackground(QualityOfService::userInitiated, [mountPoint, completion = std::move(completion),
                                                                             weak = weak_from_this()] {
        CommandResult result =
            helperUsable() ? runHelper({"unmount", mountPoint}, HelperProtocol::kUnmountBudget)
                           : runCommand(kDiskutilPath, {"unmount", "force", mountPoint}, kForcedUnmountTimeLimit);
        platform().dispatcher.runOnMain([weak, completion, result] {
            if (auto self = weak.lock()) ++self->changes_;
            completion(result);
        });
    });
}

}  // namespace drivelark
