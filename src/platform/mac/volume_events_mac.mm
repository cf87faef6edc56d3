#import <AppKit/AppKit.h>

#include "platform/mac/volume_events_mac.h"

namespace drivelark {

namespace {

// The volume's path from a notification; empty when it carries no URL.
std::string mountPointOf(NSNotification* notification) {
    id url = notification.userInfo[NSWorkspaceVolumeURLKey];
    const char* path = [url isKindOfClass:[NSURL class]] ? [(NSURL*)url path].UTF8String : nullptr;
    return path == nullptr ? std::string() : std::string(path);
}

void observe(NSNotificationName name, std::function<void(const std::string&)> notice) {
    // The centre keeps the observer for the life of the process.
    [[[NSWorkspace sharedWorkspace] notificationCenter] addObserverForName:name
                                                                    object:nil
                                                                     queue:[NSOperationQueue mainQueue]
                                                                usingBlock:^(NSNotification* notification) {
                                                                    notice(mountPointOf(notification));
                                                                }];
}

}  // namespace

void WorkspaceVolumeEvents::start(std::function<void(const std::string&)> mounted,
                                  std::function<void(const std::string&)> unmounted) {
    observe(NSWorkspaceDidMountNotification, std::move(mounted));
    observe(NSWorkspaceDidUnmountNotification, std::move(unmounted));
}

}  // namespace drivelark
