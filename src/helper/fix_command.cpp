#include "helper/commands.h"

#include "helper/device_use.h"
#include "helper/ntfs_device.h"
#include "helper/trusted_tools.h"

namespace drivelark::helper {

namespace {

constexpr std::chrono::seconds kProbeTimeLimit{15};
constexpr std::chrono::seconds kNtfsfixTimeLimit{30};
// Kept for putting the system's mount back after a failed repair.
constexpr std::chrono::seconds kAfterNtfsfix{15};

// Why the probe's verdict stops the repair; empty when ntfsfix may run.
std::string whyNotRepairable(ProbeVerdict verdict, Outcome& outcome, const std::string& node) {
    switch (verdict) {
        case ProbeVerdict::mountable:
        case ProbeVerdict::unclean:
            return {};
        case ProbeVerdict::fastRestart:
            outcome.mark(HelperProtocol::kUnsafeState);
            return {};
        case ProbeVerdict::hibernated:
            // ntfsfix would empty the journal before it gives up; Windows, resuming, would then
            // lose what it had not written yet.
            outcome.mark(HelperProtocol::kHibernated);
            return "Windows was hibernated on this volume: start Windows, let it resume and shut it down fully, "
                   "then try again";
        case ProbeVerdict::notNtfs:
            return node + " does not hold an NTFS file system any more";
        case ProbeVerdict::corrupt:
            return node + " is damaged: ntfs-3g.probe finds it corrupt";
        case ProbeVerdict::unknown:
            break;
    }
    return "cannot tell whether Windows is hibernated on " + node + ", so its mark is left alone";
}

// The device is not mounted and nobody holds it: check it once more, then clear the mark.
Outcome repair(Session& session, const Request& request, const std::string& probe, const std::string& ntfsfix) {
    HelperSystem& system = session.system;
    const std::string& device = request.device;
    if (Outcome locked = stopIfLockedByOther(system, device); !locked.ok()) return locked;
    if (Outcome denied = stopIfWritesRefused(system, device); !denied.ok()) return denied;
    if (Outcome stop = stopUnlessNtfs(system, device); !stop.ok()) return stop;

    std::string node = "/dev/" + device;
    Outcome outcome{kFailed, {}};
    ProgramRun probed = session.run(probe, {"--readwrite", node}, kProbeTimeLimit);
    outcome.quote(probed, probe);
    if (std::string why = whyNotRepairable(probeVerdict(probed), outcome, node); !why.empty()) return outcome.say(why);
    if (Outcome stop = stopUnlessTheVolume(session, device, request.volumeIdentity); !stop.ok()) return stop;

    auto limit = std::min<std::chrono::milliseconds>(kNtfsfixTimeLimit, session.left() - kAfterNtfsfix);
    ProgramRun fixed = session.run(ntfsfix, {"-d", node}, limit);
    outcome.quote(fixed, ntfsfix);
    if (succeeded(fixed)) {
        outcome.status = kSucceeded;
        return outcome;
    }
    return outcome.say("ntfsfix could not clear the mark on " + node);
}

}  // namespace

Outcome runFix(Session& session, const Request& request) {
    HelperSystem& system = session.system;
    const std::string& device = request.device;
    std::string probe, ntfsfix;
    if (Outcome stop = trustedTool(system, "ntfs-3g.probe", &probe); !stop.ok()) return stop;
    if (Outcome stop = trustedTool(system, "ntfsfix", &ntfsfix); !stop.ok()) return stop;
    if (Outcome stop = stopUnlessTheVolume(session, device, request.volumeIdentity); !stop.ok()) return stop;
    if (Outcome stop = stopUnlessNtfs(system, device); !stop.ok()) return stop;
    if (Outcome busy = stopIfServedByNtfs3g(session, device); !busy.ok()) return busy;
    std::vector<ListedMount> mounts;
    if (Outcome unreadable = readMounts(session, mounts); !unreadable.ok()) return unreadable;
    std::optional<ListedMount> systemMount;
    if (Outcome stop = findSystemMount(mounts, device, systemMount); !stop.ok()) return stop;
    if (!systemMount) return repair(session, request, probe, ntfsfix);

    // ntfsfix would change the volume underneath a mount, even a read-only one.
    if (Outcome stop = stopUnlessTheVolume(session, device, request.volumeIdentity); !stop.ok()) return stop;
    Outcome unmounted = unmountSystemMount(session, device);
    if (!unmounted.ok()) return unmounted;
    Outcome outcome = repair(session, request, probe, ntfsfix);
    if (!outcome.ok()) restoreSystemMount(session, outcome, device);
    return outcome;
}

}  // namespace drivelark::helper
