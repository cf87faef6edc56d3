#include "helper/helper_request.h"

#include "discovery/volume_identity.h"
#include "mount/mount_target.h"

namespace drivelark::helper {

namespace {

constexpr const char* kUsage =
    "usage: drivelark-mount selftest | mount <device> <mount-point> <volume-name> <volume-identity> | "
    "fix <device> <volume-identity> | unmount <mount-point> | keepalive <device> | flush <device>";

Outcome deviceRequest(Request* request, Subcommand subcommand, const std::string& device,
                      const std::string* identity = nullptr) {
    if (!isDeviceIdentifier(device)) return refused("not a device name such as disk4s1: " + device);
    if (identity != nullptr && !isVolumeIdentity(*identity)) return refused("not a volume identity: " + *identity);
    *request = Request{subcommand, device, {}, {}, identity != nullptr ? *identity : ""};
    return Outcome{};
}

}  // namespace

Outcome parseRequest(const std::vector<std::string>& arguments, Request* request) {
    if (arguments.empty()) return refused(kUsage);
    for (const std::string& argument : arguments) {
        // Options are never ours; whatever they are meant to reach must not see them.
        if (!argument.empty() && argument.front() == '-')
            return refused("options are not accepted: " + argument);
    }
    const std::string& name = arguments.front();
    size_t operands = arguments.size() - 1;
    if (name == "selftest" && operands == 0) {
        *request = Request{};
        return Outcome{};
    }
    if (name == "fix" && operands == 2) return deviceRequest(request, Subcommand::fix, arguments[1], &arguments[2]);
    if (name == "keepalive" && operands == 1) return deviceRequest(request, Subcommand::keepalive, arguments[1]);
    if (name == "flush" && operands == 1) return deviceRequest(request, Subcommand::flush, arguments[1]);
    if (name == "unmount" && operands == 1) {
        if (!isVolumesMountPoint(arguments[1])) return refused("not a mount point in /Volumes: " + arguments[1]);
        *request = Request{Subcommand::unmount, {}, arguments[1], {}, {}};
        return Outcome{};
    }
    if (name == "mount" && operands == 4) {
        Outcome device = deviceRequest(request, Subcommand::mount, arguments[1], &arguments[4]);
        if (!device.ok()) return device;
        if (!isVolumesMountPoint(arguments[2])) return refused("not a mount point in /Volumes: " + arguments[2]);
        if (!isSafeVolumeName(arguments[3])) return refused("not a volume name ntfs-3g can take: " + arguments[3]);
        request->mountPoint = arguments[2];
        request->volumeName = arguments[3];
        return Outcome{};
    }
    return refused(kUsage);
}

}  // namespace drivelark::helper
