// Start-up and event wiring, the status menu and the icon.

#include "app/app_delegate.h"

#include "discovery/volume_scanner.h"
#include "foundation/app_log.h"
#include "keepalive/usb_keep_alive.h"
#include "mount/mount_manager.h"
#include "platform/platform.h"

namespace drivelark {

AppDelegate::AppDelegate(std::shared_ptr<AutoMountEngine> engine) : engine_(std::move(engine)) {}

void AppDelegate::applicationDidFinishLaunching() {
    Platform& services = platform();
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    services.ui.setStatusSymbol("externaldrive");
    services.ui.setMenu(
        [weak] {
            std::vector<MenuRow> rows;
            if (auto self = weak.lock()) {
                self->menu_ = self->menuNeedsUpdate();
                for (const MenuEntry& entry : self->menu_) rows.push_back(entry.row);
            }
            return rows;
        },
        [weak](std::size_t row) {
            auto self = weak.lock();
            if (self && row < self->menu_.size()) self->choose(self->menu_[row]);
        });
    AppLog::line("Drivelark v1.4 已启动");
    engine_->uiDelegate = weak;

    std::weak_ptr<AutoMountEngine> engine = engine_;
    services.dispatcher.runInBackground(QualityOfService::utility, [engine] {
        MountManager::ensureHelperInstalled([engine] {
            if (auto installed = engine.lock()) installed->resetAndReconcile();
        });
    });
    services.volumeEvents.start(
        [weak](const std::string&) {
            if (auto self = weak.lock()) self->settle(kMountSettleDelay);
        },
        [weak](const std::string& mountPoint) {
            if (auto self = weak.lock()) self->volumeUnmounted(mountPoint);
        });
    reconcileTimer_ = services.dispatcher.startRepeatingTimer(kReconcileInterval, [weak] {
        if (auto self = weak.lock()) self->engine_->reconcile();
    });
    USBKeepAlive::shared()->start();
    services.power.watchSleep(
        [weak](std::function<void()> ready) {
            if (auto self = weak.lock()) return self->prepareForSleep(ready);
            ready();
        },
        [weak] {
            AppLog::line("系统已唤醒，立即检查磁盘");
            if (auto self = weak.lock()) self->settle(0);
        });
    settle(kLaunchSettleDelay);
}

// A burst of notices (a disk with several volumes, a remount's unmount and mount, one disk
// swapped for another) gets one pass, `delay` after the last of them. Passes queued back to back
// would each wait out a hung disk utility while the menu waited behind them all.
void AppDelegate::settle(double delay) {
    const std::uint64_t request = ++settleRequests_;
    platform().dispatcher.runOnMainAfter(delay, [weak = weak_from_this(), request] {
        auto self = weak.lock();
        if (!self || request != self->settleRequests_) return;  // a later notice has its own pass
        self->engine_->reconcile();
        self->refreshIcon();
    });
}

void AppDelegate::volumeUnmounted(const std::string& mountPoint) {
    if (!mountPoint.empty() && VolumeScanner::managedDevs().contains(mountPoint))
        engine_->noteUnmountFromOutside(mountPoint);
    settle(kUnmountSettleDelay);
}

std::vector<MenuEntry> AppDelegate::menuNeedsUpdate() {
    MenuSettings settings{autoMountEnabled(), platform().loginItem.status() == LoginItemStatus::enabled,
                          [this](const VolumeInfo& volume) { return engine_->isKeptReadOnly(volume.deviceID); }};
    return buildStatusMenu(VolumeScanner::scan(), settings);
}

void AppDelegate::refreshIcon() { platform().ui.setStatusSymbol(statusSymbol(VolumeScanner::scan())); }

void AppDelegate::prepareForSleep(const std::function<void()>& ready) {
    MountManager::flushBeforeSleep([ready](std::size_t flushed) {
        if (flushed > 0) AppLog::line("系统即将睡眠，已写回 " + std::to_string(flushed) + " 个读写卷");
        ready();
    });
}

}  // namespace drivelark
