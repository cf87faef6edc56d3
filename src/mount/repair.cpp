// Unsafe-state repair: "ntfsfix -d" clears the in-use mark that a fast-started Windows leaves.

#include "discovery/volume_identity.h"
#include "foundation/app_log.h"
#include "foundation/text.h"
#include "mount/mount_manager.h"
#include "mount/mount_target.h"

namespace drivelark {

void MountManager::fixUnsafeState(const NTFSPartition& partition, MountCompletion completion) {
    log_.line("清理脏标记 ntfsfix -d /dev/" + partition.deviceID);
    auto finish = [weak = weak_from_this(), device = partition.deviceID, completion = std::move(completion)](
                      bool ok, const std::string& out, bool passwordFree) {
        auto self = weak.lock();
        if (!self) return completion(ok, out);
        self->finish(self->converting_, device);
        self->log_.line(std::string("脏标记清理") + (ok ? (passwordFree ? "完成(免密通道)" : "完成") : "失败") + ": " + trimmed(out));
        completion(ok, out);
    };
    if (!isDeviceIdentifier(partition.deviceID) || !isVolumeIdentity(partition.identity)) {
        platform_.dispatcher.runOnMain([finish] { finish(false, "设备标识不能安全地用于修复", false); });
        return;
    }
    converting_[partition.deviceID] = Underway{partition.volumeName};
    // The repair takes the system's read-only mount away while it works.
    markInternalUnmount();
    runTool({"fix", partition.deviceID, partition.identity}, HelperProtocol::kFixBudget, finish);
}

}  // namespace drivelark
