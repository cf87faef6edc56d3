// Read-write remount: the system's read-only NTFS mount replaced by an ntfs-3g mount.

#include "discovery/disk_topology.h"
#include "discovery/ntfs_partition.h"
#include "discovery/volume_scanner.h"
#include "foundation/app_log.h"
#include "foundation/system_programs.h"
#include "foundation/text.h"
#include "mount/mount_manager.h"
#include "mount/mount_point_choice.h"
#include "mount/mount_target.h"
#include "platform/platform.h"

namespace drivelark::MountManager {

namespace {

struct Target {
    std::string deviceID, mountPoint, safeName;
};

// Mount points chosen by remounts still under way: disks that share a name and are converted
// together must not all pick the same free place. Main thread only.
std::set<std::string>& claimedMountPoints() {
    static std::set<std::string> claimed;
    return claimed;
}

// The helper puts the system's read-only mount back when its own mount fails, but a helper that
// died in between (or a password prompt killed with it) leaves the disk mounted nowhere: the
// read-only mount is asked for again so that the files stay reachable.
void restoreSystemMountIfGone(const std::string& deviceID) {
    platform().dispatcher.runInBackground(QualityOfService::utility, [deviceID] {
        std::optional<MountTable> mounts = DiskTopology::currentMounts();
        if (!mounts) return;
        for (const auto& [mountPoint, entry] : *mounts) {
            if (entry.source == "/dev/" + deviceID) return;
        }
        CommandResult result = runCommand(kDiskutilPath, {"mount", deviceID});
        AppLog::line(result.exit == 0 ? "已恢复系统只读挂载: " + deviceID
                                      : "恢复系统只读挂载失败: " + deviceID + " — " + trimmed(result.out));
    });
}

void fail(const Target& target, const std::string& why, const MountCompletion& completion) {
    AppLog::line("读写挂载失败: " + target.safeName + " — " + why);
    completion(false, why);
}

void recordSuccess(const Target& target, const std::string& logPrefix) {
    VolumeScanner::markManaged(target.mountPoint, target.safeName, target.deviceID);
    AppLog::line(logPrefix + target.safeName + " -> " + target.mountPoint);
}

std::vector<std::string> mountArguments(const Target& target) {
    return {"mount", target.deviceID, target.mountPoint, target.safeName};
}

// The administrator-prompt form: the application's own helper tool, run as root.
void mountViaPrompt(const Target& target, MountCompletion completion) {
    std::optional<std::string> command = bundledHelperCommand(mountArguments(target));
    if (!command) return fail(target, "找不到应用自带的 drivelark-mount", completion);
    runAsRoot(*command, [target, completion](bool ok, const std::string& out) {
        if (ok) {
            recordSuccess(target, "读写挂载成功: ");
        } else {
            AppLog::line("读写挂载失败: " + target.safeName + " — " + trimmed(out));
            restoreSystemMountIfGone(target.deviceID);
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
    Target target{deviceID, "", NTFSPartition::safeVolumeName(volumeName)};
    // The device goes to root, even unquoted into the write probe: nothing but a disk name passes.
    if (!isDeviceIdentifier(deviceID)) return fail(target, "设备标识不能安全地用于挂载 (" + deviceID + ")", completion);
    std::optional<MountTable> mounts = DiskTopology::currentMounts();
    if (!mounts) return fail(target, "读不到挂载表，无法确认挂载位置是否空闲", completion);
    std::optional<std::string> mountPoint = chooseMountPoint(deviceID, target.safeName, *mounts, claimedMountPoints());
    if (!mountPoint) return fail(target, "/Volumes 中没有可用的挂载位置", completion);
    target.mountPoint = *mountPoint;
    claimedMountPoints().insert(target.mountPoint);
    completion = [mountPoint = target.mountPoint, completion = std::move(completion)](bool ok, const std::string& out) {
        claimedMountPoints().erase(mountPoint);
        completion(ok, out);
    };

    AppLog::line("开始读写挂载 " + volumeName + "(" + deviceID + ") → " + target.mountPoint);
    // The system's notice of the read-only mount going away must not look like a user's eject.
    markInternalUnmount();

    if (!helperAvailable()) return mountViaPrompt(target, std::move(completion));
    platform().dispatcher.runInBackground(QualityOfService::userInitiated, [target, completion = std::move(completion)] {
        std::optional<CommandOutcome> outcome = runViaHelper(mountArguments(target));
        platform().dispatcher.runOnMain([target, completion, outcome] {
            if (!outcome) {
                AppLog::line("免密通道不可用，改走管理员授权");
                mountViaPrompt(target, completion);
            } else if (!outcome->ok) {
                AppLog::line("免密通道挂载失败: " + trimmed(outcome->out));
                restoreSystemMountIfGone(target.deviceID);
                completion(false, outcome->out);
            } else {
                recordSuccess(target, "读写挂载成功(免密通道): ");
                completion(true, outcome->out);
            }
        });
    });
}

}  // namespace drivelark::MountManager
