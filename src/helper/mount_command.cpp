#include "helper/mount_command.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "foundation/command_runner.h"
#include "helper/device_use.h"
#include "helper/ntfs_device.h"
#include "helper/system_mount.h"
#include "helper/trusted_tools.h"
#include "helper/unmount_command.h"
#include "platform/posix/posix_error.h"

namespace drivelark::helper {

namespace {

constexpr const char* kVolumesFolder = "/Volumes";
// ntfs-3g mounts a healthy volume within seconds; one that never returns (a failing disk) would
// otherwise hold the disk unmounted for good, the system's mount already gone.
constexpr std::chrono::seconds kNtfs3gTimeLimit{60};

// /Volumes must be root's own folder, not a link to one: everything below it is trusted.
std::optional<Outcome> checkVolumesFolder(HelperSystem& system, std::uint64_t& device) {
    FileInfo volumes = system.lstat(kVolumesFolder);
    if (volumes.error != 0) return failed(std::string("cannot inspect /Volumes: ") + errorText(volumes.error));
    if (volumes.isSymbolicLink || !volumes.isDirectory || volumes.owner != 0)
        return refused("/Volumes is not a folder that root owns");
    device = volumes.device;
    return std::nullopt;
}

// Before anything is unmounted: the mount point must hold nothing (absent, or an empty real
// folder) or this device's own mount, which the remount replaces. Another disk's mount, a link
// (macOS ships "/Volumes/Macintosh HD" -> "/") or a file are never touched.
std::optional<Outcome> checkTargetIsFree(HelperSystem& system, const Request& request, const MountTable& table,
                                         std::uint64_t volumesDevice) {
    std::string shown = printable(request.mountPoint);
    FileInfo target = system.lstat(request.mountPoint);
    if (target.error == ENOENT) return std::nullopt;
    if (target.error != 0) return refused("cannot inspect " + shown + ": " + errorText(target.error));
    if (target.isSymbolicLink) return refused(shown + " is a symbolic link");
    if (!target.isDirectory) return refused(shown + " is not a folder");
    if (target.device != volumesDevice) {
        if (mountPointOfDevice(table, request.device) == request.mountPoint) return std::nullopt;
        return refused("another volume is mounted at " + shown);
    }
    int empty = system.checkEmptyDirectory(request.mountPoint);
    if (empty == ENOTEMPTY) return refused(shown + " is a folder that is not empty");
    if (empty != 0) return refused("cannot read " + shown + ": " + errorText(empty));
    return std::nullopt;
}

// After the system's mount is gone: the mount point exists as an empty folder on /Volumes itself.
std::optional<Outcome> prepareMountPoint(HelperSystem& system, const std::string& mountPoint,
                                         std::uint64_t volumesDevice, bool& created) {
    std::string shown = printable(mountPoint);
    FileInfo existing = system.lstat(mountPoint);
    if (existing.error == ENOENT) {
        int error = system.makeDirectory(mountPoint);
        if (error != 0 && error != EEXIST) return failed("cannot create " + shown + ": " + errorText(error));
        created = error == 0;
        existing = system.lstat(mountPoint);
    }
    if (existing.error != 0)
        return refused("cannot inspect " + shown + " (" + errorText(existing.error) +
                       "); something may still be mounted there");
    if (existing.isSymbolicLink || !existing.isDirectory) return refused(shown + " is not a folder");
    if (existing.device != volumesDevice) return refused("something is still mounted at " + shown);
    return std::nullopt;
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

// The system's mount is gone and the mount point ready: probe, mount, verify.
Outcome mountPrepared(HelperSystem& system, const Request& request, const std::string& ntfs3g,
                      std::uint64_t volumesDevice) {
    if (std::optional<Outcome> denied = stopIfWritesRefused(system, request.device)) return *denied;

    std::string node = "/dev/" + request.device;
    std::string shown = printable(request.mountPoint);
    CommandResult run =
        runCommand(ntfs3g, {node, request.mountPoint, "-o", "volname=" + request.volumeName + ",local,noowners,noatime"},
                   kNtfs3gTimeLimit);
    // ntfs-3g's own words go first, always: the caller classifies failures by them.
    Outcome outcome{kFailed, {}};
    outcome.quote(run.out);
    if (run.exit != 0) {
        outcome.say("ntfs-3g could not mount " + node + " (exit status " + std::to_string(run.exit) + ")");
        // One stopped at the time limit may have mounted before it was stopped.
        if (FileInfo now = system.lstat(request.mountPoint); now.error != 0 || now.device != volumesDevice) {
            if (Outcome cleanup = forceUnmount(system, request.mountPoint); cleanup.status != kSucceeded)
                outcome.quote(cleanup.text).say("could not unmount " + shown + " again");
        }
        return outcome;
    }

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

// Nothing of the system's is mounted any more: make the mount point and mount. A failure leaves
// /Volumes as it was found.
Outcome mountInPlaceOfSystem(HelperSystem& system, const Request& request, const std::string& ntfs3g,
                             std::uint64_t volumesDevice) {
    bool created = false;
    if (std::optional<Outcome> stop = prepareMountPoint(system, request.mountPoint, volumesDevice, created))
        return *stop;
    Outcome outcome = mountPrepared(system, request, ntfs3g, volumesDevice);
    if (outcome.status != kSucceeded && created) system.removeDirectory(request.mountPoint);
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
    if (std::optional<Outcome> stop = stopUnlessNtfsDevice(system, request.device)) return *stop;
    if (std::optional<Outcome> busy = stopIfServedByNtfs3g(system, request.device)) return *busy;
    MountTable table;
    if (std::optional<Outcome> unreadable = readMountTable(table)) return *unreadable;
    std::uint64_t volumesDevice = 0;
    if (std::optional<Outcome> stop = checkVolumesFolder(system, volumesDevice)) return *stop;
    if (std::optional<Outcome> taken = checkTargetIsFree(system, request, table, volumesDevice)) return *taken;

    if (mountPointOfDevice(table, request.device)) {
        Outcome unmounted = unmountSystemMount(request.device);
        if (unmounted.status != kSucceeded) return unmounted;
        // From here on a failure mounts the device again as the system had it.
        Outcome outcome = mountInPlaceOfSystem(system, request, *ntfs3g.path, volumesDevice);
        if (outcome.status != kSucceeded) restoreSystemMount(outcome, request.device);
        return outcome;
    }
    return mountInPlaceOfSystem(system, request, *ntfs3g.path, volumesDevice);
}

}  // namespace drivelark::helper
