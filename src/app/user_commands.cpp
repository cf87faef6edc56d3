// What the user chooses from the status menu.

#include "app/alert_texts.h"
#include "app/app_delegate.h"
#include "app/product_links.h"
#include "foundation/app_log.h"

namespace drivelark {

namespace {

const char* onOrOff(bool on) { return on ? "开启" : "关闭"; }

}  // namespace

void AppDelegate::choose(const MenuEntry& entry) {
    switch (entry.action) {
        case MenuAction::mountReadWrite: return mountReadWrite(*entry.volume);
        case MenuAction::ejectVolume: return ejectVolume(*entry.volume);
        case MenuAction::toggleAuto: return toggleAuto();
        case MenuAction::toggleLaunch: return toggleLaunch();
        case MenuAction::openProductPage: return openProductPage();
        case MenuAction::showLog: return showLog();
        case MenuAction::about: return about();
        case MenuAction::quit: return platform_.ui.quit();
        case MenuAction::none: return;
    }
}

void AppDelegate::mountReadWrite(const VolumeInfo& volume) {
    if (engine_->isKeptReadOnly(volume)) return explainKeptReadOnly(volume);
    remount(volume);
}

void AppDelegate::remount(const VolumeInfo& volume) {
    engine_->forgetVolumeEjected(volume);
    engine_->mounts().remountReadWrite(volume.partition(), [weak = weak_from_this(), volume](bool ok, const std::string& out) {
        if (auto self = weak.lock()) self->handleMountResult(volume, ok, out);
    });
    refreshIcon();
}

void AppDelegate::ejectVolume(const VolumeInfo& volume) {
    engine_->noteVolumeEjected(volume);
    engine_->mounts().unmount(volume, [weak = weak_from_this(), volume](bool ok, const std::string& out,
                                                                        const std::vector<VolumeHolder>& holders) {
        auto self = weak.lock();
        if (!self) return;
        if (!ok) self->ejectFailed(volume, out, holders);
        self->refreshIcon();
    });
    refreshIcon();
}

// The volume stays mounted and the user is told why, with the way out: close what holds it, and
// try again. Nothing is ever unmounted by force for the user.
void AppDelegate::ejectFailed(const VolumeInfo& volume, const std::string& out, const std::vector<VolumeHolder>& holders) {
    engine_->forgetVolumeEjected(volume);
    platform_.ui.showAlert(AlertTexts::ejectFailure(volume.name, out, holders), [weak = weak_from_this(), volume](int button) {
        auto self = weak.lock();
        if (self && button == kFirstButton) self->ejectVolume(volume);
    });
}

void AppDelegate::toggleAuto() {
    const bool enabled = !engine_->autoMountEnabled();
    engine_->setAutoMountEnabled(enabled);
    log_.line(std::string("设置: 插入 NTFS 磁盘时自动转为读写 已") + onOrOff(enabled));
}

void AppDelegate::toggleLaunch() {
    LoginItem& loginItem = platform_.loginItem;
    LoginItemStatus status = loginItem.status();
    if (status == LoginItemStatus::awaitingApproval) {  // the user turned it off there; only they can undo it
        log_.line("登录自启需在系统设置中批准，已打开「登录项」设置");
        return loginItem.openSettings();
    }
    const bool enable = status != LoginItemStatus::enabled;
    if (std::optional<LoginItemError> error = loginItem.setEnabled(enable)) {
        log_.line("登录自启设置失败: " + error->description);
        platform_.ui.showAlert(AlertTexts::loginItemFailure(error->localizedDescription), [](int) {});
        return;
    }
    log_.line(std::string("设置: 登录时自动启动 已") + onOrOff(enable));
}

void AppDelegate::openAddress(const std::string& address) {
    platform_.workspace.openURL(ProductLinks::asciiAddress(address));
}

void AppDelegate::openProductPage() { openAddress(ProductLinks::kProductPage); }

void AppDelegate::showLog() {
    if (Status shown = platform_.workspace.openLog(log_.path()); !shown.ok())
        log_.line("无法打开日志 " + log_.path() + " — " + shown.toString());
}

void AppDelegate::about() {
    platform_.ui.showAlert(AlertTexts::about(), [weak = weak_from_this()](int button) {
        auto self = weak.lock();
        if (!self) return;
        if (button == kFirstButton) self->openProductPage();
        if (button == kFirstButton + 1) self->openAddress(ProductLinks::kBlog);
    });
}

}  // namespace drivelark
