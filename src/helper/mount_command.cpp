#include "helper/commands.h"

#include <cerrno>

#include "helper/device_use.h"
#include "helper/ntfs_device.h"
#include "helper/trusted_tools.h"
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
Outcome checkVolumesFolder(HelperSystem& system, std::uint64_t& device) {
    FileInfo volumes;
    if (Status looked = system.lstat(kVolumesFolder, &volumes); !looked.ok())
        return failed(std::string("cannot inspect /Volumes: ") + errorText(looked.errorNumber()));
    if (volumes.isSymbolicLink || !volumes.isDirectory || volumes.owner != 0)
        return refused("/Volumes is not a folder that root owns");
    device = volumes.device;
    return Outcome{};
}

// Before anything is unmounted: nothing may be mounted at the mount point but the device's own
// system mount, which the remount replaces, and where nothing is, there may be nothing or an empty
// real folder. Another disk's mount, a link (macOS ships "/Volumes/Macintosh HD" -> "/") or a file
// are never touched.
Outcome checkTargetIsFree(HelperSystem& system, const std::string& mountPoint, const std::vector<ListedMount>& mounts,
                          const std::optional<ListedMount>& systemMount, std::uint64_t volumesDevice) {
    std::vector<ListedMount> here = mountsAt(mounts, mountPoint);
    if (!here.empty()) {
        if (here.size() == 1 && here.front() == systemMount) return Outcome{};
        return refused("another volume is mounted at " + mountPoint);
    }
    // Nothing is mounted there, so looking cannot block.
    FileInfo target;
    Status looked = system.lstat(mountPoint, &target);
    if (looked.errorNumber() == ENOENT) return Outcome{};
    if (!looked.ok()) return refused("cannot inspect " + mountPoint + ": " + errorText(looked.errorNumber()));
    if (target.isSymbolicLink) return refused(mountPoint + " is a symbolic link");
    if (!target.isDirectory) return refused(mountPoint + " is not a folder");
    if (target.device != volumesDevice) return refused("another volume is mounted at " + mountPoint);
    Status empty = system.checkEmptyDirectory(mountPoint);
    if (empty.errorNumber() == ENOTEMPTY) return refused(mountPoint + " is a folder that is not empty");
    if (!empty.ok()) return refused("cannot read " + mountPoint + ": " + errorText(empty.errorNumber()));
    return Outcome{};
}

// After the system's mount is gone: the mount point exists as an empty folder on /Volumes itself.
Outcome prepareMountPoint(HelperSystem& system, const std::string& mountPoint, std::uint64_t volumesDevice,
                          bool& created) {
    FileInfo existing;
    Status looked = system.lstat(mountPoint, &existing);
    if (looked.errorNumber() == ENOENT) {
        Status made = system.makeDirectory(mountPoint);
        if (!made.ok() && made.errorNumber() != EEXIST)
            return failed("cannot create " + mountPoint + ": " + errorText(made.errorNumber()));
        created = made.ok();
        looked = system.lstat(mountPoint, &existing);
    }
    if (!looked.ok())
        return refused("cannot inspect " + mountPoint + " (" + errorText(looked.errorNumber()) +
                       "); something may still be mounted there");
    if (existing.isSymbolicLink || !existing.isDirectory) return refused(mountPoint + " is not a folder");
    if (existing.device != volumesDevice) return refused("something is still mounted at " + mountPoint);
    return Outcome{};
}

std::optional<ListedMount> waitUntilMounted(Session& session, const std::string& mountPoint) {
    for (int poll = 0;; ++poll) {
        std::vector<ListedMount> mounts;
        if (readMounts(session, mounts).ok()) {
            std::vector<ListedMount> here = mountsAt(mounts, mountPoint);
            if (!here.empty()) return here.back();
        }
        if (poll == kMountPolls || !session.pause(kMountPollInterval)) return std::nullopt;
    }
}

// Why the new mount is not writable; empty when it is. ntfs-3g mounts a volume that Windows left
// hibernated or fast-started read-only, and says it succeeded.
std::string whyNotWritable(HelperSystem& system, const ListedMount& mounted, bool& fellBackToReadOnly) {
    bool readOnly = false;
    if (Status asked = system.volumeMode(mounted.mountPoint, &readOnly); !asked.ok())
        return "cannot tell whether " + mounted.mountPoint + " is writable: " + errorText(asked.errorNumber());
    fellBackToReadOnly = readOnly || mounted.entry.readOnly;
    if (!fellBackToReadOnly) return {};
    return "ntfs-3g mounted " + mounted.mountPoint + " read-only: Windows left the volume in an unsafe state";
}

