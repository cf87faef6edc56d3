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

bool MacLoginItem::isEnabled() { return SMAppService.mainAppService.status == SMAppServiceStatusEnabled; }

std::optional<LoginItemError> MacLoginItem::setEnabled(bool enabled) {
    SMAppService* service = SMAppService.mainAppService;
    NSError* error = nil;
    BOOL done = enabled ? [service registerAndReturnError:&error] : [service unregisterAndReturnError:&error];
    if (done) return std::nullopt;
    return LoginItemError{toString(error.description), toString(error.localizedDescription)};
}

}  // namespace drivelark
