#include "helper/fix_command.h"

#include "foundation/command_runner.h"
#include "helper/device_use.h"
#include "helper/ntfs_device.h"
#include "helper/system_mount.h"
#include "helper/trusted_tools.h"

namespace drivelark::helper {

namespace {

// The device is not mounted and nobody holds it: check for hibernation, then clear the mark.
Outcome fixUnmounted(HelperSystem& system, const std::string& device, const std::string& probe,
                     const std::string& ntfsfix) {
    if (std::optional<Outcome> locked = stopIfLockedByOther(system, device)) return *locked;
    if (std::optional<Outcome> denied = stopIfWritesRefused(system, device)) return *denied;

    std::string node = "/dev/" + device;
    Outcome outcome{kFailed, {}};
    // On a hibernated volume ntfsfix empties the journal before it gives up; Windows, resuming,
    // would then lose what it had not written yet. When the probe cannot tell, nothing is done.
    CommandResult probed = runCommand(probe, {"--readwrite", node});
    if (probed.out.find("hibernated") != std::string::npos)
        return outcome.quote(probed.out)
            .say(
                "Windows was hibernated on this volume: start Windows, let it resume and shut it down fully, "
                "then try again");
    if (probed.exit == 126 || probed.exit == 127 || probed.exit >= 128)
        return outcome.quote(probed.out)
            .say("cannot tell whether Windows is hibernated on " + node + ", so its mark is left alone");

    CommandResult fixed = runCommand(ntfsfix, {"-d", node});
    outcome.status = statusAfterChild(fixed.exit);
    outcome.quote(fixed.out);
    if (outcome.status != kSucceeded)
        outcome.say("ntfsfix could not clear the mark on " + node + " (exit status " + std::to_string(fixed.exit) +
                    ")");
    return outcome;
}

}  // namespace

Outcome runFix(HelperSystem& system, const std::string& device) {
    TrustedTool probe = trustedTool(system, "ntfs-3g.probe");
    if (!probe.path) return refused(probe.problem);
    TrustedTool ntfsfix = trustedTool(system, "ntfsfix");
    if (!ntfsfix.path) return refused(ntfsfix.problem);
    if (std::optional<Outcome> stop = stopUnlessNtfsDevice(system, device)) return *stop;
    if (std::optional<Outcome> busy = stopIfServedByNtfs3g(system, device)) return *busy;
    MountTable table;
    if (std::optional<Outcome> unreadable = readMountTable(table)) return *unreadable;

    std::optional<std::string> mountPoint = mountPointOfDevice(table, device);
    if (!mountPoint) return fixUnmounted(system, device, *probe.path, *ntfsfix.path);
    // ntfsfix would change the volume underneath a mount. Only the system's own read-only mount is
    // taken away for the repair; it comes back if the repair fails.
    const MountEntry& mount = table.at(*mountPoint);
    if (mount.type != "ntfs" || !mount.readOnly)
        return refused("/dev/" + device + " is mounted at " + printable(*mountPoint) + "; eject it first");
    Outcome unmounted = unmountSystemMount(device);
    if (unmounted.status != kSucceeded) return unmounted;
    Outcome outcome = fixUnmounted(system, device, *probe.path, *ntfsfix.path);
    if (outcome.status != kSucceeded) restoreSystemMount(outcome, device);
    return outcome;
}

}  // namespace drivelark::helper
