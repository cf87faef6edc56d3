#pragma once

// The application: start-up and event wiring, the status menu and icon, the user's commands and
// the alerts of the operations the user started. Lives for the whole process; main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/status_menu.h"
#include "discovery/volume_info.h"
#include "engine/auto_mount_engine.h"
#include "foundation/app_log.h"
#include "keepalive/usb_keep_alive.h"
#include "platform/platform.h"

namespace drivelark {

class AppDelegate : public EngineDelegate, public std::enable_shared_from_this<AppDelegate> {
public:
    static constexpr double kReconcileInterval = 3.0;
    static constexpr double kLaunchSettleDelay = 1.5;
    static constexpr double kMountSettleDelay = 1.0;
    static constexpr double kUnmountSettleDelay = 1.5;
    // Facts read this long ago or less are fresh enough for a menu that is opening.
    static constexpr double kFreshFacts = 1.0;

    AppDelegate(Platform& platform, AppLog& log, std::shared_ptr<AutoMountEngine> engine,
                std::shared_ptr<USBKeepAlive> keepAlive);

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // --- Status menu and icon ---
    std::vector<MenuEntry> menuNeedsUpdate();
    void refreshIcon() override;

    // --- User commands ---
    void choose(const MenuEntry& entry);
    void mountReadWrite(const VolumeInfo& volume);
    void ejectVolume(const VolumeInfo& volume);
    void toggleAuto();
    void toggleLaunch();
    void openProductPage();
    void showLog();
    void about();

    // --- Alerts of the operations the user started ---
    void handleMountResult(const VolumeInfo& volume, bool ok, const std::string& out);
    void offerFullDiskAccess();
    void offerUnsafeStateFix(const VolumeInfo& volume);
    void explainKeptReadOnly(const VolumeInfo& volume);

private:
    void settle(double delay);
    void volumeUnmounted(const std::string& mountPoint);
    void remount(const VolumeInfo& volume);
    void ejectFailed(const VolumeInfo& volume, const std::string& out, const std::vector<VolumeHolder>& holders);
    void prepareForSleep(const std::function<void()>& ready);
    void openAddress(const std::string& address);
    std::vector<VolumeInfo> mountedVolumes() const;

    Platform& platform_;
    AppLog& log_;
    std::shared_ptr<AutoMountEngine> engine_;
    std::shared_ptr<USBKeepAlive> keepAlive_;
    std::shared_ptr<RepeatingTimer> reconcileTimer_;
    std::vector<MenuEntry> menu_;  // as the user last saw it
    std::uint64_t settleRequests_ = 0;  // the last settle step's number: only its pass runs
};

}  // namespace drivelark
