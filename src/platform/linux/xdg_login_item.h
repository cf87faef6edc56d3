#pragma once

// Starting at login on Linux: an XDG autostart entry. Main thread only.

#include <string>

#include "platform/login_item.h"

namespace drivelark {

class XdgLoginItem final : public LoginItem {
public:
    // `entryPath`: where the autostart entry lives; `executable`: what it starts.
    XdgLoginItem(std::string entryPath, std::string executable);

    // The desktop never asks the user to approve an autostart entry.
    LoginItemStatus status() override;
    std::optional<LoginItemError> setEnabled(bool enabled) override;
    void openSettings() override {}

private:
    std::string entryPath_;
    std::string executable_;
};

// The Exec value of a desktop entry that runs `path` with no arguments.
std::string desktopEntryExec(const std::string& path);

}  // namespace drivelark
