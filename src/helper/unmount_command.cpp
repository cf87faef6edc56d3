#include "helper/commands.h"

#include <algorithm>

#include "foundation/system_programs.h"
#include "helper/device_use.h"

namespace drivelark::helper {

namespace {

constexpr const char* kUmountPath = "/sbin/umount";
constexpr std::chrono::seconds kDiskutilTimeLimit{8};
constexpr std::chrono::seconds kUmountTimeLimit{5};
constexpr std::chrono::seconds kPsTimeLimit{5};
constexpr std::chrono::milliseconds kBetweenLooks{100};
// How long an ntfs-3g may take to end by itself once its mount is gone, and after SIGTERM.
constexpr std::chrono::seconds kOwnEnd{2};
constexpr std::chrono::seconds kTerminationGrace{2};

// Whether process `pid` is, right now, a root ntfs-3g started for `mountPoint`. ps is asked for
// that process alone, so that no other program's arguments can pass for its line.
bool isNtfs3gNow(Session& session, int pid, const std::string& mountPoint) {
    ProgramRun listing =
        session.run(kPsPath, {"-ww", "-p", std::to_string(pid), "-o", "pid=,ppid=,uid=,args="}, kPsTimeLimit);
    std::optional<std::vector<Process>> processes =
        succeeded(listing) ? parseProcessList(listing.output, pid) : std::nullopt;
    return processes && std::ranges::any_of(*processes, [&](const Process& process) {
               return process.pid == pid && isRootNtfs3gFor(process, mountPoint);
           });
}

// False when process `pid` is still that ntfs-3g after `time`.
bool waitUntilGone(Session& session, int pid, const std::string& mountPoint, std::chrono::milliseconds time) {
    for (auto end = session.system.now() + time;;) {
        if (!isNtfs3gNow(session, pid, mountPoint)) return true;
        if (session.system.now() >= end || !session.pause(kBetweenLooks)) return false;
    }
}

// An ntfs-3g that outlives its mount has stopped answering, or was stopped outright, and would
// keep its device from being mounted again.
void endNtfs3g(Session& session, Outcome& outcome, int pid, const std::string& mountPoint) {
    if (waitUntilGone(session, pid, mountPoint, kOwnEnd)) return;
    std::string which = "ntfs-3g (process " + std::to_string(pid) + ")";
    outcome.say(which + " did not end with its mount; ending it");
    session.system.signal(pid, Signal::resume);
    session.system.signal(pid, Signal::terminate);
    if (waitUntilGone(session, pid, mountPoint, kTerminationGrace)) return;
    session.system.signal(pid, Signal::kill);
    if (waitUntilGone(session, pid, mountPoint, kTerminationGrace)) return;
    outcome.status = kFailed;
    outcome.say("could not end " + which + "; its device stays in use");
}

}  // namespace

Outcome forceUnmount(Session& session, const std::string& mountPoint) {
    Outcome outcome;
    ProgramRun diskutil = session.run(kDiskutilPath, {"unmount", "force", mountPoint}, kDiskutilTimeLimit);
    outcome.quote(diskutil, kDiskutilPath);
    if (succeeded(diskutil)) return outcome;
    ProgramRun umount = session.run(kUmountPath, {"-f", mountPoint}, kUmountTimeLimit);
    outcome.quote(umount, kUmountPath);
    outcome.status = succeeded(umount) ? kSucceeded : kFailed;
    return outcome;
}

Outcome runUnmount(Session& session, const std::string& mountPoint) {
    std::vector<Process> processes;
    if (Outcome unreadable = readProcesses(session, processes); !unreadable.ok()) return unreadable;
    std::vector<ListedMount> mounts;
    if (Outcome unreadable = readMounts(session, mounts); !unreadable.ok()) return unreadable;
    std::vector<ListedMount> here = mountsAt(mounts, mountPoint);
    if (here.empty()) return Outcome{}.say("nothing is mounted at " + mountPoint);
    if (here.size() > 1 || !isFuseTMount(here.front().entry))
        return refused(mountPoint + " is not an ntfs-3g mount; not touching it");

    // Ours: served by a root ntfs-3g started for it, or by nobody any more (its ntfs-3g is gone).
    // Our own command line and our callers' name the mount point too.
    const std::vector<int> lineage = ownLineage(processes, session.system.processId());
    std::optional<int> ntfs3g;
    std::optional<Process> other;
    for (const Process& process : processes) {
        if (std::ranges::find(lineage, process.pid) != lineage.end() || !namesMountPoint(process, mountPoint)) continue;
        if (!ntfs3g && isRootNtfs3gFor(process, mountPoint) && isNtfs3gNow(session, process.pid, mountPoint)) {
            ntfs3g = process.pid;
        } else if (!other) {
            other = process;
        }
    }
    if (!ntfs3g && other)
        return refused(mountPoint + " is named by process " + std::to_string(other->pid) +
                       ", which may serve it and is not ntfs-3g; not touching it");

    Outcome outcome = forceUnmount(session, mountPoint);
    if (!outcome.ok()) return outcome.say("could not unmount " + mountPoint);
    if (ntfs3g) endNtfs3g(session, outcome, *ntfs3g, mountPoint);
    return outcome;
}

}  // namespace drivelark::helper
