#pragma once

// Test doubles for the desktop ports: a user interface whose status symbol, menu and alerts the
// test reads and answers, a login item in memory, and power management that records assertions
// and lets the test send sleep and wake. Used on the test's thread.

#include <deque>
#include <optional>

#include "platform/login_item.h"
#include "platform/power.h"
#include "platform/user_interface.h"

namespace drivelark::testing {

class ScriptedUserInterface final : public UserInterface {
public:
    void setStatusSymbol(const std::string& symbolName) override { symbol = symbolName; }
    void setMenu(std::function<std::vector<MenuRow>()> rows, std::function<void(std::size_t)> chosen) override {
        rows_ = std::move(rows), chosen_ = std::move(chosen);
    }
    void showAlert(const Alert& alert, std::function<void(int)> answered) override {
        alerts.emplace_back(alert, std::move(answered));
    }
    void quit() override { quitRequested = true; }

    // Opens the menu, as the user does before choosing.
    std::vector<MenuRow> openMenu() { return rows_(); }
    // Opens the menu and chooses the row whose title begins with `title`; false when there is none.
    bool choose(const std::string& title) {
        std::vector<MenuRow> rows = openMenu();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (!rows[i].isSeparator() && rows[i].title.starts_with(title)) return chosen_(i), true;
        return false;
    }
    // Answers the alert that is up with its button `number` (0 for the first).
    void answer(int number) {
        auto answered = std::move(alerts.front().second);
        alerts.pop_front();
        answered(kFirstButton + number);
    }

    std::string symbol;
    std::deque<std::pair<Alert, std::function<void(int)>>> alerts;
    bool quitRequested = false;

private:
    std::function<std::vector<MenuRow>()> rows_;
    std::function<void(std::size_t)> chosen_;
};

class MemoryLoginItem final : public LoginItem {
public:
    bool isEnabled() override { return enabled; }
    std::optional<LoginItemError> setEnabled(bool value) override {
        if (failure) return failure;
        enabled = value;
        return std::nullopt;
    }
    bool enabled = false;
    std::optional<LoginItemError> failure;
};

class ScriptedPower final : public Power {
public:
    int createNoDiskSleepAssertion(const std::string&, std::uint32_t& id) override {
        if (assertionResult == 0) id = 77, held = true;
        return assertionResult;
    }
    void releaseAssertion(std::uint32_t) override { held = false; }
    void watchSleep(std::function<void(std::function<void()>)> willSleep, std::function<void()> didWake) override {
        willSleep_ = std::move(willSleep), didWake_ = std::move(didWake);
    }
    // Sends the notice before sleep; `ready` tells when the application let the system go.
    void sleep(std::function<void()> ready) { willSleep_(std::move(ready)); }
    void wake() { didWake_(); }

    int assertionResult = 0;
    bool held = false;

private:
    std::function<void(std::function<void()>)> willSleep_;
    std::function<void()> didWake_;
};

}  // namespace drivelark::testing
