#include "helper/helper_request.h"

#include "discovery/volume_identity.h"
#include "helper/outcome.h"
#include "mount/mount_target.h"

namespace drivelark::helper {

namespace {

constexpr const char* kUsage =
    "usage: drivelark-mount selftest | mount <device> <mount-point> <volume-name> <volume-identity> | "
    "fix <device> <volume-identity> | unmount <mount-point> | keepalive <device> | flush <device>";

ParsedRequest problem(std::string text) { return ParsedRequest{std::nullopt, std::move(text)}; }

ParsedRequest deviceRequest(Subcommand subcommand, const std::string& device, const std::string* identity = nullptr) {
    if (!isDeviceIdentifier(device)) return problem("not a device name such as disk4s1: " + device);
    if (identity != nullptr && !isVolumeIdentity(*identity)) return problem("not a volume identity: " + *identity);
    return ParsedRequest{Request{subcommand, device, {}, {}, identity != nullptr ? *identity : ""}, {}};
}

}  // namespace

ParsedRequest parseRequest(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return problem(kUsage);
    for (const std::string& argument : arguments) {
        // Options are never ours; whatever they are meant to reach must not see them.
        if (!argument.empty() && argument.front() == '-')
            return problem("options are not accepted: " + argument);
    }
    const std::string& name = arguments.front();
    size_t operands = arguments.size() - 1;
    if (name == "selftest" && operands == 0) return ParsedRequest{Request{}, {}};
    if (name == "fix" && operands == 2) return deviceRequest(Subcommand::fix, arguments[1], &arguments[2]);
    if (name == "keepalive" && operands == 1) return deviceRequest(Subcommand::keepalive, arguments[1]);
    if (name == "flush" && operands == 1) return deviceRequest(Subcommand::flush, arguments[1]);
    if (name == "unmount" && operands == 1) {
        if (!isVolumesMountPoint(arguments[1])) return problem("not a mount point in /Volumes: " + arguments[1]);
        return ParsedRequest{Request{Subcommand::unmount, {}, arguments[1], {}, {}}, {}};
    }
    if (name == "mount" && operands == 4) {
        ParsedRequest parsed = deviceRequest(Subcommand::mount, arguments[1], &arguments[4]);
        if (!parsed.request) return parsed;
        if (!isVolumesMountPoint(arguments[2])) return problem("not a mount point in /Volumes: " + arguments[2]);
        if (!isSafeVolumeName(arguments[3])) return problem("not a volume name ntfs-3g can take: " + arguments[3]);
        parsed.request->mountPoint = arguments[2];
        parsed.request->volumeName = arguments[3];
        return parsed;
    }
    return problem(kUsage);
}

}  // namespace drivelark::helper
