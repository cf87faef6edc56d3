#pragma once

// The menu-bar user interface on macOS: NSStatusItem, NSMenu and NSAlert. Main thread only.

#include <memory>

#include "platform/user_interface.h"

namespace drivelark {

class MacUserInterface final : public UserInterface {
public:
    MacUserInterface();
    ~MacUserInterface() override;

    void setStatusIcon(const StatusIcon& icon) override;
    void refreshMenu() override;
    void setMenu(std::function<std::vector<MenuRow>()> rows, std::function<void(std::size_t row)> chosen) override;
    void showAlert(const Alert& alert, std::function<void(int button)> answered) override;
    void quit() override;

private:
    struct StatusItem;  // the AppKit objects behind the menu-bar item, in the .mm file
    std::unique_ptr<StatusItem> statusItem_;
};

}  // namespace drivelark
