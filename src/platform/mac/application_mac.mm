#import <AppKit/AppKit.h>

#include "platform/mac/application_mac.h"
#include "platform/posix/end_process.h"

@interface DLApplicationDelegate : NSObject <NSApplicationDelegate>
- (instancetype)initWithLaunched:(std::function<void()>)launched;
@end

@implementation DLApplicationDelegate {
    std::function<void()> _launched;
}

- (instancetype)initWithLaunched:(std::function<void()>)launched {
    if ((self = [super init])) _launched = std::move(launched);
    return self;
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
    _launched();
}

// AppKit calls exit() after this, which would run static destructors under background jobs.
- (void)applicationWillTerminate:(NSNotification*)notification {
    drivelark::endProcess(0);
}

@end

namespace drivelark {

void runCocoaApplication(std::function<void()> launched) {
    @autoreleasepool {
        NSApplication* application = [NSApplication sharedApplication];
        // The application holds its delegate weakly; this one lives for the whole process.
        static DLApplicationDelegate* delegate = [[DLApplicationDelegate alloc] initWithLaunched:std::move(launched)];
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
