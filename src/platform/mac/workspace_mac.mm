#import <AppKit/AppKit.h>

#include "platform/mac/workspace_mac.h"

namespace drivelark {

void MacWorkspace::openFolder(const std::string& path) {
    NSString* folder = [NSString stringWithUTF8String:path.c_str()];
    if (folder == nil) return;
    [[NSWorkspace sharedWorkspace] openURL:[NSURL fileURLWithPath:folder isDirectory:YES]];
}

bool MacWorkspace::openURL(const std::string& url) {
    NSString* text = [NSString stringWithUTF8String:url.c_str()];
    NSURL* parsed = text == nil ? nil : [NSURL URLWithString:text];
    if (parsed == nil) return false;
    [[NSWorkspace sharedWorkspace] openURL:parsed];
    return true;
}

}  // namespace drivelark
