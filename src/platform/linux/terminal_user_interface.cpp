#include "platform/linux/terminal_user_interface.h"

#include <unistd.h>

#include <asio/read_until.hpp>
#include <cstdio>
#include <istream>

namespace drivelark {

namespace {

void print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

TerminalUserInterface::TerminalUserInterface(asio::io_context& mainLoop, std::function<void()> quit)
    : input_(mainLoop, ::dup(STDIN_FILENO)), quit_(std::move(quit)) {}

void TerminalUserInterface::setStatusIcon(const StatusIcon& icon) {
    if (icon == icon_) return;
    icon_ = icon;
    print("状态栏: " + icon.meaning + "\n");
}

void TerminalUserInterface::setMenu(std::function<std::vector<MenuRow>()> rows,
                                    std::function<void(std::size_t row)> chosen) {
    rows_ = std::move(rows);
    chosen_ = std::move(chosen);
    readLine();
}

void TerminalUserInterface::showAlert(const Alert& alert, std::function<void(int button)> answered) {
    alerts_.emplace_back(alert, std::move(answered));
    if (alerts_.size() == 1) printAlert();
}

void TerminalUserInterface::readLine() {
    asio::async_read_until(input_, buffer_, '\n', [this](const std::error_code& error, std::size_t) {
        if (error) return;  // end of input: the application goes on without a terminal
        std::istream stream(&buffer_);
        std::string line;
        std::getline(stream, line);
        handle(line);
        readLine();
    });
}

void TerminalUserInterface::handle(const std::string& line) {
    if (line == "q") return quit();
    if (line.empty() || line == "m") {
        if (alerts_.empty()) printMenu("菜单:\n");
        return;
    }
    std::size_t number = 0;
    try {
        number = std::stoul(line);
    } catch (const std::exception&) {
        return print("输入 m 显示菜单，输入序号选择，q 退出\n");
    }
    if (!alerts_.empty()) {
        std::size_t buttons = std::max<std::size_t>(alerts_.front().first.buttons.size(), 1);
        if (number < 1 || number > buttons) return print("请选择 1 到 " + std::to_string(buttons) + "\n");
        auto answered = std::move(alerts_.front().second);
        alerts_.pop_front();
        if (!alerts_.empty()) printAlert();
        return answered(kFirstButton + static_cast<int>(number) - 1);
    }
    if (number < 1 || number > shown_.size() || shown_[number - 1].isSeparator() || !shown_[number - 1].enabled)
        return print("没有可选的第 " + line + " 项\n");
    shown_.clear();  // a menu closes once a row is chosen
    chosen_(number - 1);
}

void TerminalUserInterface::refreshMenu() {
    if (shown_.empty() || !alerts_.empty() || rows_() == shown_) return;
    printMenu("菜单已更新:\n");
}

void TerminalUserInterface::printMenu(const std::string& heading) {
    shown_ = rows_();
    std::string text = heading;
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        const MenuRow& row = shown_[i];
        if (row.isSeparator()) {
            text += "    ──────\n";
            continue;
        }
        text += (i + 1 < 10 ? "  " : " ") + std::to_string(i + 1) + ". " + (row.checked ? "✓ " : "") + row.title +
                (row.enabled ? "" : "（不可用）") + "\n";
    }
    print(text);
}

void TerminalUserInterface::printAlert() {
    const Alert& alert = alerts_.front().first;
    std::string text = std::string(alert.style == Alert::Style::warning ? "警告" : "提示") + "「" + alert.message + "」\n" +
                       alert.informativeText + "\n";
    std::vector<std::string> buttons = alert.buttons.empty() ? std::vector<std::string>{"好"} : alert.buttons;
    for (std::size_t i = 0; i < buttons.size(); ++i) text += "  " + std::to_string(i + 1) + ") " + buttons[i] + "\n";
    print(text);
}

}  // namespace drivelark
