#pragma once

// The Cocoa application: a menu-bar-only process (no Dock icon) running AppKit's event loop.

#include <functional>

namespace drivelark {

// Runs NSApplication on the main thread; calls `launched` when it has finished launching, and
// `quitting` when it terminates (the menu's Quit, the system's logout, or SIGTERM, which is made
// a terminate). Then the process ends through endProcess.
[[noreturn]] void runCocoaApplication(std::function<void()> launched, std::function<void()> quitting);

}  // namespace drivelark
