// What the user asked for: volumes ejected by hand stay unmounted, and a reset of every retry.

#include "discovery/volume_scanner.h"
#include "engine/auto_mount_engine.h"
#include "foundation/app_log.h"
#include "mount/mount_manager.h"
#include "platform/platform.h"

namespace drivelark {

std::shared_ptr<AutoMountEngine> AutoMountEngine::shared() {
    // Never destroyed: completions may still arrive while the process ends.
    static auto* const engine = new std::shared_ptr<AutoMountEngine>(std::make_shared<AutoMountEngine>());
    return *engine;
}

namespace {

// The device the registry holds at `mountPoint`; empty when none.
std::string managedDeviceAt(const std::string& mountPoint) {
    TextMap devices = VolumeScanner::managedDevs();
    auto device = devices.find(mountPoint);
    return device == devices.end() ? std::string() : device->second;
}

}  // namespace

void AutoMountEngine::noteUnmountFromOutside(const std::string& mountPoint) {
    double elapsed = platform().clock.now().secondsSince(MountManager::lastInternalUnmount());
    if (elapsed <= kInternalUnmountWindow || userEjected.contains("mp:" + mountPoint)) return;
    // Ejected from the menu: its notice may come before the eject's own completion.
    if (std::string device = managedDeviceAt(mountPoint); !device.empty() && userEjected.contains("dev:" + device))
        return;
    markUserEjectedForMountPoint(mountPoint);
    AppLog::line("检测到外部卸载（用户推出）: " + mountPoint + "，本次不再自动重挂");
}

void AutoMountEngine::markUserEjectedForMountPoint(const std::string& mountPoint) {
    userEjected.insert("mp:" + mountPoint);
    if (std::string device = managedDeviceAt(mountPoint); !device.empty()) userEjected.insert("dev:" + device);
}

void AutoMountEngine::noteDeviceEjected(const std::string& deviceID) { userEjected.insert("dev:" + deviceID); }

void AutoMountEngine::forgetDeviceEjected(const std::string& deviceID) { userEjected.erase("dev:" + deviceID); }

void AutoMountEngine::resetAndReconcile() {
    std::weak_ptr<AutoMountEngine> weak = weak_from_this();
    platform().dispatcher.runOnMain([weak] {
        auto engine = weak.lock();
        if (!engine) return;
        for (auto& [key, state] : engine->states) state = PartState{};
        engine->dropTimes.clear();
        engine->lastRecovery.clear();
        engine->reconcile();
    });
}

bool autoMountEnabled() {
    std::optional<PlistValue> stored = platform().defaults.value("autoMount");
    const bool* flag = stored ? stored->boolean() : nullptr;
    return flag == nullptr || *flag;
}

void setAutoMountEnabled(bool enabled) { platform().defaults.setValue("autoMount", PlistValue(enabled)); }

}  // namespace drivelark
