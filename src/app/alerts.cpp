// Alerts for the conversions the user started from the menu, and the way out they offer.

#include "app/alert_texts.h"
#include "app/app_delegate.h"

namespace drivelark {

void AppDelegate::handleMountResult(const VolumeInfo& volume, bool ok, const std::string& out) {
    if (ok) return refreshIcon();
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    auto refreshed = [weak](int) {
        if (auto self = weak.lock()) self->refreshIcon();
    };
    if (MountManager::isWriteDeniedError(out)) return offerFullDiskAccess();
    if (MountManager::isVolumeChanged(out)) return platform_.ui.showAlert(AlertTexts::volumeChanged(volume.name), refreshed);
    if (MountManager::isHibernated(out)) return explainKeptReadOnly(volume);
    if (MountManager::isUnsafeStateError(out)) return offerUnsafeStateFix(volume);
    platform_.ui.showAlert(AlertTexts::mountFailure(volume.name), refreshed);
}

void AppDelegate::offerFullDiskAccess() {
    platform_.ui.showAlert(AlertTexts::fullDiskAccess(), [weak = weak_from_this()](int button) {
        auto self = weak.lock();
        if (!self) return;
        if (button == kFirstButton) self->platform_.workspace.openURL(AlertTexts::kFullDiskAccessSettings);
        self->refreshIcon();
    });
}

void AppDelegate::offerUnsafeStateFix(const VolumeInfo& volume) {
    platform_.ui.showAlert(AlertTexts::unsafeState(volume.name), [weak = weak_from_this(), volume](int button) {
        auto self = weak.lock();
        if (!self) return;
        if (button == kFirstButton) {
            self->engine_->mounts().fixUnsafeState(volume.partition(), [weak, volume](bool fixed, const std::string& out) {
                auto self = weak.lock();
                if (!self) return;
                if (MountManager::isVolumeChanged(out) || MountManager::isHibernated(out))
                    return self->handleMountResult(volume, false, out);
                if (!fixed) return self->platform_.ui.showAlert(AlertTexts::repairFailure(), [](int) {});
                self->engine_->mounts().remountReadWrite(volume.partition(), [weak, volume](bool ok, const std::string& out) {
                    if (auto self = weak.lock()) self->handleMountResult(volume, ok, out);
                });
            });
        }
        self->refreshIcon();
    });
}

// Windows is hibernated on the volume: it stays read-only, and the user learns why. Only an
// explicit "try again" remounts it.
void AppDelegate::explainKeptReadOnly(const VolumeInfo& volume) {
    engine_->keepReadOnly(volume.deviceID, volume.identity);
    platform_.ui.showAlert(AlertTexts::keptReadOnly(volume.name), [weak = weak_from_this(), volume](int button) {
        auto self = weak.lock();
        if (!self) return;
        if (button == kFirstButton + 1) {
            self->engine_->forgetKeptReadOnly(volume);
            return self->remount(volume);
        }
        self->refreshIcon();
    });
}

}  // namespace drivelark
