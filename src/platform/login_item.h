#pragma once

// Port: starting the application at login (the system's login-item service on macOS). Main
// thread only.

#include <optional>
#include <string>

namespace drivelark {

// Why a change of the login item failed, as the platform describes it.
struct LoginItemError {
    std::string description;           // in full: domain, code and details
    std::string localizedDescription;  // for the user
};

class LoginItem {
public:
    virtual ~LoginItem() = default;
    // True only when the service reports the item enabled (not when it awaits approval).
    virtual bool isEnabled() = 0;
    // Registers or unregisters the application; none on success.
    virtual std::optional<LoginItemError> setEnabled(bool enabled) = 0;
};

}  // namespace drivelark
