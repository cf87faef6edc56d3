#include "keepalive/usb_keep_alive.h"

#include <utility>

#include "discovery/ownership.h"
#include "foundation/app_log.h"
#include "keepalive/volume_touch.h"
#include "mount/mount_manager.h"

namespace drivelark {

USBKeepAlive::USBKeepAlive(Platform& platform, AppLog& log, std::shared_ptr<MountManager> mounts)
    : platform_(platform), log_(log), mounts_(std::move(mounts)) {}

void USBKeepAlive::start(std::shared_ptr<DiskWatcher> watcher) {
    watcher_ = std::move(watcher);
    timer_ = platform_.dispatcher.startRepeatingTimer(kPulseInterval, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->pulse();
    });
}

void USBKeepAlive::pulse() {
    std::shared_ptr<const DiskFacts> facts = watcher_->latest();
    if (!facts) return;  // not known yet
    std::vector<std::string> active, devices;
    for (const auto& [device, mount] : drivelarksMounts(*facts)) {
        auto check = facts->checks.find(mount.mountPoint);
        if (check == facts->checks.end() || !check->second.healthy()) continue;
        active.push_back(mount.mountPoint);
        devices.push_back(device);
    }
    if (!active.empty()) {
        ensureCaffeinate();
        for (const std::string& mountPoint : active) touch(mountPoint);
        return mounts_->keepDevicesAwake(devices);
    }
    if (!caffeinate_ && !assertionActive_) {
        Date now = platform_.clock.now();
        if (now.secondsSince(lastIdleLog_) > kIdleLogInterval) {
            lastIdleLog_ = now;
            log_.line("保活: 待机（无读写挂载卷）");
        }
        return;
    }
    stopKeepingAwake();
}

void USBKeepAlive::touch(const std::string& mountPoint) {
    if (!touching_.insert(mountPoint).second) return;
    Platform* services = &platform_;  // outlives every job
    services->dispatcher.runInBackground(QualityOfService::utility, [services, weak = weak_from_this(), mountPoint] {
        bool refused = touchVolume(services->files, mountPoint).isRefusal();
        services->dispatcher.runOnMain([weak, mountPoint, refused] {
            auto self = weak.lock();
            if (!self) return;
            self->touching_.erase(mountPoint);
            // Once: the volume stays mounted and keeps its device pulse; the user has a setting to change.
            if (refused && !std::exchange(self->refusalNoted_, true))
                self->log_.line("保活: 系统拒绝访问 " + mountPoint +
                             "，请在「系统设置 › 隐私与安全性 › 文件与文件夹」中允许 Drivelark 访问网络卷");
        });
    });
}

void USBKeepAlive::ensureCaffeinate() {
    if (caffeinate_ && caffeinate_->isRunning()) return;
    std::unique_ptr<ChildProcess> started;
    Status launch = platform_.processes.start(
        "/usr/bin/caffeinate", {"-i", "-m", "-w", std::to_string(platform_.processes.ownProcessId())}, &started);
    if (launch.ok()) {
        caffeinate_ = std::move(started);
        log_.line("保活: 已启动 caffeinate(-i -m) pid=" + std::to_string(caffeinate_->pid()));
        return;
    }
    log_.line("保活: caffeinate 启动失败 " + launch.toString());
    if (assertionActive_) return;
    Status assertion = platform_.power.createNoDiskSleepAssertion("Drivelark保活", &assertionID_);
    if (assertion.ok()) {
        assertionActive_ = true;
        log_.line("保活: NoDiskSleep 断言已创建");
    } else {
        log_.line("保活: NoDiskSleep 断言不可用 " + assertion.toString() + "（已用 caffeinate 兜底）");
    }
}

// One line says what stopped.
void USBKeepAlive::stopKeepingAwake() {
    std::string line = "保活: 当前无活跃受管卷 (managed=" + std::to_string(ManagedVolumes(platform_.defaults, log_).managedDevs().size()) + ")";
    if (caffeinate_) {
        if (caffeinate_->isRunning()) caffeinate_->terminate();
        caffeinate_.reset();
        line += "，已停止 caffeinate";
    }
    if (assertionActive_) {
        platform_.power.releaseAssertion(assertionID_);
        assertionActive_ = false;
        line += "，已释放 NoDiskSleep 断言";
    }
    log_.line(line);
}

}  // namespace drivelark
