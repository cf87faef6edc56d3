#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

#include "platform/mac/login_item_mac.h"

namespace drivelark {

namespace {

std::string toString(NSString* text) {
    const char* bytes = text.UTF8String;  // null for nil
    return bytes != nullptr ? std::string(bytes) : std::string();
}

}  // namespace

LoginItemStatus MacLoginItem::status() {
    switch (SMAppService.mainAppService.status) {
        case SMAppServiceStatusEnabled: return LoginItemStatus::enabled;
        case SMAppServiceStatusRequiresApproval: return LoginItemStatus::awaitingApproval;
        default: return LoginItemStatus::disabled;  // not registered, or not found
    }
}

std::optional<LoginItemError> MacLoginItem::setEnabled(bool enabled) {
    SMAppService* service = SMAppService.mainAppService;
    NSError* error = nil;
    BOOL done = enabled ? [service registerAndReturnError:&error] : [service unregisterAndReturnError:&error];
    if (done) return std::nullopt;
    return LoginItemError{toString(error.description), toString(error.localizedDescription)};
}

void MacLoginItem::openSettings() { [SMAppService openSystemSettingsLoginItems]; }

}  // namespace drivelark
