// What macOS's SDK declares and GNUstep lacks, for the syntax check of the .mm files under
// GNUstep only; a Mac build never reads this file. Only what the .mm files use, written from
// Apple's documented declarations. The headers beside it named as the SDK's (IOKit/...,
// ServiceManagement/...) stand for those frameworks here and lead to this file.
#pragma once

#import <AppKit/AppKit.h>
#include <CoreFoundation/CoreFoundation.h>

#include <stdint.h>

// --- AppKit (GNUstep's AppKit is an older one) ---

APPKIT_EXPORT NSString* const NSWorkspaceVolumeURLKey;

// Renamed in macOS 10.12; GNUstep has the old names.
enum { NSAlertStyleWarning = NSWarningAlertStyle, NSAlertStyleInformational = NSInformationalAlertStyle };

@interface NSApplication (DrivelarkMacOnlyActivation)
- (void)activate __attribute__((availability(macos, introduced = 14.0)));
@end

@interface NSStatusItem (DrivelarkMacOnly)
@property(readonly, strong) NSStatusBarButton* button;
@end

@interface NSImage (DrivelarkMacOnly)
+ (NSImage*)imageWithSystemSymbolName:(NSString*)name accessibilityDescription:(NSString*)description;
@end

@interface NSWorkspaceOpenConfiguration : NSObject
+ (instancetype)configuration;
@end

@interface NSWorkspace (DrivelarkMacOnly)
- (NSURL*)URLForApplicationWithBundleIdentifier:(NSString*)bundleIdentifier;
- (void)openURLs:(NSArray*)urls
    withApplicationAtURL:(NSURL*)applicationURL
           configuration:(NSWorkspaceOpenConfiguration*)configuration
       completionHandler:(void (^)(NSRunningApplication* app, NSError* error))completionHandler;
@end

@interface NSMenu (DrivelarkMacOnly)
- (void)removeAllItems;
@end

// GNUstep's NSMenuDelegate requires these methods, which macOS's makes optional; GNUstep itself
// declares its other ones on NSObject this way.
@interface NSObject (DrivelarkMacOnlyOptionalMenuDelegate)
- (void)menuWillOpen:(NSMenu*)menu;
- (void)menuDidClose:(NSMenu*)menu;
- (void)menu:(NSMenu*)menu willHighlightItem:(NSMenuItem*)item;
- (NSRect)confinementRectForMenu:(NSMenu*)menu onScreen:(NSScreen*)screen;
@end

// --- IOKit: power assertions and system sleep notices (IOKitLib.h, IOPMLib.h, IOMessage.h) ---

#ifdef __cplusplus
extern "C" {
#endif

typedef int kern_return_t;
typedef unsigned int mach_port_t;
#define MACH_PORT_NULL 0
typedef kern_return_t IOReturn;
#define kIOReturnSuccess 0
typedef mach_port_t io_object_t;
typedef io_object_t io_connect_t;
typedef io_object_t io_service_t;
typedef struct IONotificationPort* IONotificationPortRef;
typedef void (*IOServiceInterestCallback)(void* refcon, io_service_t service, uint32_t messageType,
                                          void* messageArgument);

typedef uint32_t IOPMAssertionID;
typedef uint32_t IOPMAssertionLevel;
enum { kIOPMAssertionLevelOn = 255 };
#define kIOPMAssertPreventDiskIdle CFSTR("PreventDiskIdle")

IOReturn IOPMAssertionCreateWithName(CFStringRef AssertionType, IOPMAssertionLevel AssertionLevel,
                                     CFStringRef AssertionName, IOPMAssertionID* AssertionID);
IOReturn IOPMAssertionRelease(IOPMAssertionID AssertionID);

io_connect_t IORegisterForSystemPower(void* refcon, IONotificationPortRef* thePortRef,
                                      IOServiceInterestCallback callback, io_object_t* notifier);
IOReturn IOAllowPowerChange(io_connect_t kernelPort, intptr_t notificationID);
CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPortRef notify);

#define kIOMessageCanSystemSleep 0xe0000270
#define kIOMessageSystemWillSleep 0xe0000280
#define kIOMessageSystemHasPoweredOn 0xe0000300

#ifdef __cplusplus
}
#endif

// --- ServiceManagement: the application as a login item (SMAppService.h, macOS 13) ---

typedef NS_ENUM(NSInteger, SMAppServiceStatus) {
    SMAppServiceStatusNotRegistered = 0,
    SMAppServiceStatusEnabled = 1,
    SMAppServiceStatusRequiresApproval = 2,
    SMAppServiceStatusNotFound = 3,
};

@interface SMAppService : NSObject
@property(class, readonly) SMAppService* mainAppService;
+ (void)openSystemSettingsLoginItems;
@property(readonly) SMAppServiceStatus status;
- (BOOL)registerAndReturnError:(NSError**)error;
- (BOOL)unregisterAndReturnError:(NSError**)error;
@end
