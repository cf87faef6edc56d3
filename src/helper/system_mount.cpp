#include "helper/system_mount.h"

#include "foundation/command_runner.h"
#include "foundation/system_programs.h"

namespace drivelark::helper {

Outcome unmountSystemMount(const std::string& device) {
    CommandResult forced = runCommand(kDiskutilPath, {"unmount", "force", device});
    if (forced.exit == 0) return Outcome{};
    CommandResult plain = runCommand(kDiskutilPath, {"unmount", device});
    Outcome outcome{statusAfterChild(plain.exit), {}};
    if (outcome.status != kSucceeded)
        outcome.quote(forced.out).quote(plain.out).say("could not unmount /dev/" + device);
    return outcome;
}

void restoreSystemMount(Outcome& outcome, const std::string& device) {
    CommandResult mounted = runCommand(kDiskutilPath, {"mount", device});
    if (mounted.exit == 0) {
        outcome.say("mounted /dev/" + device + " again as the system had it");
    } else {
        outcome.quote(mounted.out).say("could not mount /dev/" + device + " again");
    }
}

}  // namespace drivelark::helper
