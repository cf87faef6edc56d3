#include "helper/unmount_command.h"

#include "foundation/command_runner.h"
#include "foundation/system_programs.h"

namespace drivelark::helper {

Outcome forceUnmount(HelperSystem& system, const std::string& mountPoint) {
    CommandResult diskutil = runCommand(kDiskutilPath, {"unmount", "force", mountPoint});
    Outcome outcome{statusAfterChild(diskutil.exit), {}};
    outcome.quote(diskutil.out);
    if (outcome.status == kSucceeded) return outcome;
    // macOS has /sbin/umount; Linux, where the simulated Mac runs, has it in /usr/bin or /bin.
    for (const char* umount : {"/sbin/umount", "/usr/bin/umount", "/bin/umount"}) {
        if (system.stat(umount).error != 0) continue;
        CommandResult forced = runCommand(umount, {"-f", mountPoint});
        outcome.status = statusAfterChild(forced.exit);
        outcome.quote(forced.out);
        break;
    }
    return outcome;
}

Outcome runUnmount(HelperSystem& system, const std::string& mountPoint) {
    // A dead FUSE mount answers lstat with ENOTCONN: that is the case this command exists for, so
    // only a symbolic link, which could lead the unmount elsewhere, stops it.
    FileInfo info = system.lstat(mountPoint);
    if (info.error == 0 && info.isSymbolicLink) return refused(printable(mountPoint) + " is a symbolic link");
    Outcome outcome = forceUnmount(system, mountPoint);
    if (outcome.status != kSucceeded) outcome.say("could not unmount " + printable(mountPoint));
    return outcome;
}

}  // namespace drivelark::helper
