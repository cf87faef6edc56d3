#include "helper/mount_command.h"

#include <cerrno>

#include "helper/device_use.h"
#include "helper/ntfs_device.h"
#include "helper/system_mount.h"
#include "helper/trusted_tools.h"
#include "helper/unmount_command.h"
#include "platform/posix/posix_error.h"

namespace drivelark::helper {

namespace {

constexpr const char* kVolumesFolder = "/Volumes";
// How long a mount may take to appear after ntfs-3g returns (FUSE-T mounts show up late).
constexpr std::chrono::milliseconds kMountPollInterval{100};
constexpr int kMountPolls = 100;
// ntfs-3g mounts a healthy volume within seconds; one that never returns (a failing disk) would
// otherwise hold the disk unmounted for good, the system's mount already gone.
constexpr std::chrono::seconds kNtfs3gTimeLimit{60};
// What a failed mount may still need once ntfs-3g has returned: waiting for its mount, taking it
// away again and putting the system's mount back.
constexpr std::chrono::seconds kAfterNtfs3g{40};

constexpr std::chrono::seconds kProbeTimeLimit{15};

struct Attempt {
    Outcome outcome;
    bool ntfs3gMountLeft = false;  // what ntfs-3g mounted could not be taken away
};

// /Volumes must be root's own folder, not a link to one: everything below it is trusted.
std::optional<Outcome> checkVolumesFolder(HelperSystem& system, std::uint64_t& device) {
    FileInfo volumes = system.lstat(kVolumesFolder);
    if (volumes.error != 0) return failed(std::string("cannot inspect /Volumes: ") + errorText(volumes.error));
    if (volumes.isSymbolicLink || !volumes.isDirectory || volumes.owner != 0)
        return refused("/Volumes is not a folder that root owns");
    device = volumes.device;
    return std::nullopt;
}

// Before anything is unmounted: nothing may be mounted at the mount point but the device's own
// system mount, which the remount replaces, and where nothing is, there may be nothing or an empty
// real folder. Another disk's mount, a link (macOS ships "/Volumes/Macintosh HD" -> "/") or a file
// are never touched.
std::optional<Outcome> checkTargetIsFree(HelperSystem& system, const std::string& mountPoint,
                                         const std::vector<ListedMount>& mounts,
                                         const std::optional<ListedMount>& systemMount, std::uint64_t volumesDevice) {
    std::vector<ListedMount> here = mountsAt(mounts, mountPoint);
    if (!here.empty()) {
        if (here.size() == 1 && here.front() == systemMount) return std::nullopt;
        return refused("another volume is mounted at " + mountPoint);
    }
    // Nothing is mounted there, so looking cannot block.
    FileInfo target = system.lstat(mountPoint);
    if (target.error == ENOENT) return std::nullopt;
    if (target.error != 0) return refused("cannot inspect " + mountPoint + ": " + errorText(target.error));
    if (target.isSymbolicLink) return refused(mountPoint + " is a symbolic link");
    if (!target.isDirectory) return refused(mountPoint + " is not a folder");
    if (target.device != volumesDevice) return refused("another volume is mounted at " + mountPoint);
    int empty = system.checkEmptyDirectory(mountPoint);
    if (empty == ENOTEMPTY) return refused(mountPoint + " is a folder that is not empty");
    if (empty != 0) return refused("cannot read " + mountPoint + ": " + errorText(empty));
    return std::nullopt;
}

// After the system's mount is gone: the mount point exists as an empty folder on /Volumes itself.
std::optional<Outcome> prepareMountPoint(HelperSystem& system, const std::string& mountPoint,
                                         std::uint64_t volumesDevice, bool& created) {
    FileInfo existing = system.lstat(mountPoint);
    if (existing.error == ENOENT) {
        int error = system.makeDirectory(mountPoint);
        if (error != 0 && error != EEXIST) return failed("cannot create " + mountPoint + ": " + errorText(error));
        created = error == 0;
        existing = system.lstat(mountPoint);
    }
    if (existing.error != 0)
        return refused("cannot inspect " + mountPoint + " (" + errorText(existing.error) +
                       "); something may still be mounted there");
    if (existing.isSymbolicLink || !existing.isDirectory) return refused(mountPoint + " is not a folder");
    if (existing.device != volumesDevice) return refused("something is still mounted at " + mountPoint);
    return std::nullopt;
}

std::optional<ListedMount> waitUntilMounted(Session& session, const std::string& mountPoint) {
    for (int poll = 0;; ++poll) {
        std::vector<ListedMount> mounts;
        if (!readMounts(session, mounts)) {
            std::vector<ListedMount> here = mountsAt(mounts, mountPoint);
            if (!here.empty()) return here.back();
        }
        if (poll == kMountPolls || !session.pause(kMountPollInterval)) return std::nullopt;
    }
}

// Why the new mount is not writable; empty when it is. ntfs-3g mounts a volume that Windows left
// hibernated or fast-started read-only, and says it succeeded.
std::string whyNotWritable(HelperSystem& system, const ListedMount& mounted, bool& fellBackToReadOnly) {
    VolumeMode mode = system.volumeMode(mounted.mountPoint);
    if (mode.error != 0) return "cannot tell whether " + mounted.mountPoint + " is writable: " + errorText(mode.error);
    fellBackToReadOnly = mode.readOnly || mounted.entry.readOnly;
    if (!fellBackToReadOnly) return {};
    return "ntfs-3g mounted " + mounted.mountPoint + " read-only: Windows left the volume in an unsafe state";
}

// Which unsafe state ntfs-3g fell back from, asked of the probe once its mount is gone: one that
// nothing may write to (hibernation; also when the probe cannot tell), or one a repair can clear.
void markUnsafeState(Session& session, const Request& request, Outcome& outcome) {
    TrustedTool probe = trustedTool(session.system, "ntfs-3g.probe");
    ProbeVerdict verdict = ProbeVerdict::unknown;
    if (probe.path) {
        ProgramRun probed = session.run(*probe.path, {"--readwrite", "/dev/" + request.device}, kProbeTimeLimit);
        verdict = probeVerdict(probed);
    }
    bool hibernated = verdict == ProbeVerdict::hibernated || verdict == ProbeVerdict::unknown;
    outcome.mark(hibernated ? HelperProtocol::kHibernated : HelperProtocol::kUnsafeState);
}

// Nothing read-only may stay mounted, not even a mount that appeared late.
void takeAwayNtfs3gMount(Session& session, Attempt& attempt, const std::string& mountPoint) {
    std::vector<ListedMount> mounts;
    if (!readMounts(session, mounts) && mountsAt(mounts, mountPoint).empty()) return;
    Outcome cleanup = forceUnmount(session, mountPoint);
    if (cleanup.status == kSucceeded) return;
    attempt.outcome.text += cleanup.text;
    attempt.outcome.say("could not unmount " + mountPoint + " again");
    attempt.ntfs3gMountLeft = true;
}

// The system's mount is gone and the mount point ready: probe, mount, verify.
Attempt mountPrepared(Session& session, const Request& request, const std::string& ntfs3g) {
    if (std::optional<Outcome> denied = stopIfWritesRefused(session.system, request.device)) return {*denied};
    std::string node = "/dev/" + request.device;
    auto limit = std::min<std::chrono::milliseconds>(kNtfs3gTimeLimit, session.left() - kAfterNtfs3g);
    ProgramRun run = session.run(
        ntfs3g, {node, request.mountPoint, "-o", "volname=" + request.volumeName + ",local,noowners,noatime"}, limit);
    Attempt attempt{Outcome{kFailed, {}}};
    attempt.outcome.quote(run, ntfs3g);
    std::string problem;
    bool fellBackToReadOnly = false;
    if (!succeeded(run)) {
        problem = "ntfs-3g could not mount " + node +
                  (run.launch.ok() && !run.timedOut ? " (exit status " + std::to_string(run.status) + ")" : "");
    } else if (std::optional<ListedMount> mounted = waitUntilMounted(session, request.mountPoint)) {
        problem = whyNotWritable(session.system, *mounted, fellBackToReadOnly);
    } else {
        problem = "ntfs-3g returned, but nothing was mounted at " + request.mountPoint + " within " +
                  std::to_string(kMountPolls * kMountPollInterval.count() / 1000) + " seconds";
    }
    if (problem.empty()) {
        attempt.outcome.status = kSucceeded;
        return attempt;
    }
    attempt.outcome.say(problem);
    takeAwayNtfs3gMount(session, attempt, request.mountPoint);
    if (fellBackToReadOnly && !attempt.ntfs3gMountLeft) markUnsafeState(session, request, attempt.outcome);
    return attempt;
}

// Nothing of the system's is mounted any more: make the mount point and mount. A failure leaves
// /Volumes as it was found.
Attempt mountInPlace(Session& session, const Request& request, const std::string& ntfs3g,
                     std::uint64_t volumesDevice) {
    bool created = false;
    if (std::optional<Outcome> stop = prepareMountPoint(session.system, request.mountPoint, volumesDevice, created))
        return {*stop};
    Attempt attempt = mountPrepared(session, request, ntfs3g);
    if (attempt.outcome.status != kSucceeded && created && !attempt.ntfs3gMountLeft)
        session.system.removeDirectory(request.mountPoint);
    return attempt;
}

}  // namespace

Outcome runMount(Session& session, const Request& request) {
    // Everything that can refuse comes before the system's mount is taken away.
    HelperSystem& system = session.system;
    TrustedTool ntfs3g = trustedTool(system, "ntfs-3g");
    if (!ntfs3g.path) return refused(ntfs3g.problem);
    if (std::optional<Outcome> stop = stopUnlessTheVolume(session, request.device, request.volumeIdentity))
        return *stop;
    if (std::optional<Outcome> stop = stopUnlessNtfs(system, request.device)) return *stop;
    if (std::optional<Outcome> busy = stopIfServedByNtfs3g(session, request.device)) return *busy;
    std::vector<ListedMount> mounts;
    if (std::optional<Outcome> unreadable = readMounts(session, mounts)) return *unreadable;
    std::optional<ListedMount> systemMount;
    if (std::optional<Outcome> stop = findSystemMount(mounts, request.device, systemMount)) return *stop;
    std::uint64_t volumesDevice = 0;
    if (std::optional<Outcome> stop = checkVolumesFolder(system, volumesDevice)) return *stop;
    if (std::optional<Outcome> taken =
            checkTargetIsFree(system, request.mountPoint, mounts, systemMount, volumesDevice))
        return *taken;
    // The last look before anything changes: the device may have passed to another disk meanwhile.
    if (std::optional<Outcome> stop = stopUnlessTheVolume(session, request.device, request.volumeIdentity))
        return *stop;

    if (!systemMount) return mountInPlace(session, request, *ntfs3g.path, volumesDevice).outcome;
    Outcome unmounted = unmountSystemMount(session, request.device);
    if (unmounted.status != kSucceeded) return unmounted;
    Attempt attempt = mountInPlace(session, request, *ntfs3g.path, volumesDevice);
    if (attempt.outcome.status == kSucceeded) return attempt.outcome;
    // Never mounted twice: the system's mount comes back only when ntfs-3g's is gone.
    if (attempt.ntfs3gMountLeft) {
        attempt.outcome.say("so /dev/" + request.device + " is not mounted again as the system had it");
    } else {
        restoreSystemMount(session, attempt.outcome, request.device);
    }
    return attempt.outcome;
}

}  // namespace drivelark::helper
