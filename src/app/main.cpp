// Drivelark's entry point. It takes no command-line arguments.

#include "app/app_delegate.h"
#include "platform/native_platform.h"

#include <memory>

int main() {
    using namespace drivelark;
    // runApplication never returns and the process ends without unwinding, so everything made here
    // outlives the event loop and the background work still running when it ends.
    std::unique_ptr<NativePlatform> native = makeNativePlatform();
    Platform& services = native->services();
    AppLog log(services.files, services.clock);
    auto mounts = std::make_shared<MountManager>(services, log);
    auto app = std::make_shared<AppDelegate>(services, log, AutoMountEngine::make(services, log, mounts),
                                             std::make_shared<USBKeepAlive>(services, log, mounts));
    native->runApplication([app] { app->applicationDidFinishLaunching(); }, [app] { app->applicationWillTerminate(); });
}
