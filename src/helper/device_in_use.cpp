#include "helper/device_in_use.h"

#include "foundation/command_runner.h"
#include "foundation/system_programs.h"
#include "platform/posix/posix_error.h"

namespace drivelark::helper {

bool listsDevice(std::string_view listing, std::string_view device) {
    std::string prefix = "/dev/" + std::string(device) + " on ";
    while (!listing.empty()) {
        size_t end = listing.find('\n');
        if (listing.substr(0, end).starts_with(prefix)) return true;
        if (end == std::string_view::npos) break;
        listing.remove_prefix(end + 1);
    }
    return false;
}

std::optional<Outcome> stopIfInUse(HelperSystem& system, const std::string& device, const VolumeDescription& info) {
    std::string node = "/dev/" + device;
    if (info.mountPoint && !info.mountPoint->empty())
        return refused(node + " is mounted at " + printable(*info.mountPoint) + "; unmount it first");

    CommandResult listing = runCommand(kMountPath, {});
    if (listing.exit != 0) {
        Outcome outcome{kFailed, {}};
        return outcome.quote(listing.out)
            .say("cannot list the mounted file systems, so cannot tell whether " + node + " is in use");
    }
    if (listsDevice(listing.out, device)) return refused(node + " is mounted; unmount it first");

    LockTest lock = system.testWriteLock(node);
    if (lock.error != 0) {
        if (isWriteDenial(lock.error))
            return failed("__WRITE_DENIED__ the system refuses to open " + node + " for writing (" +
                          errorText(lock.error) + ")");
        return failed("cannot open " + node + " to see whether it is in use: " + errorText(lock.error));
    }
    if (lock.lockedByOther) return refused(node + " is held open by another program (a mounted ntfs-3g?)");
    return std::nullopt;
}

}  // namespace drivelark::helper
