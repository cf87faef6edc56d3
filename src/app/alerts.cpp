// Alerts for the conversions the user started from the menu, and the way out they offer.

#include "app/alert_texts.h"
#include "app/app_delegate.h"
#include "mount/mount_manager.h"
#include "platform/platform.h"

namespace drivelark {

void AppDelegate::handleMountResult(const VolumeInfo& volume, bool ok, const std::string& out) {
    if (ok) return refreshIcon();
    if (MountManager::isWriteDeniedError(out)) return offerFullDiskAccess(volume);
    if (MountManager::isUnsafeStateError(out)) return offerUnsafeStateFix(volume);
    platform().ui.showAlert(AlertTexts::mountFailure(volume.name), [weak = weak_from_this()](int) {
        if (auto self = weak.lock()) self->refreshIcon();
    });
}

void AppDelegate::offerFullDiskAccess(const VolumeInfo&) {
    platform().ui.showAlert(AlertTexts::fullDiskAccess(), [weak = weak_from_this()](int button) {
        if (button == kFirstButton) platform().workspace.openURL(AlertTexts::kFullDiskAccessSettings);
        if (auto self = weak.lock()) self->refreshIcon();
    });
}

void AppDelegate::offerUnsafeStateFix(const VolumeInfo& volume) {
    platform().ui.showAlert(AlertTexts::unsafeState(volume.name), [weak = weak_from_this(), volume](int button) {
        auto self = weak.lock();
        if (!self) return;
        if (button == kFirstButton) {
            MountManager::fixUnsafeState(volume.deviceID, [weak, volume](bool fixed, const std::string&) {
                auto self = weak.lock();
                if (!self) return;
                if (!fixed) return platform().ui.showAlert(AlertTexts::repairFailure(), [](int) {});
                MountManager::remountReadWrite(volume.deviceID, volume.name,
                                               [weak, volume](bool ok, const std::string& out) {
                                                   if (auto self = weak.lock()) self->handleMountResult(volume, ok, out);
                                               });
            });
        }
        self->refreshIcon();
    });
}

}  // namespace drivelark
