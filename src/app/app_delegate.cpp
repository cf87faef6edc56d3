// Start-up and event wiring, the status menu and the icon.

#include "app/app_delegate.h"

#include "discovery/managed_volumes.h"
#include "discovery/volume_scanner.h"
#include "foundation/app_log.h"
#include "keepalive/usb_keep_alive.h"

namespace drivelark {

AppDelegate::AppDelegate(Platform& platform, AppLog& log, std::shared_ptr<AutoMountEngine> engine,
                         std::shared_ptr<USBKeepAlive> keepAlive)
    : platform_(platform), log_(log), engine_(std::move(engine)), keepAlive_(std::move(keepAlive)) {}

void AppDelegate::applicationDidFinishLaunching() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    platform_.ui.setStatusIcon(statusIcon({}));
    platform_.ui.setMenu(
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
    log_.line("Drivelark v1.4 已启动");
    engine_->uiDelegate = weak;

    engine_->mounts().ensureHelperInstalled([engine = std::weak_ptr<AutoMountEngine>(engine_)] {
        if (auto installed = engine.lock()) installed->resetAndReconcile();
    });
    platform_.volumeEvents.start(
        [weak](const std::string&) {
            if (auto self = weak.lock()) self->settle(kMountSettleDelay);
        },
        [weak](const std::string& mountPoint) {
            if (auto self = weak.lock()) self->volumeUnmounted(mountPoint);
        });
    reconcileTimer_ = platform_.dispatcher.startRepeatingTimer(kReconcileInterval, [weak] {
        if (auto self = weak.lock()) self->engine_->reconcile();
    });
    keepAlive_->start(engine_->watcher());
    platform_.power.watchSleep(
        [weak](std::function<void()> ready) {
            if (auto self = weak.lock()) return self->prepareForSleep(ready);
            ready();
        },
        [weak] {
            if (auto self = weak.lock()) {
                self->log_.line("系统已唤醒，立即检查磁盘");
                self->settle(0);
            }
        });
    settle(kLaunchSettleDelay);
}

void AppDelegate::applicationWillTerminate() { log_.line("Drivelark 已退出"); }

// A burst of notices (a disk with several volumes, a remount's unmount and mount, one disk
// swapped for another) gets one pass, `delay` after the last of them.
void AppDelegate::settle(double delay) {
    const std::uint64_t request = ++settleRequests_;
    platform_.dispatcher.runOnMainAfter(delay, [weak = weak_from_this(), request] {
        auto self = weak.lock();
        if (!self || request != self->settleRequests_) return;  // a later notice has its own pass
        self->engine_->reconcile();
    });
}

void AppDelegate::volumeUnmounted(const std::string& mountPoint) {
    if (!mountPoint.empty()) engine_->noteUnmountNotice(mountPoint);
    settle(kUnmountSettleDelay);
}

std::vector<VolumeInfo> AppDelegate::mountedVolumes() const {
    std::shared_ptr<const DiskFacts> facts = engine_->watcher()->latest();
    return facts ? VolumeScanner::scan(*facts) : std::vector<VolumeInfo>{};
}

// Built at once from what was read last. Facts older than a moment are read again, and the menu is
// built again when they come while it is still open.
std::vector<MenuEntry> AppDelegate::menuNeedsUpdate() {
    std::shared_ptr<const DiskFacts> facts = engine_->watcher()->latest();
    if (!facts || platform_.clock.now().secondsSince(facts->readAt) > kFreshFacts) engine_->reconcile();
    MenuVolumes volumes{facts != nullptr, mountedVolumes(), engine_->mounts().converting(),
                        engine_->mounts().ejecting()};
    MenuSettings settings{engine_->autoMountEnabled(), platform_.loginItem.status() == LoginItemStatus::enabled,
                          [this](const VolumeInfo& volume) { return engine_->isKeptReadOnly(volume); }};
    return buildStatusMenu(volumes, settings);
}

void AppDelegate::refreshIcon() {
    platform_.ui.setStatusIcon(statusIcon(mountedVolumes()));
    platform_.ui.refreshMenu();
}

// Every mount the registry holds, not what the last reading saw: one made a moment ago is written
// back too. One that is gone fails its own write-back, off the main thread, and is not counted.
void AppDelegate::prepareForSleep(const std::function<void()>& ready) {
    std::vector<ManagedMount> volumes = ManagedVolumes(platform_.defaults, log_).all();
    engine_->mounts().flushBeforeSleep(volumes, [&log = log_, ready](std::size_t flushed) {
        if (flushed > 0) log.line("系统即将睡眠，已写回 " + std::to_string(flushed) + " 个读写卷");
        ready();
    });
}

}  // namespace drivelark
