#include "helper/mount_command.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "foundation/command_runner.h"
#include "foundation/system_programs.h"
#include "helper/ntfs_device.h"
#include "helper/trusted_tools.h"
#include "helper/unmount_command.h"
#include "platform/posix/posix_error.h"

namespace drivelark::helper {

namespace {

constexpr const char* kVolumesFolder = "/Volumes";

struct PreparedMountPoint {
    std::optional<Outcome> stop;
    bool created = false;
    std::uint64_t volumesDevice = 0;  // a mount point on another device has something mounted
};

PreparedMountPoint prepareMountPoint(HelperSystem& system, const std::string& mountPoint) {
    std::string shown = printable(mountPoint);
    FileInfo volumes = system.stat(kVolumesFolder);
    if (volumes.error != 0) return {failed(std::string("cannot inspect /Volumes: ") + errorText(volumes.error))};
    bool created = false;
    FileInfo existing = system.lstat(mountPoint);
    if (existing.error == ENOENT) {
        int error = system.makeDirectory(mountPoint);
        if (error != 0 && error != EEXIST) return {failed("cannot create " + shown + ": " + errorText(error))};
        created = error == 0;
        existing = system.lstat(mountPoint);
    }
    if (existing.error != 0)
        return {refused("cannot inspect " + shown + " (" + errorText(existing.error) +
                        "); something may still be mounted there")};
    if (existing.isSymbolicLink) return {refused(shown + " is a symbolic link")};
    if (!existing.isDirectory) return {refused(shown + " is not a folder")};
    if (existing.device != volumes.device) return {refused("something is still mounted at " + shown)};
    return {std::nullopt, created, volumes.device};
}

bool waitUntilMounted(HelperSystem& system, const std::string& mountPoint, std::uint64_t volumesDevice) {
    for (int poll = 0;; ++poll) {
        FileInfo info = system.lstat(mountPoint);
        if (info.error == 0 && info.device != volumesDevice) return true;
        if (poll == kMountPolls) return false;
        system.pause(kMountPollInterval);
    }
}

// Why what is now mounted at the request's mount point is not writable; empty when it is.
std::string whyNotWritable(HelperSystem& system, const Request& request, std::string_view ntfs3gOutput) {
    if (isReadOnlyFallBack(ntfs3gOutput)) return "ntfs-3g mounted /dev/" + request.device + " read-only instead";
    std::string shown = printable(request.mountPoint);
    VolumeMode mode = system.volumeMode(request.mountPoint);
    if (mode.error != 0) return "cannot tell whether " + shown + " is writable: " + errorText(mode.error);
    if (mode.readOnly) return shown + " was mounted read-only";
    return {};
}

// The device is checked and the mount point ready: probe, mount, verify.
Outcome mountPrepared(HelperSystem& system, const Request& request, const std::string& ntfs3g,
                      std::uint64_t volumesDevice) {
    if (std::optional<Outcome> denied = stopIfWritesRefused(system, request.device)) return *denied;

    std::string node = "/dev/" + request.device;
    std::string shown = printable(request.mountPoint);
    CommandResult run = runCommand(
        ntfs3g, {node, request.mountPoint, "-o", "volname=" + request.volumeName + ",local,noowners,noatime"});
    // ntfs-3g's own words go first, always: the caller classifies failures by them.
    Outcome outcome{kFailed, {}};
    outcome.quote(run.out);
    if (run.exit != 0)
        return outcome.say("ntfs-3g could not mount " + node + " (exit status " + std::to_string(run.exit) + ")");

    bool appeared = waitUntilMounted(system, request.mountPoint, volumesDevice);
    std::string problem = appeared ? whyNotWritable(system, request, run.out)
                                   : "ntfs-3g returned, but nothing was mounted at " + shown + " within " +
                                         std::to_string(kMountPolls * kMountPollInterval.count() / 1000) + " seconds";
    if (problem.empty()) {
        outcome.status = kSucceeded;
        return outcome;
    }
    // Nothing read-only may stay mounted, not even a mount that shows up late.
    Outcome cleanup = forceUnmount(system, request.mountPoint);
    outcome.say(problem);
    if (appeared && cleanup.status != kSucceeded)
        outcome.quote(cleanup.text).say("could not unmount " + shown + " again");
    return outcome;
}

}  // namespace

bool isReadOnlyFallBack(std::string_view ntfs3gOutput) {
    std::string lower(ntfs3gOutput);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("read-only") != std::string::npos;
}

Outcome runMount(HelperSystem& system, const Request& request) {
    // Everything that can refuse comes before the system's mount is taken away.
    TrustedTool ntfs3g = trustedTool(system, "ntfs-3g");
    if (!ntfs3g.path) return refused(ntfs3g.problem);
    DeviceCheck device = checkNtfsDevice(system, request.device);
    if (device.stop) return *device.stop;

    // "Not mounted" is the usual answer to these; what matters is checked below.
    if (runCommand(kDiskutilPath, {"unmount", "force", request.device}).exit != 0)
        runCommand(kDiskutilPath, {"unmount", request.device});
    runCommand(kDiskutilPath, {"unmount", "force", request.mountPoint});

    PreparedMountPoint mountPoint = prepareMountPoint(system, request.mountPoint);
    if (mountPoint.stop) return *mountPoint.stop;
    Outcome outcome = mountPrepared(system, request, *ntfs3g.path, mountPoint.volumesDevice);
    // Leave /Volumes as it was found.
    if (outcome.status != kSucceeded && mountPoint.created) system.removeDirectory(request.mountPoint);
    return outcome;
}

}  // namespace drivelark::helper
