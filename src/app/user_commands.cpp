// What the user chooses from the status menu.

#include "app/alert_texts.h"
#include "app/app_delegate.h"
#include "app/product_links.h"
#include "discovery/volume_scanner.h"
#include "foundation/app_log.h"
#include "mount/mount_manager.h"
#include "platform/platform.h"

namespace drivelark {

void AppDelegate::choose(const MenuEntry& entry) {
    switch (entry.action) {
        case MenuAction::mountReadWrite: return mountReadWrite(*entry.volume);
        case MenuAction::ejectVolume: return ejectVolume(*entry.volume);
        case MenuAction::toggleAuto: return toggleAuto();
        case MenuAction::toggleLaunch: return toggleLaunch();
        case MenuAction::openProductPage: return openProductPage();
        case MenuAction::about: return about();
        case MenuAction::quit: return platform().ui.quit();
        case MenuAction::none: return;
    }
}

void AppDelegate::mountReadWrite(const VolumeInfo& volume) {
    if (!engine_->isKeptReadOnly(volume.deviceID)) return remount(volume);
    // Tried and refused already: say why, and try again only when the user insists.
    platform().ui.showAlert(AlertTexts::keptReadOnly(volume.name), [weak = weak_from_this(), volume](int button) {
        auto self = weak.lock();
        if (!self || button != kFirstButton + 1) return;
        self->engine_->forgetKeptReadOnly(volume.deviceID);
        self->remount(volume);
    });
}

void AppDelegate::remount(const VolumeInfo& volume) {
    if (!volume.deviceID.empty()) engine_->forgetDeviceEjected(volume.deviceID);
    MountManager::remountReadWrite(volume.deviceID, volume.name,
                                   [weak = weak_from_this(), volume](bool ok, const std::string& out) {
                                       if (auto self = weak.lock()) self->handleMountResult(volume, ok, out);
                                   });
}

void AppDelegate::ejectVolume(const VolumeInfo& volume) {
    if (!volume.deviceID.empty()) {
        engine_->noteDeviceEjected(volume.deviceID);
    } else {
        TextMap devices = VolumeScanner::managedDevs();
        if (auto device = devices.find(volume.mountPoint); device != devices.end()) engine_->noteDeviceEjected(device->second);
    }
    MountManager::unmount(volume, [weak = weak_from_this()](bool, const std::string&) {
        if (auto self = weak.lock()) self->refreshIcon();
    });
}

void AppDelegate::toggleAuto() { setAutoMountEnabled(!autoMountEnabled()); }

void AppDelegate::toggleLaunch() {
    LoginItem& loginItem = platform().loginItem;
    LoginItemStatus status = loginItem.status();
    if (status == LoginItemStatus::awaitingApproval) {  // the user turned it off there; only they can undo it
        AppLog::line("登录自启需在系统设置中批准，已打开「登录项」设置");
        return loginItem.openSettings();
    }
    if (std::optional<LoginItemError> error = loginItem.setEnabled(status != LoginItemStatus::enabled)) {
        AppLog::line("登录自启设置失败: " + error->description);
        platform().ui.showAlert(AlertTexts::loginItemFailure(error->localizedDescription), [](int) {});
    }
}

void AppDelegate::openAddress(const std::string& address) {
    platform().workspace.openURL(ProductLinks::asciiAddress(address));
}

void AppDelegate::openProductPage() { openAddress(ProductLinks::kProductPage); }

void AppDelegate::about() {
    platform().ui.showAlert(AlertTexts::about(), [weak = weak_from_this()](int button) {
        auto self = weak.lock();
        if (!self) return;
        if (button == kFirstButton) self->openProductPage();
        if (button == kFirstButton + 1) self->openAddress(ProductLinks::kBlog);
    });
}

}  // namespace drivelark
