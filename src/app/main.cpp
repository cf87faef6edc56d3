// Drivelark's entry point. It takes no command-line arguments.

#include "app/app_delegate.h"
#include "platform/native_platform.h"

#include <memory>

int main() {
    using namespace drivelark;
    // Never destroyed: background work that is still running when the event loop ends may
    // still post to the main queue, so the services must outlive it.
    static NativePlatform* const native = makeNativePlatform().release();
    installPlatform(&native->services());
    static auto* const delegate = new std::shared_ptr<AppDelegate>(std::make_shared<AppDelegate>());
    native->runApplication([] { (*delegate)->applicationDidFinishLaunching(); },
                           [] { (*delegate)->applicationWillTerminate(); });
}
