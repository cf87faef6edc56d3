#include "discovery/ownership.h"

#include <algorithm>

namespace drivelark {

bool isUserSpaceDriverMount(const MountEntry& entry) {
    return !entry.readOnly && (entry.type == "nfs" || entry.type == "fusefs_ntfs" || entry.type == "ntfs-3g");
}

std::optional<std::string> systemMountOf(const MountTable& mounts, const std::string& deviceID) {
    for (const auto& [mountPoint, entry] : mounts) {
        if (entry.source == "/dev/" + deviceID && entry.type == "ntfs" && entry.readOnly) return mountPoint;
    }
    return std::nullopt;
}

bool servedByNtfs3g(const std::vector<Process>& processes, const std::string& deviceID, const std::string& mountPoint) {
    return std::any_of(processes.begin(), processes.end(), [&](const Process& process) {
        std::optional<Ntfs3gStart> start = ntfs3gStartOf(process);
        return process.owner == 0 && start && start->device == deviceID && start->mountPoint == mountPoint;
    });
}

std::map<std::string, ManagedMount> drivelarksMounts(const DiskFacts& facts) {
    std::map<std::string, ManagedMount> mounts;
    for (const ManagedMount& record : facts.managed) {
        auto mount = facts.mounts.find(record.mountPoint);
        const NTFSPartition* partition = facts.partitionOn(record.deviceID);
        if (mount == facts.mounts.end() || !isUserSpaceDriverMount(mount->second) || partition == nullptr) continue;
        bool sameVolume = record.identity.empty()
                              ? servedByNtfs3g(facts.processes, record.deviceID, record.mountPoint)
                              : record.identity == partition->identity;
        if (sameVolume) mounts[record.deviceID] = record;
    }
    return mounts;
}

}  // namespace drivelark
