// Read-write remount: the system's read-only NTFS mount replaced by an ntfs-3g mount.

#include "discovery/ntfs_partition.h"
#include "discovery/volume_scanner.h"
#include "foundation/app_log.h"
#include "foundation/command_runner.h"
#include "foundation/text.h"
#include "mount/mount_manager.h"
#include "mount/mount_target.h"
#include "mount/root_commands.h"
#include "mount/system_tools.h"
#include "platform/platform.h"

namespace drivelark::MountManager {

namespace {

void recordSuccess(const std::string& deviceID, const std::string& mountPoint, const std::string& safeName,
                   const std::string& logPrefix) {
    VolumeScanner::markManaged(mountPoint, safeName, deviceID);
    AppLog::line(logPrefix + safeName + " -> " + mountPoint);
}

// The administrator-prompt form: one shell command that does the helper tool's work.
void fallbackMountViaOsascript(const std::string& deviceID, const std::string& mountPoint, const std::string& safeName,
                               MountCompletion completion) {
    runAsRoot(remountCommand(deviceID, mountPoint, safeName, ntfs3gPath()),
              [deviceID, mountPoint, safeName, completion](bool ok, const std::string& out) {
                  if (ok) {
                      recordSuccess(deviceID, mountPoint, safeName, "读写挂载成功: ");
                  } else {
                      AppLog::line("读写挂载失败: " + safeName + " — " + trimmed(out));
                  }
                  completion(ok, out);
              });
}

}  // namespace

bool isUnsafeStateError(const std::string& text) { return contains(text, "unsafe state") || contains(text, "hibernat"); }

bool isWriteDeniedError(const std::string& text) { return contains(text, writeDeniedMarker); }

void remountReadWrite(const std::string& deviceID, const std::string& volumeName, MountCompletion completion) {
    if (deviceID.empty()) {
        completion(false, "未获取到设备标识");
        return;
    }
    const std::string safeName = NTFSPartition::safeVolumeName(volumeName);
    const std::string mountPoint = "/Volumes/" + safeName;
    // Both go to root, the device even unquoted into the write probe: refuse anything that is
    // not plainly a disk name and a single folder under /Volumes.
    if (!isDeviceIdentifier(deviceID) || !isVolumesMountPoint(mountPoint) || !isSafeVolumeName(safeName)) {
        AppLog::line("读写挂载失败: " + safeName + " — 设备标识或卷名不能安全地用于挂载 (" + deviceID + ")");
        completion(false, "设备标识或卷名不能安全地用于挂载");
        return;
    }

    AppLog::line("开始读写挂载 " + volumeName + "(" + deviceID + ") → " + mountPoint);
    // The system's notice of the read-only mount going away must not look like a user's eject.
    markInternalUnmount();

    if (!helperAvailable()) {
        fallbackMountViaOsascript(deviceID, mountPoint, safeName, std::move(completion));
        return;
    }
    platform().dispatcher.runInBackground(
        QualityOfService::userInitiated, [deviceID, mountPoint, safeName, completion = std::move(completion)] {
            CommandResult result = runCommand(kSudoPath, {"-n", helperPath, "mount", deviceID, mountPoint, safeName});
            platform().dispatcher.runOnMain([deviceID, mountPoint, safeName, completion, result] {
                if (channelCouldNotRun(result.exit)) {
                    AppLog::line("免密通道不可用，改走管理员授权");
                    fallbackMountViaOsascript(deviceID, mountPoint, safeName, completion);
                } else if (result.exit != 0) {
                    AppLog::line("免密通道挂载失败: " + trimmed(result.out));
                    completion(false, result.out);
                } else {
                    recordSuccess(deviceID, mountPoint, safeName, "读写挂载成功(免密通道): ");
                    completion(true, result.out);
                }
            });
        });
}

}  // namespace drivelark::MountManager
