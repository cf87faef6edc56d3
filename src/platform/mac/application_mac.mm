#import <AppKit/AppKit.h>

#include <dispatch/dispatch.h>
#include <signal.h>

#include "platform/mac/application_mac.h"
#include "platform/posix/end_process.h"

@interface DLApplicationDelegate : NSObject <NSApplicationDelegate>
- (instancetype)initWithLaunched:(std::function<void()>)launched quitting:(std::function<void()>)quitting;
@end

@implementation DLApplicationDelegate {
    std::function<void()> _launched;
    std::function<void()> _quitting;
}

- (instancetype)initWithLaunched:(std::function<void()>)launched quitting:(std::function<void()>)quitting {
    if ((self = [super init])) {
        _launched = std::move(launched);
        _quitting = std::move(quitting);
    }
    return self;
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
    _launched();
}

// AppKit calls exit() after this, which would run static destructors under background jobs.
- (void)applicationWillTerminate:(NSNotification*)notification {
    _quitting();
    drivelark::endProcess(0);
}

@end

namespace drivelark {

void runCocoaApplication(std::function<void()> launched, std::function<void()> quitting) {
    @autoreleasepool {
        NSApplication* application = [NSApplication sharedApplication];
        // The application holds its delegate weakly; this one lives for the whole process.
        static DLApplicationDelegate* delegate = [[DLApplicationDelegate alloc] initWithLaunched:std::move(launched)
                                                                                         quitting:std::move(quitting)];
        // SIGTERM (a logout, launchd, kill) quits as the menu's Quit does, on the main queue.
        ::signal(SIGTERM, SIG_IGN);
        static dispatch_source_t terminated =
            dispatch_source_create(DISPATCH_SOURCE_TYPE_SIGNAL, SIGTERM, 0, dispatch_get_main_queue());
        dispatch_source_set_event_handler(terminated, ^{
            [NSApp terminate:nil];
        });
        dispatch_resume(terminated);
        application.delegate = delegate;
        [application setActivationPolicy:NSApplicationActivationPolicyAccessory];
        // A windowless accessory application is eligible for App Nap, which stretches its timers:
        // the passes, the keep-alive pulses and the settle delays. Idle system sleep stays allowed.
        // The activity is never ended: it lasts as long as the process.
        [[[NSProcessInfo processInfo] beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep
                                                        reason:@"监视 NTFS 磁盘并保持读写卷活跃"] retain];
        [application run];
    }
    endProcess(0);
}

}  // namespace drivelark
