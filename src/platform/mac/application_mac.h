#pragma once

// The Cocoa application: a menu-bar-only process (no Dock icon) running AppKit's event loop.

#include <functional>

namespace drivelark {

// Runs NSApplication on the main thread; calls `launched` when it has finished launching. When
// the application quits, the process ends through endProcess.
[[noreturn]] void runCocoaApplication(std::function<void()> launched);

}  // namespace drivelark
