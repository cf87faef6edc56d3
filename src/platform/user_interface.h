#pragma once

// Port: the menu-bar user interface. The application builds everything it shows as plain data;
// a front end only displays it and reports the user's choice. Main thread only.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace drivelark {

struct MenuRow {
    std::string title;  // empty for a separator
    bool enabled = true;
    bool checked = false;
    std::string keyEquivalent;

    bool isSeparator() const { return title.empty(); }
    bool operator==(const MenuRow&) const = default;
};

struct Alert {
    enum class Style { warning = 0, informational = 1 };

    Style style = Style::warning;
    std::string message;
    std::string informativeText;
    std::vector<std::string> buttons;  // none: the platform's single default button

    bool operator==(const Alert&) const = default;
};

// The status item's image: a system symbol, and what it means in words (for a front end that
// shows no images, and for the log).
struct StatusIcon {
    std::string symbolName;
    std::string meaning;

    bool operator==(const StatusIcon&) const = default;
};

// The answer to an alert: 1000 for the first button (or the default one), 1001 for the second, ...
inline constexpr int kFirstButton = 1000;

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // Puts the status item in the menu bar, or changes its image: the named system symbol,
    // described as "Drivelark".
    virtual void setStatusIcon(const StatusIcon& icon) = 0;
    // Each time the menu is about to open, `rows` builds it afresh; `chosen` gets the index of the
    // enabled row the user picked.
    virtual void setMenu(std::function<std::vector<MenuRow>()> rows, std::function<void(std::size_t row)> chosen) = 0;
    // What the menu shows may have changed: a menu that is open is built afresh.
    virtual void refreshMenu() = 0;
    // Shows a modal alert. `answered` gets the button chosen. Timers, passes and completions go
    // on while it is up.
    virtual void showAlert(const Alert& alert, std::function<void(int button)> answered) = 0;
    // Ends the application (the menu's Quit).
    virtual void quit() = 0;
};

}  // namespace drivelark
