#pragma once

// Port: starting the application at login (the system's login-item service on macOS). Main
// thread only.

#include <optional>
#include <string>

namespace drivelark {

// Why a change of the login item failed, as the platform describes it. Not a Status: on macOS the
// system explains the failure in the user's own language, and that text is shown to them as it
// is; no errno value stands behind it.
struct LoginItemError {
    std::string description;           // in full: domain, code and details
    std::string localizedDescription;  // for the user
};

enum class LoginItemStatus {
    disabled,
    enabled,
    // Registered, but the user turned it off in the system's settings: only they can turn it on
    // again, there. Registering again changes nothing.
    awaitingApproval,
};

class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual LoginItemStatus status() = 0;
    // Registers or unregisters the application; none on success.
    virtual std::optional<LoginItemError> setEnabled(bool enabled) = 0;
    // Opens the system's settings where the user allows login items.
    virtual void openSettings() = 0;
};

}  // namespace drivelark
