#import <AppKit/AppKit.h>
#include <dispatch/dispatch.h>

#include "platform/mac/workspace_mac.h"

namespace drivelark {

namespace {

NSString* const kConsoleIdentifier = @"com.apple.Console";

NSString* toNSString(const std::string& text) { return [NSString stringWithUTF8String:text.c_str()]; }

}  // namespace

bool MacWorkspace::openFolder(const std::string& path) {
    NSString* folder = toNSString(path);
    if (folder == nil) return false;
    return [[NSWorkspace sharedWorkspace] openURL:[NSURL fileURLWithPath:folder isDirectory:YES]];
}

bool MacWorkspace::openLog(const std::string& path) {
    NSString* file = toNSString(path);
    if (file == nil || ![[NSFileManager defaultManager] isReadableFileAtPath:file]) return false;
    NSURL* log = [NSURL fileURLWithPath:file isDirectory:NO];
    NSWorkspace* workspace = [NSWorkspace sharedWorkspace];
    NSURL* console = [workspace URLForApplicationWithBundleIdentifier:kConsoleIdentifier];
    if (console == nil) return [workspace openURL:log];
    // Console answers later; should it refuse the file, the application chosen for it gets it.
    [workspace openURLs:[NSArray arrayWithObject:log]
        withApplicationAtURL:console
               configuration:[NSWorkspaceOpenConfiguration configuration]
           completionHandler:^(NSRunningApplication*, NSError* error) {
             if (error == nil) return;
             dispatch_async(dispatch_get_main_queue(), ^{
               [[NSWorkspace sharedWorkspace] openURL:log];
             });
           }];
    return true;
}

bool MacWorkspace::openURL(const std::string& url) {
    NSString* text = toNSString(url);
    NSURL* parsed = text == nil ? nil : [NSURL URLWithString:text];
    if (parsed == nil) return false;
    return [[NSWorkspace sharedWorkspace] openURL:parsed];
}

}  // namespace drivelark
