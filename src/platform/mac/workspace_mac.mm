#import <AppKit/AppKit.h>
#include <dispatch/dispatch.h>

#include "platform/mac/workspace_mac.h"

namespace drivelark {

namespace {

NSString* const kConsoleIdentifier = @"com.apple.Console";

NSString* toNSString(const std::string& text) { return [NSString stringWithUTF8String:text.c_str()]; }

Status opened(bool taken, const std::string& target) {
    return taken ? Status() : Status("the desktop did not open " + target);
}

}  // namespace

Status MacWorkspace::openFolder(const std::string& path) {
    NSString* folder = toNSString(path);
    NSURL* url = folder == nil ? nil : [NSURL fileURLWithPath:folder isDirectory:YES];
    return opened(url != nil && [[NSWorkspace sharedWorkspace] openURL:url], path);
}

Status MacWorkspace::openLog(const std::string& path) {
    NSString* file = toNSString(path);
    if (file == nil || ![[NSFileManager defaultManager] isReadableFileAtPath:file])
        return Status("not a readable file: " + path);
    NSURL* log = [NSURL fileURLWithPath:file isDirectory:NO];
    NSWorkspace* workspace = [NSWorkspace sharedWorkspace];
    NSURL* console = [workspace URLForApplicationWithBundleIdentifier:kConsoleIdentifier];
    if (console == nil) return opened([workspace openURL:log], path);
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
    return Status();
}

Status MacWorkspace::openURL(const std::string& url) {
    NSString* text = toNSString(url);
    NSURL* parsed = text == nil ? nil : [NSURL URLWithString:text];
    if (parsed == nil) return Status("not a URL: " + url);
    return opened([[NSWorkspace sharedWorkspace] openURL:parsed], url);
}

}  // namespace drivelark
