#include "helper/device_use.h"

#include "foundation/system_programs.h"
#include "helper/ntfs_device.h"

namespace drivelark::helper {

namespace {

constexpr std::chrono::seconds kListingTimeLimit{10};

}  // namespace

Outcome readProcesses(Session& session, std::vector<Process>& processes) {
    ProgramRun listing = session.run(kPsPath, kProcessListArguments, kListingTimeLimit);
    std::optional<std::vector<Process>> parsed =
        succeeded(listing) ? parseProcessList(listing.output, session.system.processId()) : std::nullopt;
    if (parsed) {
        processes = std::move(*parsed);
        return Outcome{};
    }
    Outcome outcome{kFailed, {}};
    return outcome.quote(listing, kPsPath)
        .say("cannot list the running programs reliably, so cannot tell who uses what");
}

Outcome readMounts(Session& session, std::vector<ListedMount>& mounts) {
    ProgramRun listing = session.run(kMountPath, {}, kListingTimeLimit);
    std::optional<std::vector<ListedMount>> parsed =
        succeeded(listing) ? parseMountListing(listing.output) : std::nullopt;
    if (parsed) {
        mounts = std::move(*parsed);
        return Outcome{};
    }
    Outcome outcome{kFailed, {}};
    return outcome.quote(listing, kMountPath).say("cannot read the mount table, so cannot tell what is mounted where");
}

Outcome findSystemMount(const std::vector<ListedMount>& mounts, const std::string& device,
                        std::optional<ListedMount>& systemMount) {
    std::vector<ListedMount> ofDevice = mountsOfDevice(mounts, device);
    if (ofDevice.empty()) return Outcome{};
    if (ofDevice.size() > 1 || !isSystemNtfsMount(ofDevice.front().entry))
        return refused("/dev/" + device + " is mounted at " + ofDevice.back().mountPoint +
                       " other than by the system's read-only NTFS driver; eject it first");
    systemMount = ofDevice.front();
    return Outcome{};
}

Outcome stopIfServedByNtfs3g(Session& session, const std::string& device) {
    constexpr int kLooks = 30;
    constexpr std::chrono::milliseconds kBetweenLooks{100};
    for (int look = 1;; ++look) {
        std::vector<Process> processes;
        if (Outcome unreadable = readProcesses(session, processes); !unreadable.ok()) return unreadable;
        std::optional<int> pid = ntfs3gServing(processes, device);
        if (!pid) return Outcome{};
        if (look == kLooks || !session.pause(kBetweenLooks))
            return refused("/dev/" + device + " is in use by ntfs-3g (process " + std::to_string(*pid) +
                           "); eject that volume first");
    }
}

Outcome stopIfLockedByOther(HelperSystem& system, const std::string& device) {
    std::string node = "/dev/" + device;
    bool lockedByOther = false;
    if (Status tested = system.testWriteLock(node, &lockedByOther); !tested.ok()) {
        if (isWriteDenial(tested)) return writeDenied(node, tested);
        return Outcome{};  // no lock information here
    }
    if (lockedByOther) return refused(node + " is held open by another program");
    return Outcome{};
}

}  // namespace drivelark::helper
