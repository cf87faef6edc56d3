// Zombie mounts: Drivelark's read-write mounts whose disk has gone, or that no longer answer.

#include "discovery/managed_volumes.h"
#include "engine/auto_mount_engine.h"
#include "foundation/app_log.h"
#include "foundation/text.h"

namespace drivelark {

// Works on the registry as it was when the facts were read: only mounts recorded when they were
// made are cleaned up, and a place that someone else mounts later is never touched.
void AutoMountEngine::cleanupZombies(const DiskFacts& facts) {
    // Notices of unmounts that were none of the registry's mounts count for nothing.
    std::erase_if(unmountNotices_, [&](const auto& notice) {
        return std::none_of(facts.managed.begin(), facts.managed.end(),
                            [&](const ManagedMount& record) { return record.mountPoint == notice.first; });
    });
    for (const ManagedMount& record : facts.managed) {
        if (purging_.contains(record.mountPoint)) continue;
        const NTFSPartition* partition = facts.partitionOn(record.deviceID);
        const bool volumePresent =
            partition != nullptr && (record.identity.empty() || partition->identity == record.identity);
        auto mount = facts.mounts.find(record.mountPoint);
        if (mount == facts.mounts.end()) {
            // No longer mounted: with its volume still attached, someone unmounted it. Either way the
            // record describes nothing now.
            if (volumePresent) noteUnmountFromOutside(record);
            unmountNotices_.erase(record.mountPoint);
            registry_.unmarkManaged(record.mountPoint);
        } else if (mount->second.type == "nfs") {
            if (!volumePresent) {
                purgeZombieMount(record, "设备 " + record.deviceID + " 已不在");
            } else if (auto check = facts.checks.find(record.mountPoint); check != facts.checks.end() && check->second.dead()) {
                purgeZombieMount(record, "挂载不可访问");
            }
        }
    }
}

void AutoMountEngine::purgeZombieMount(const ManagedMount& record, const std::string& reason) {
    const std::string& mountPoint = record.mountPoint;
    if (!purging_.emplace(mountPoint, record.deviceID).second) return;
    log_.line("清理僵尸挂载: " + mountPoint + "（" + reason + "）");
    registry_.unmarkManaged(mountPoint);
    mounts_->markInternalUnmount();
    mounts_->forceUnmount(mountPoint, [weak = weak_from_this(), mountPoint](const CommandResult& result) {
        auto engine = weak.lock();
        if (!engine) return;
        engine->purging_.erase(mountPoint);
        if (result.succeeded()) {
            engine->log_.line("僵尸挂载已清理: " + mountPoint);
            for (auto& [key, partition] : engine->records_) {
                partition.attempt.lastAttempt = Date::distantPast();
                partition.attempt.failCount = 0;
            }
        } else {
            engine->log_.line("僵尸清理失败 " + mountPoint + ": " + trimmed(result.out));
        }
        engine->reconcile();
    });
}

}  // namespace drivelark
