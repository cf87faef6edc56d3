#include "keepalive/usb_keep_alive.h"

#include "discovery/disk_topology.h"
#include "discovery/volume_scanner.h"
#include "foundation/app_log.h"
#include "keepalive/volume_touch.h"
#include "mount/mount_manager.h"
#include "platform/platform.h"

namespace drivelark {

std::shared_ptr<USBKeepAlive> USBKeepAlive::shared() {
    static auto* const controller = new std::shared_ptr<USBKeepAlive>(std::make_shared<USBKeepAlive>());
    return *controller;
}

void USBKeepAlive::start() {
    timer_ = platform().dispatcher.startRepeatingTimer(kPulseInterval, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->pulse();
    });
}

void USBKeepAlive::pulse() {
    if (checking_) return;
    std::optional<MountTable> mounts = DiskTopology::currentMounts();
    if (!mounts) return;  // not knowing what is mounted is no reason to let the disks sleep
    std::vector<std::string> candidates;
    for (const auto& [mountPoint, device] : VolumeScanner::managedDevs()) {
        auto mount = mounts->find(mountPoint);
        if (mount != mounts->end() && !mount->second.readOnly && mount->second.type == "nfs")
            candidates.push_back(mountPoint);
    }
    if (candidates.empty()) return pulseFinished({});
    // A volume whose disk stopped answering hangs every call on it: never on the main thread.
    checking_ = true;
    platform().dispatcher.runInBackground(QualityOfService::utility, [weak = weak_from_this(), candidates] {
        std::vector<std::string> active;
        for (const std::string& mountPoint : candidates) {
            std::optional<VolumeStatus> status = platform().files.statvfs(mountPoint);
            if (!status || status->totalBlocks == 0) continue;
            active.push_back(mountPoint);
            touchVolume(mountPoint);
        }
        platform().dispatcher.runOnMain([weak, active] {
            auto self = weak.lock();
            if (!self) return;
            self->checking_ = false;
            self->pulseFinished(active);
        });
    });
}

void USBKeepAlive::pulseFinished(const std::vector<std::string>& active) {
    if (!active.empty()) {
        ensureCaffeinate();
        return devicePulse(active);
    }
    if (!caffeinate_ && !assertionActive_) {
        Date now = platform().clock.now();
        if (now.secondsSince(lastIdleLog_) > kIdleLogInterval) {
            lastIdleLog_ = now;
            AppLog::line("保活: 待机（无读写挂载卷）");
        }
        return;
    }
    AppLog::line("保活: 当前无活跃受管卷 (managed=" + std::to_string(VolumeScanner::managedDevs().size()) + ")");
    stopKeepingAwake();
}

void USBKeepAlive::ensureCaffeinate() {
    if (caffeinate_ && caffeinate_->isRunning()) return;
    Platform& services = platform();
    std::string error;
    std::unique_ptr<ChildProcess> started = services.processes.start(
        "/usr/bin/caffeinate", {"-i", "-m", "-w", std::to_string(services.processes.ownProcessId())}, error);
    if (started) {
        caffeinate_ = std::move(started);
        AppLog::line("保活: 已启动 caffeinate(-i -m) pid=" + std::to_string(caffeinate_->pid()));
        return;
    }
    AppLog::line("保活: caffeinate 启动失败 " + error);
    if (assertionActive_) return;
    int result = services.power.createNoDiskSleepAssertion("Drivelark保活", assertionID_);
    if (result == 0) {
        assertionActive_ = true;
        AppLog::line("保活: NoDiskSleep 断言已创建");
    } else {
        AppLog::line("保活: NoDiskSleep 断言不可用 rc=" + std::to_string(result) + "（已用 caffeinate 兜底）");
    }
}

void USBKeepAlive::stopKeepingAwake() {
    if (caffeinate_) {
        if (caffeinate_->isRunning()) caffeinate_->terminate();
        caffeinate_.reset();
        AppLog::line("保活: 已停止 caffeinate");
    }
    if (assertionActive_) {
        platform().power.releaseAssertion(assertionID_);
        assertionActive_ = false;
    }
}

void USBKeepAlive::devicePulse(const std::vector<std::string>& mountPoints) {
    if (!MountManager::helperAvailable()) return;
    std::vector<std::string> devices;
    for (const std::string& mountPoint : mountPoints) {
        TextMap managed = VolumeScanner::managedDevs();
        if (auto device = managed.find(mountPoint); device != managed.end() && !device->second.empty())
            devices.push_back(device->second);
    }
    if (devices.empty()) return;
    platform().dispatcher.runInBackground(QualityOfService::utility, [devices] {
        for (const std::string& device : devices) MountManager::keepDeviceAwake(device);
    });
}

}  // namespace drivelark
