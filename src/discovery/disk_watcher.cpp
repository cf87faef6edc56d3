#include "discovery/disk_watcher.h"

#include "discovery/disk_topology.h"
#include "discovery/managed_volumes.h"
#include "discovery/ownership.h"
#include "discovery/partition_inventory.h"

namespace drivelark {

struct DiskWatcher::Reading {
    DiskFacts facts;
    std::map<std::string, bool> verdicts;
    std::set<std::string> checksPending;  // mount points asked and not answered yet
    bool finished = false;
};

namespace {

constexpr const char* kVolumesPrefix = "/Volumes/";

// Whether a mount may have to be recognised by the ntfs-3g serving it: a record kept from before
// identities were recorded whose mount is still there, or a partition that is mounted nowhere
// Drivelark knows of while a user-space driver's mount under /Volumes is not in the registry.
bool needsProcesses(const DiskFacts& facts) {
    std::set<std::string> recorded, recordedDevices;
    for (const ManagedMount& record : facts.managed) {
        if (record.identity.empty() && facts.mounts.contains(record.mountPoint)) return true;
        recorded.insert(record.mountPoint);
        if (facts.mounts.contains(record.mountPoint)) recordedDevices.insert(record.deviceID);
    }
    bool strangerMount = false;
    for (const auto& [mountPoint, entry] : facts.mounts) {
        strangerMount = strangerMount || (mountPoint.starts_with(kVolumesPrefix) && isUserSpaceDriverMount(entry) &&
                                          !recorded.contains(mountPoint));
    }
    if (!strangerMount) return false;
    for (const NTFSPartition& partition : facts.partitions) {
        if (!recordedDevices.contains(partition.deviceID) && !systemMountOf(facts.mounts, partition.deviceID))
            return true;
    }
    return false;
}

}  // namespace

DiskWatcher::DiskWatcher(Platform& platform, AppLog& log, std::function<std::uint64_t()> changes)
    : platform_(platform), registry_(platform.defaults, log), changes_(std::move(changes)) {}

void DiskWatcher::setListener(std::function<void(const DiskFacts&)> listener) { listener_ = std::move(listener); }

void DiskWatcher::refresh() {
    if (reading_) {
        again_ = true;
        return;
    }
    again_ = false;
    reading_ = std::make_shared<Reading>();
    reading_->facts.changes = changes_();
    reading_->facts.readAt = platform_.clock.now();
    reading_->facts.managed = registry_.all();
    reading_->verdicts = verdicts_;
    read(reading_);
}

void DiskWatcher::read(std::shared_ptr<Reading> reading) {
    std::weak_ptr<DiskWatcher> weak = weak_from_this();
    Platform* services = &platform_;  // outlives every job
    services->dispatcher.runInBackground(QualityOfService::userInitiated, [services, weak, reading] {
        DiskFacts& facts = reading->facts;
        std::optional<Inventory> inventory = takeInventory(services->processes, reading->verdicts);
        std::optional<MountTable> mounts = inventory ? DiskTopology::currentMounts(services->processes) : std::nullopt;
        if (inventory && mounts) {
            facts.readable = true;
            facts.partitions = std::move(inventory->partitions);
            facts.undecidedKeys = std::move(inventory->undecidedKeys);
            reading->verdicts = std::move(inventory->verdicts);
            facts.mounts = std::move(*mounts);
            if (needsProcesses(facts))
                facts.processes = DiskTopology::runningPrograms(services->processes).value_or(std::vector<Process>{});
        }
        services->dispatcher.runOnMain([weak, reading] {
            if (auto self = weak.lock()) self->checkVolumes(reading);
        });
    });
}

// Every recorded mount that stands in the table as ntfs-3g's is asked how it is, each in a job of
// its own: one that does not answer holds up nobody, and is not asked again until it answers.
void DiskWatcher::checkVolumes(const std::shared_ptr<Reading>& reading) {
    DiskFacts& facts = reading->facts;
    if (facts.readable) {
        verdicts_ = reading->verdicts;
        for (const ManagedMount& record : facts.managed) {
            auto mount = facts.mounts.find(record.mountPoint);
            if (mount == facts.mounts.end() || mount->second.type != "nfs") continue;
            VolumeCheck& check = facts.checks[record.mountPoint];
            if (outstandingChecks_.contains(record.mountPoint)) {
                check.state = VolumeCheck::State::silent;
                continue;
            }
            if (outstandingChecks_.size() >= kMostOutstandingChecks) continue;  // unchecked
            outstandingChecks_.insert(record.mountPoint);
            reading->checksPending.insert(record.mountPoint);
            std::weak_ptr<DiskWatcher> weak = weak_from_this();
            Platform* services = &platform_;
            services->dispatcher.runInBackground(QualityOfService::utility, [services, weak, reading,
                                                                             mountPoint = record.mountPoint] {
                VolumeStatus status;
                bool answered = services->files.statvfs(mountPoint, &status).ok();
                VolumeCheck answer{VolumeCheck::State::answered, answered && status.totalBlocks != 0,
                                   answered ? status.availableBytes : 0};
                services->dispatcher.runOnMain([weak, reading, mountPoint, answer] {
                    if (auto self = weak.lock()) self->checkAnswered(reading, mountPoint, answer);
                });
            });
        }
    }
    if (reading->checksPending.empty()) return finish(reading);
    std::weak_ptr<DiskWatcher> weak = weak_from_this();
    platform_.dispatcher.runOnMainAfter(kCheckTimeLimit, [weak, reading] {
        auto self = weak.lock();
        if (!self || reading->finished) return;
        for (const std::string& mountPoint : reading->checksPending)
            reading->facts.checks[mountPoint].state = VolumeCheck::State::silent;
        self->finish(reading);
    });
}

void DiskWatcher::checkAnswered(const std::shared_ptr<Reading>& reading, const std::string& mountPoint,
                                VolumeCheck check) {
    outstandingChecks_.erase(mountPoint);
    if (reading->finished) return;
    reading->facts.checks[mountPoint] = check;
    reading->checksPending.erase(mountPoint);
    if (reading->checksPending.empty()) finish(reading);
}

void DiskWatcher::finish(const std::shared_ptr<Reading>& reading) {
    reading->finished = true;
    reading_.reset();
    // Drivelark changed a mount while this was read: what was read may not show it.
    if (reading->facts.changes != changes_()) return refresh();
    if (reading->facts.readable) latest_ = std::make_shared<const DiskFacts>(reading->facts);
    if (listener_) listener_(reading->facts);
    if (again_ && !reading_) refresh();
}

}  // namespace drivelark
