#pragma once

// Test doubles for the desktop ports: a user interface that keeps the status symbol it was given,
// a login item that is off, power management that says whether an assertion is held, a workspace
// that records what was opened, and volume notices that the test fires, which arrive through the
// dispatcher's main queue as real ones do (before `start` nobody listens, and they are lost).

#include "platform/dispatch.h"
#include "platform/login_item.h"
#include "platform/power.h"
#include "platform/user_interface.h"
#include "platform/volume_events.h"
#include "platform/workspace.h"

namespace drivelark::testing {

class RecordingUserInterface final : public UserInterface {
public:
    void setStatusSymbol(const std::string& symbolName) override { symbol = symbolName; }
    void setMenu(std::function<std::vector<MenuRow>()>, std::function<void(std::size_t)>) override {}
    void showAlert(const Alert&, std::function<void(int)>) override {}
    void quit() override {}
    std::string symbol;
};

class DisabledLoginItem final : public LoginItem {
public:
    bool isEnabled() override { return false; }
    std::optional<LoginItemError> setEnabled(bool) override { return std::nullopt; }
};

class RecordingPower final : public Power {
public:
    int createNoDiskSleepAssertion(const std::string&, std::uint32_t& id) override {
        id = 77, held = true;
        return 0;
    }
    void releaseAssertion(std::uint32_t) override { held = false; }
    void watchSleep(std::function<void(std::function<void()>)>, std::function<void()>) override {}
    bool held = false;
};

class RecordingWorkspace final : public Workspace {
public:
    void openFolder(const std::string& path) override { opened.push_back(path); }
    bool openURL(const std::string& url) override {
        opened.push_back(url);
        return true;
    }
    std::vector<std::string> opened;
};

class ScriptedVolumeEvents final : public VolumeEvents {
public:
    using Notice = std::function<void(const std::string&)>;
    explicit ScriptedVolumeEvents(Dispatcher& dispatcher) : dispatcher_(dispatcher) {}

    void start(Notice mounted, Notice unmounted) override {
        mounted_ = std::move(mounted), unmounted_ = std::move(unmounted);
    }
    void mount(const std::string& mountPoint) { post(mounted_, mountPoint); }
    void unmount(const std::string& mountPoint) { post(unmounted_, mountPoint); }

private:
    void post(const Notice& notice, std::string mountPoint) {
        if (notice) dispatcher_.runOnMain([notice, mountPoint] { notice(mountPoint); });
    }
    Dispatcher& dispatcher_;
    Notice mounted_, unmounted_;
};

}  // namespace drivelark::testing
