#pragma once

// The real services of the machine Drivelark runs on, and its main event loop.

#include <functional>
#include <memory>

#include "platform/platform.h"

namespace drivelark {

// Names the preferences of the application, as the application bundle does on macOS.
inline constexpr const char* kBundleIdentifier = "com.drivelark.Drivelark";

class NativePlatform {
public:
    virtual ~NativePlatform() = default;
    virtual Platform& services() = 0;
    // Runs the event loop on the calling (main) thread and calls `launched` from it once the
    // application is up, and `quitting` when it ends (the menu's Quit, or the system's request).
    // Then the process ends with status 0 without running static destructors (see endProcess),
    // since background jobs may still be running.
    [[noreturn]] virtual void runApplication(std::function<void()> launched, std::function<void()> quitting) = 0;
};

std::unique_ptr<NativePlatform> makeNativePlatform();

}  // namespace drivelark
