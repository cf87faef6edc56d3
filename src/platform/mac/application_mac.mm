#import <AppKit/AppKit.h>

#include "platform/mac/application_mac.h"

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

@end

namespace drivelark {

int runCocoaApplication(std::function<void()> launched) {
    @autoreleasepool {
        NSApplication* application = [NSApplication sharedApplication];
        // The application holds its delegate weakly; this one lives for the whole process.
        static DLApplicationDelegate* delegate = [[DLApplicationDelegate alloc] initWithLaunched:std::move(launched)];
        application.delegate = delegate;
        [application setActivationPolicy:NSApplicationActivationPolicyAccessory];
        [application run];
    }
    return 0;
}

}  // namespace drivelark
