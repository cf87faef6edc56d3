#pragma once

// The user interface on Linux: the menu bar as lines of a terminal. The status item is a line
// saying what its icon means; "m" (or an empty line) prints the menu with numbered rows, printed
// again while it is open whenever its rows change, and a number chooses a row; an alert prints its message, its text and numbered buttons, and the next number
// answers it while timers, passes and completions go on; "q" quits. End-to-end tests drive it
// through standard input and output. Main thread only.

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/streambuf.hpp>
#include <deque>

#include "platform/user_interface.h"

namespace drivelark {

class TerminalUserInterface final : public UserInterface {
public:
    // Reads commands from standard input on `mainLoop`; `quit` ends the application.
    TerminalUserInterface(asio::io_context& mainLoop, std::function<void()> quit);

    void setStatusIcon(const StatusIcon& icon) override;
    void setMenu(std::function<std::vector<MenuRow>()> rows, std::function<void(std::size_t row)> chosen) override;
    void refreshMenu() override;
    void showAlert(const Alert& alert, std::function<void(int button)> answered) override;
    void quit() override { quit_(); }

private:
    void readLine();
    void handle(const std::string& line);
    void printMenu(const std::string& heading);
    void printAlert();

    asio::posix::stream_descriptor input_;
    asio::streambuf buffer_;
    std::function<void()> quit_;
    StatusIcon icon_;
    std::function<std::vector<MenuRow>()> rows_;
    std::function<void(std::size_t)> chosen_;
    std::vector<MenuRow> shown_;  // the menu as last printed, while it is open (until a row is chosen)
    std::deque<std::pair<Alert, std::function<void(int)>>> alerts_;  // the first one is up
};

}  // namespace drivelark
