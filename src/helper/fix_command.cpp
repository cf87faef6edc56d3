#include "helper/fix_command.h"

#include "foundation/command_runner.h"
#include "helper/device_in_use.h"
#include "helper/ntfs_device.h"
#include "helper/trusted_tools.h"

namespace drivelark::helper {

Outcome runFix(HelperSystem& system, const std::string& device) {
    TrustedTool probe = trustedTool(system, "ntfs-3g.probe");
    if (!probe.path) return refused(probe.problem);
    TrustedTool ntfsfix = trustedTool(system, "ntfsfix");
    if (!ntfsfix.path) return refused(ntfsfix.problem);
    DeviceCheck check = checkNtfsDevice(system, device);
    if (check.stop) return *check.stop;
    if (std::optional<Outcome> busy = stopIfInUse(system, device, check.info)) return *busy;
    if (std::optional<Outcome> denied = stopIfWritesRefused(system, device)) return *denied;

    std::string node = "/dev/" + device;
    Outcome outcome{kFailed, {}};
    // On a hibernated volume ntfsfix empties the journal before it gives up; Windows, resuming,
    // would then lose what it had not written yet.
    CommandResult probed = runCommand(*probe.path, {"--readwrite", node});
    if (probed.out.find("hibernated") != std::string::npos)
        return outcome.quote(probed.out)
            .say(
                "Windows was hibernated on this volume: start Windows, let it resume and shut it down fully, "
                "then try again");
    if (probed.exit == 126 || probed.exit == 127 || probed.exit >= 128)
        return outcome.quote(probed.out)
            .say("cannot tell whether Windows is hibernated on " + node + ", so its mark is left alone");

    CommandResult fixed = runCommand(*ntfsfix.path, {"-d", node});
    outcome.status = statusAfterChild(fixed.exit);
    outcome.quote(fixed.out);
    if (outcome.status != kSucceeded)
        outcome.say("ntfsfix could not clear the mark on " + node + " (exit status " + std::to_string(fixed.exit) +
                    ")");
    return outcome;
}

}  // namespace drivelark::helper
