#include "discovery/volume_scanner.h"

#include "discovery/ownership.h"

namespace drivelark {

namespace {

constexpr std::string_view kVolumesFolder = "/Volumes/";

// A place directly in /Volumes, not hidden.
bool isVolumesEntry(const std::string& mountPoint) {
    if (!mountPoint.starts_with(kVolumesFolder)) return false;
    std::string_view name = std::string_view(mountPoint).substr(kVolumesFolder.size());
    return !name.empty() && name.front() != '.' && name.find('/') == std::string_view::npos;
}

}  // namespace

namespace VolumeScanner {

std::vector<VolumeInfo> scan(const DiskFacts& facts) {
    std::map<std::string, ManagedMount> ours;  // by mount point
    for (auto& [device, record] : drivelarksMounts(facts)) ours[record.mountPoint] = record;

    std::vector<VolumeInfo> volumes;
    for (const auto& [mountPoint, entry] : facts.mounts) {
        if (!isVolumesEntry(mountPoint)) continue;
        if (entry.readOnly && entry.type == "ntfs" && entry.source.starts_with("/dev/")) {
            std::string device = entry.source.substr(5);
            const NTFSPartition* partition = facts.partitionOn(device);
            std::string name = partition && !partition->volumeName.empty() ? partition->volumeName
                                                                           : mountPoint.substr(kVolumesFolder.size());
            volumes.push_back({device, mountPoint, name, VolumeInfo::Kind::ntfsReadOnly,
                               partition ? partition->identity : std::string(), {}});
        } else if (auto record = ours.find(mountPoint); record != ours.end()) {
            auto check = facts.checks.find(mountPoint);
            const NTFSPartition* partition = facts.partitionOn(record->second.deviceID);  // listed: drivelarksMounts
            volumes.push_back({record->second.deviceID, mountPoint, record->second.name, VolumeInfo::Kind::ntfsReadWrite,
                               partition->identity, check == facts.checks.end() ? VolumeCheck{} : check->second});
        }
    }
    return volumes;
}

}  // namespace VolumeScanner

}  // namespace drivelark
