#include "helper/ntfs_device.h"

#include <cerrno>

#include "discovery/volume_identity.h"
#include "foundation/system_programs.h"
#include "helper/boot_sector.h"
#include "platform/posix/posix_error.h"
#include "platform/property_list.h"

namespace drivelark::helper {

namespace {

constexpr std::chrono::seconds kDescriptionTimeLimit{15};

// The probe's own line for a volume that Windows shut down with fast restart.
bool saysFastRestart(std::string_view output) {
    constexpr std::string_view kLine = "Metadata kept in Windows cache";
    for (size_t at = output.find(kLine); at != std::string_view::npos; at = output.find(kLine, at + 1)) {
        if (at == 0 || output[at - 1] == '\n') return true;
    }
    return false;
}

}  // namespace

Outcome stopUnlessTheVolume(Session& session, const std::string& device, const std::string& identity) {
    ProgramRun described = session.run(kDiskutilPath, {"info", "-plist", device}, kDescriptionTimeLimit);
    std::optional<PlistValue> description = succeeded(described) ? parsePropertyList(described.output) : std::nullopt;
    const std::string* named = description ? description->textAt("DeviceIdentifier") : nullptr;
    if (named == nullptr || *named != device) {
        Outcome outcome{kFailed, {}};
        return outcome.quote(described, kDiskutilPath)
            .say("cannot read the disk utility's description of " + device + ", so cannot tell which volume it holds");
    }
    if (volumeIdentity(*description) == identity) return Outcome{};
    return Outcome{kVolumeChanged, {}}
        .mark(HelperProtocol::kVolumeChangedMarker)
        .say("/dev/" + device + " no longer holds the volume this was asked for (another disk has taken its name); " +
             "nothing was changed");
}

Outcome stopUnlessNtfs(HelperSystem& system, const std::string& device) {
    std::string node = "/dev/" + device;
    std::string sector;
    if (Status read = system.readStart(node, kBootSectorSize, &sector); !read.ok())
        return refused("cannot read the boot sector of " + node + ": " + errorText(read.errorNumber()));
    if (!isNtfsBootSector(sector)) return refused(node + " does not hold an NTFS file system; not touching it");
    return Outcome{};
}

bool isWriteDenial(const Status& status) { return status.isRefusal() || status.errorNumber() == EROFS; }

Outcome writeDenied(const std::string& node, const Status& status) {
    return Outcome{kFailed, {}}
        .mark(HelperProtocol::kWriteDenied)
        .say("the system refuses to open " + node + " for writing (" + errorText(status.errorNumber()) + ")");
}

Outcome stopIfWritesRefused(HelperSystem& system, const std::string& device) {
    std::string raw = "/dev/r" + device;
    Status opened = system.openForWriting(raw);
    if (opened.ok()) return Outcome{};
    if (isWriteDenial(opened)) return writeDenied(raw, opened);
    return failed("cannot open " + raw + " for writing: " + errorText(opened.errorNumber()));
}

ProbeVerdict probeVerdict(const ProgramRun& probe) {
    if (!probe.launch.ok() || probe.timedOut) return ProbeVerdict::unknown;
    switch (probe.status) {
        case 0: return ProbeVerdict::mountable;
        case 12: return ProbeVerdict::notNtfs;
        case 13: return ProbeVerdict::corrupt;
        case 14:
            return saysFastRestart(probe.output) ? ProbeVerdict::fastRestart : ProbeVerdict::hibernated;
        case 15: return ProbeVerdict::unclean;
        default: return ProbeVerdict::unknown;
    }
}

}  // namespace drivelark::helper
