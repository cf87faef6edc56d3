#pragma once

// Starting at login on macOS: ServiceManagement's main-application service. Main thread only.

#include "platform/login_item.h"

namespace drivelark {

class MacLoginItem final : public LoginItem {
public:
    LoginItemStatus status() override;
    std::optional<LoginItemError> setEnabled(bool enabled) override;
    void openSettings() override;
};

}  // namespace drivelark
