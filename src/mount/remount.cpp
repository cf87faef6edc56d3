// Read-write remount: the system's read-only NTFS mount replaced by an ntfs-3g mount.

#include "discovery/disk_topology.h"
#include "discovery/ownership.h"
#include "discovery/volume_identity.h"
#include "foundation/app_log.h"
#include "foundation/system_programs.h"
#include "foundation/text.h"
#include "mount/mount_manager.h"
#include "mount/mount_point_choice.h"
#include "mount/mount_target.h"

namespace drivelark {

namespace {

constexpr std::chrono::seconds kRemountOfSystemTimeLimit{30};

std::string label(const NTFSPartition& partition) { return volumeLabel(partition.volumeName, partition.deviceID); }

void failBeforeStart(AppLog& log, const NTFSPartition& partition, const std::string& why, const MountCompletion& completion) {
    log.line("读写挂载失败: " + volumeLabel(partition.safeVolname(), partition.deviceID) + " — " + why);
    completion(false, why);
}

// Why the system's read-only mount of the partition must not be asked for again; empty when it
// may. Blocks.
std::string whyNotRestore(Processes& programs, const NTFSPartition& partition) {
    std::optional<PlistValue> description = DiskTopology::describeDevice(programs, partition.deviceID);
    if (!description || volumeIdentity(*description) != partition.identity) return "设备上已不是原来的卷";
    std::optional<MountTable> mounts = DiskTopology::currentMounts(programs);
    if (!mounts) return "读不到挂载表";
    for (const auto& [mountPoint, entry] : *mounts) {
        if (entry.source == "/dev/" + partition.deviceID) return "设备已挂载";
    }
    // Through FUSE-T an ntfs-3g mount shows in the table under its volume's name, not its device.
    std::optional<std::vector<Process>> processes = DiskTopology::runningPrograms(programs);
    if (!processes) return "读不到进程列表";
    if (ntfs3gServing(*processes, partition.deviceID)) return "ntfs-3g 仍在使用该设备";
    return {};
}

}  // namespace

// The helper puts the system's read-only mount back when its own mount fails, but a helper that
// died in between (or a password prompt killed with it) leaves the disk mounted nowhere: the
// read-only mount is asked for again so that the files stay reachable, and only for the volume
// the remount was for, mounted nowhere.
void MountManager::restoreSystemMountIfGone(const NTFSPartition& partition) {
    platform_.dispatcher.runInBackground(QualityOfService::utility, [self = shared_from_this(), partition] {
        Processes& programs = self->platform_.processes;
        if (!whyNotRestore(programs, partition).empty()) return;
        CommandResult result = runCommand(programs, kDiskutilPath, {"mount", partition.deviceID}, kRemountOfSystemTimeLimit);
        self->platform_.dispatcher.runOnMain([self, partition, result] {
            self->log_.line(result.succeeded() ? "已恢复系统只读挂载: " + label(partition)
                                          : "恢复系统只读挂载失败: " + label(partition) + " — " + trimmed(result.out));
        });
    });
}

void MountManager::finish(std::map<std::string, Underway>& work, const std::string& key) {
    work[key].finishedAt = ++changes_;
}

void MountManager::factsRead(std::uint64_t changesSeen) {
    for (auto* work : {&converting_, &ejecting_}) {
        std::erase_if(*work, [&](const auto& entry) {
            return entry.second.finishedAt != 0 && entry.second.finishedAt <= changesSeen;
        });
    }
}

std::map<std::string, std::string> MountManager::converting() const {
    std::map<std::string, std::string> names;
    for (const auto& [device, work] : converting_) names[device] = work.name;
    return names;
}

std::set<std::string> MountManager::ejecting() const {
    std::set<std::string> mountPoints;
    for (const auto& [mountPoint, work] : ejecting_) mountPoints.insert(mountPoint);
    return mountPoints;
}

void MountManager::remountReadWrite(const NTFSPartition& partition, MountCompletion completion,
                                    const std::optional<std::string>& preferredPlace) {
    if (partition.deviceID.empty()) return completion(false, "未获取到设备标识");
    // The device goes to root: nothing but a disk name passes, and the volume it must still hold.
    if (!isDeviceIdentifier(partition.deviceID) || !isVolumeIdentity(partition.identity))
        return failBeforeStart(log_, partition, "设备标识不能安全地用于挂载 (" + partition.deviceID + ")", completion);
    converting_[partition.deviceID] = Underway{partition.volumeName};
    // Where the volume goes is decided off the main thread: it looks at places in /Volumes.
    std::weak_ptr<MountManager> weak = weak_from_this();
    Platform* services = &platform_;  // outlives every job
    services->dispatcher.runInBackground(QualityOfService::userInitiated, [services, weak, partition, preferredPlace,
                                                                           completion = std::move(completion)] {
        auto self = weak.lock();
        if (!self) return;
        std::optional<std::string> mountPoint;
        if (std::optional<MountTable> mounts = DiskTopology::currentMounts(services->processes)) {
            std::lock_guard lock(self->claimsLock_);
            mountPoint = chooseMountPoint(services->files, partition.deviceID, partition.safeVolname(), *mounts, self->claimed_, preferredPlace);
            if (mountPoint) self->claimed_.insert(*mountPoint);
        }
        services->dispatcher.runOnMain([weak, partition, mountPoint, completion] {
            if (auto self = weak.lock()) self->mountChosen(partition, mountPoint, completion);
        });
    });
}

void MountManager::mountChosen(const NTFSPartition& partition, std::optional<std::string> mountPoint,
                               MountCompletion completion) {
    auto done = [weak = weak_from_this(), partition, mountPoint, completion = std::move(completion)](
                    bool ok, const std::string& out) {
        if (auto self = weak.lock()) {
            self->finish(self->converting_, partition.deviceID);
            std::lock_guard lock(self->claimsLock_);
            if (mountPoint) self->claimed_.erase(*mountPoint);
        }
        completion(ok, out);
    };
    if (!mountPoint) return failBeforeStart(log_, partition, "/Volumes 中没有可用的挂载位置（或读不到挂载表）", done);

    const std::string safeName = partition.safeVolname();
    log_.line("开始读写挂载 " + label(partition) + " → " + *mountPoint);
    // The system's notice of the read-only mount going away must not look like a user's eject.
    markInternalUnmount();
    std::vector<std::string> arguments = {"mount", partition.deviceID, *mountPoint, safeName, partition.identity};
    runTool(arguments, HelperProtocol::kMountBudget,
            [weak = weak_from_this(), partition, mountPoint = *mountPoint, safeName, done](bool ok, const std::string& out,
                                                                                         bool passwordFree) {
                auto self = weak.lock();
                if (!self) return done(ok, out);
                if (ok) {
                    self->registry_.markManaged({mountPoint, safeName, partition.deviceID, partition.identity});
                    self->log_.line(std::string(passwordFree ? "读写挂载成功(免密通道): " : "读写挂载成功: ") + safeName + " -> " +
                                 mountPoint);
                } else {
                    self->log_.line(passwordFree ? "免密通道挂载失败: " + trimmed(out)
                                              : "读写挂载失败: " + volumeLabel(safeName, partition.deviceID) + " — " + trimmed(out));
                    if (!isVolumeChanged(out)) self->restoreSystemMountIfGone(partition);
                }
                done(ok, out);
            });
}

}  // namespace drivelark