// Which unsafe state ntfs-3g fell back from, asked of the probe once its mount is gone: one that
// nothing may write to (hibernation; also when the probe cannot tell), or one a repair can clear.
void markUnsafeState(Session& session, const Request& request, Outcome& outcome) {
    std::string probe;
    ProbeVerdict verdict = ProbeVerdict::unknown;
    if (trustedTool(session.system, "ntfs-3g.probe", &probe).ok()) {
        ProgramRun probed = session.run(probe, {"--readwrite", "/dev/" + request.device}, kProbeTimeLimit);
        verdict = probeVerdict(probed);
    }
    bool hibernated = verdict == ProbeVerdict::hibernated || verdict == ProbeVerdict::unknown;
    outcome.mark(hibernated ? HelperProtocol::kHibernated : HelperProtocol::kUnsafeState);
}

// Nothing read-only may stay mounted, not even a mount that appeared late.
void takeAwayNtfs3gMount(Session& session, Attempt& attempt, const std::string& mountPoint) {
    std::vector<ListedMount> mounts;
    if (readMounts(session, mounts).ok() && mountsAt(mounts, mountPoint).empty()) return;
    Outcome cleanup = forceUnmount(session, mountPoint);
    if (cleanup.ok()) return;
    attempt.outcome.text += cleanup.text;
    attempt.outcome.say("could not unmount " + mountPoint + " again");
    attempt.ntfs3gMountLeft = true;
}

// The system's mount is gone and the mount point ready: probe, mount, verify.
Attempt mountPrepared(Session& session, const Request& request, const std::string& ntfs3g) {
    if (Outcome denied = stopIfWritesRefused(session.system, request.device); !denied.ok()) return {denied};
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
    if (Outcome stop = prepareMountPoint(session.system, request.mountPoint, volumesDevice, created); !stop.ok())
        return {stop};
    Attempt attempt = mountPrepared(session, request, ntfs3g);
    if (!attempt.outcome.ok() && created && !attempt.ntfs3gMountLeft)
        session.system.removeDirectory(request.mountPoint);
    return attempt;
}

}  // namespace

Outcome runMount(Session& session, const Request& request) {
    // Everything that can refuse comes before the system's mount is taken away.
    HelperSystem& system = session.system;
    std::string ntfs3g;
    if (Outcome stop = trustedTool(system, "ntfs-3g", &ntfs3g); !stop.ok()) return stop;
    if (Outcome stop = stopUnlessTheVolume(session, request.device, request.volumeIdentity); !stop.ok()) return stop;
    if (Outcome stop = stopUnlessNtfs(system, request.device); !stop.ok()) return stop;
    if (Outcome busy = stopIfServedByNtfs3g(session, request.device); !busy.ok()) return busy;
    std::vector<ListedMount> mounts;
    if (Outcome unreadable = readMounts(session, mounts); !unreadable.ok()) return unreadable;
    std::optional<ListedMount> systemMount;
    if (Outcome stop = findSystemMount(mounts, request.device, systemMount); !stop.ok()) return stop;
    std::uint64_t volumesDevice = 0;
    if (Outcome stop = checkVolumesFolder(system, volumesDevice); !stop.ok()) return stop;
    if (Outcome taken = checkTargetIsFree(system, request.mountPoint, mounts, systemMount, volumesDevice);
        !taken.ok())
        return taken;
    // The last look before anything changes: the device may have passed to another disk meanwhile.
    if (Outcome stop = stopUnlessTheVolume(session, request.device, request.volumeIdentity); !stop.ok()) return stop;

    if (!systemMount) return mountInPlace(session, request, ntfs3g, volumesDevice).outcome;
    Outcome unmounted = unmountSystemMount(session, request.device);
    if (!unmounted.ok()) return unmounted;
    Attempt attempt = mountInPlace(session, request, ntfs3g, volumesDevice);
    if (attempt.outcome.ok()) return attempt.outcome;
    // Never mounted twice: the system's mount comes back only when ntfs-3g's is gone.
    if (attempt.ntfs3gMountLeft) {
        attempt.outcome.say("so /dev/" + request.device + " is not mounted again as the system had it");
    } else {
        restoreSystemMount(session, attempt.outcome, request.device);
    }
    return attempt.outcome;
}

}  // namespace drivelark::helper
