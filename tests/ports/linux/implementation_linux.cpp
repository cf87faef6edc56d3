// The Linux implementations under the port tests.

#include <signal.h>

#include "platform/linux/main_loop_asio.h"
#include "ports/port_tests.h"

void drivelark::testing::runMainLoop(const std::function<void(Dispatcher&)>& launched) {
    AsioMainLoop loop;
    loop.runUntilSignalled([&] { launched(loop); });
}

void drivelark::testing::stopMainLoop() { ::kill(::getpid(), SIGTERM); }  // as the system ends the application

std::string drivelark::testing::defaultsFile() {
    return std::string(std::getenv("HOME")) + "/Library/Preferences/" + kBundleIdentifier + ".plist";
}
