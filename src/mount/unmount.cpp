// Unmounting at the user's request, and the time of Drivelark's own unmounts.

#include "discovery/volume_scanner.h"
#include "foundation/app_log.h"
#include "foundation/command_runner.h"
#include "mount/mount_manager.h"
#include "mount/system_tools.h"
#include "platform/platform.h"

namespace drivelark::MountManager {

namespace {

Date& lastInternalUnmountTime() {
    static Date time = Date::distantPast();
    return time;
}

}  // namespace

Date lastInternalUnmount() { return lastInternalUnmountTime(); }

void markInternalUnmount() { lastInternalUnmountTime() = platform().clock.now(); }

CommandResult forceUnmount(const std::string& mountPoint) {
    if (helperUsable()) return runCommand(kSudoPath, {"-n", helperPath, "unmount", mountPoint});
    return runCommand(kDiskutilPath, {"unmount", "force", mountPoint});
}

void unmount(const VolumeInfo& volume, MountCompletion completion) {
    platform().dispatcher.runInBackground(
        QualityOfService::userInitiated, [volume, completion = std::move(completion)] {
            CommandResult result = runCommand(kDiskutilPath, {"unmount", volume.mountPoint});
            platform().dispatcher.runOnMain([volume, completion, result] {
                if (result.exit == 0) {
                    VolumeScanner::unmarkManaged(volume.mountPoint);
                    AppLog::line("已卸载 " + volume.name + "（用户操作）");
                } else {
                    AppLog::line("卸载失败 " + volume.name + ": " + result.out);
                }
                completion(result.exit == 0, result.out);
            });
        });
}

}  // namespace drivelark::MountManager
