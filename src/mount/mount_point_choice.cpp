#include "mount/mount_point_choice.h"

#include "mount/mount_target.h"

namespace drivelark {

namespace {

constexpr int kMostCandidates = 100;

bool isFreeFor(const std::string& deviceID, const std::string& path, const MountTable& mounts, Files& files) {
    if (auto mount = mounts.find(path); mount != mounts.end()) return mount->second.source == "/dev/" + deviceID;
    FileStatus status;
    if (!files.lstat(path, &status).ok()) return true;  // nothing there (the helper tool checks again, knowing why)
    if (status.isSymbolicLink || !status.isDirectory) return false;
    std::vector<std::string> entries;
    return files.listDirectory(path, &entries).ok() && entries.empty();
}

}  // namespace

std::optional<std::string> chooseMountPoint(Files& files, const std::string& deviceID, const std::string& safeName,
                                            const MountTable& mounts, const std::set<std::string>& claimed,
                                            const std::optional<std::string>& preferred) {
    FileStatus volumes;
    if (!files.lstat("/Volumes", &volumes).ok() || volumes.isSymbolicLink || !volumes.isDirectory) return std::nullopt;
    if (preferred && isVolumesMountPoint(*preferred) && !claimed.contains(*preferred) &&
        isFreeFor(deviceID, *preferred, mounts, files))
        return preferred;
    for (int number = 0; number < kMostCandidates; ++number) {
        std::string path = "/Volumes/" + safeName + (number == 0 ? "" : " " + std::to_string(number));
        if (!isVolumesMountPoint(path)) return std::nullopt;
        if (!claimed.contains(path) && isFreeFor(deviceID, path, mounts, files)) return path;
    }
    return std::nullopt;
}

}  // namespace drivelark
