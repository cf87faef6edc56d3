// The port tests' main loop and preferences file with the macOS implementations, on a Mac and on
// Linux alike: a CoreFoundation run loop on the main thread serves the GCD main queue.

#include <CoreFoundation/CoreFoundation.h>
#include <pwd.h>
#include <unistd.h>

#include "platform/mac/dispatch_gcd.h"
#include "ports/port_tests.h"

void drivelark::testing::runMainLoop(const std::function<void(Dispatcher&)>& launched) {
    GCDDispatcher dispatcher;
    dispatcher.runOnMain([&] { launched(dispatcher); });
    CFRunLoopRun();
}

void drivelark::testing::stopMainLoop() { CFRunLoopStop(CFRunLoopGetMain()); }

// The test program's own preferences domain, named after it.
std::string drivelark::testing::defaultsFile() {
#if defined(__APPLE__)
    // In the user's real home: HOME does not move CFPreferences on a Mac.
    return std::string(::getpwuid(::getuid())->pw_dir) + "/Library/Preferences/" + ::getprogname() + ".plist";
#else
    // CFPreferences on Linux keeps the current application's values in $XDG_CONFIG_HOME/<process name>.plist.
    return std::string(std::getenv("XDG_CONFIG_HOME")) + "/" + program_invocation_short_name + ".plist";
#endif
}
