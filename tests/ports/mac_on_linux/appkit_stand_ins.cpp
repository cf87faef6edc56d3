// Inert stand-ins for the AppKit, IOKit and ServiceManagement files of the macOS layer, which
// cannot be built on Linux: a CoreFoundation run loop on the main thread serves the GCD main queue
// as AppKit's does.

#include <CoreFoundation/CoreFoundation.h>

#include "platform/mac/application_mac.h"
#include "platform/mac/dispatch_gcd.h"
#include "platform/mac/login_item_mac.h"
#include "platform/mac/power_mac.h"
#include "platform/mac/user_interface_mac.h"
#include "platform/mac/volume_events_mac.h"
#include "platform/mac/workspace_mac.h"
#include "platform/posix/end_process.h"

void drivelark::runCocoaApplication(std::function<void()> launched, std::function<void()> quitting) {
    GCDDispatcher().runOnMain(std::move(launched));
    CFRunLoopRun();
    quitting();
    endProcess(0);
}

void drivelark::WorkspaceVolumeEvents::start(std::function<void(const std::string&)>,
                                             std::function<void(const std::string&)>) {}
drivelark::Status drivelark::MacWorkspace::openFolder(const std::string& path) { return Status("no desktop: " + path); }
drivelark::Status drivelark::MacWorkspace::openLog(const std::string& path) { return Status("no desktop: " + path); }
drivelark::Status drivelark::MacWorkspace::openURL(const std::string& url) { return Status("no desktop: " + url); }
struct drivelark::MacUserInterface::StatusItem {};
drivelark::MacUserInterface::MacUserInterface() = default;
drivelark::MacUserInterface::~MacUserInterface() = default;
void drivelark::MacUserInterface::setStatusIcon(const StatusIcon&) {}
void drivelark::MacUserInterface::refreshMenu() {}
void drivelark::MacUserInterface::setMenu(std::function<std::vector<MenuRow>()>, std::function<void(std::size_t)>) {}
void drivelark::MacUserInterface::showAlert(const Alert&, std::function<void(int)>) {}
void drivelark::MacUserInterface::quit() { CFRunLoopStop(CFRunLoopGetMain()); }  // as the menu's Quit ends AppKit's loop
drivelark::LoginItemStatus drivelark::MacLoginItem::status() { return LoginItemStatus::disabled; }
std::optional<drivelark::LoginItemError> drivelark::MacLoginItem::setEnabled(bool) { return std::nullopt; }
void drivelark::MacLoginItem::openSettings() {}
drivelark::Status drivelark::MacPower::createNoDiskSleepAssertion(const std::string& name, std::uint32_t*) {
    return Status("no power management for " + name);
}
void drivelark::MacPower::releaseAssertion(std::uint32_t) {}
void drivelark::MacPower::watchSleep(std::function<void(std::function<void()>)>, std::function<void()>) {}
