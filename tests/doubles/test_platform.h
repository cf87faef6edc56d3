#pragma once

// A complete set of test doubles, and the application log they keep. Everything runs on the
// test's thread. The ports not in files of their own are served here: user defaults in memory
// (which a test can make fail to persist), an application at /Applications/Drivelark.app, a
// desktop that shows everything and has its login item off until told
// otherwise, power management that says whether an assertion is held, and volume notices that the
// test fires (before `start` nobody listens, and they are lost).

#include <map>
#include <string>
#include <vector>

#include "doubles/memory_files.h"
#include "doubles/scripted_processes.h"
#include "doubles/virtual_dispatcher.h"
#include "foundation/app_log.h"
#include "platform/platform.h"

namespace drivelark::testing {

// All those ports at once: each member of TestPlatform of this type serves as one of them.
struct OtherPorts final : DefaultsStore, Bundle, UserInterface, Workspace, LoginItem, Power, VolumeEvents {
    std::optional<PlistValue> value(const std::string& key) override {
        return values.contains(key) ? std::optional(values.at(key)) : std::nullopt;
    }
    // Kept and read back even when it does not persist, as the real stores keep it.
    Status setValue(const std::string& key, const PlistValue& value) override {
        values.insert_or_assign(key, value);
        return persistError == 0 ? Status() : Status("defaults " + key, persistError);
    }
    std::optional<std::string> executableDirectory() override { return "/Applications/Drivelark.app/Contents/MacOS"; }
    std::optional<std::string> resourceDirectory() override { return "/Applications/Drivelark.app/Contents/Resources"; }
    void setStatusIcon(const StatusIcon&) override {}
    void setMenu(std::function<std::vector<MenuRow>()>, std::function<void(std::size_t)>) override {}
    void refreshMenu() override {}
    void showAlert(const Alert& alert, std::function<void(int)>) override { alerts.push_back(alert); }
    void quit() override {}
    Status openFolder(const std::string&) override { return Status(); }
    Status openLog(const std::string&) override { return Status(); }
    Status openURL(const std::string&) override { return Status(); }
    LoginItemStatus status() override { return loginStatus; }
    std::optional<LoginItemError> setEnabled(bool enabled) override {
        loginChanges.push_back(enabled);
        return std::nullopt;
    }
    void openSettings() override { ++loginSettingsOpened; }
    Status createNoDiskSleepAssertion(const std::string&, std::uint32_t*) override {
        held = true;
        return Status();
    }
    void releaseAssertion(std::uint32_t) override { held = false; }
    void watchSleep(std::function<void(std::function<void()>)>, std::function<void()>) override {}
    void start(std::function<void(const std::string&)> mounted,
               std::function<void(const std::string&)> unmounted) override {
        notice = std::move(mounted), unmountNotice = std::move(unmounted);
    }
    // A volume mounted or unmounted at `mountPoint`, noticed by whoever listens.
    void mount(const std::string& mountPoint) { if (notice) notice(mountPoint); }
    void unmount(const std::string& mountPoint) { if (unmountNotice) unmountNotice(mountPoint); }

    std::map<std::string, PlistValue> values;  // the user defaults
    int persistError = 0;                      // not 0: no value persists, for this errno value
    std::vector<Alert> alerts;                 // shown, never answered
    bool held = false;                         // a no-disk-sleep assertion
    LoginItemStatus loginStatus = LoginItemStatus::disabled;
    std::vector<bool> loginChanges;  // registrations (true) and unregistrations asked for
    int loginSettingsOpened = 0;
    std::function<void(const std::string&)> notice, unmountNotice;
};

class TestPlatform {
public:
    // The application log so far.
    std::string log() { return files.contents[appLog.path()]; }

    ScriptedProcesses processes;
    MemoryFiles files;
    VirtualDispatcher dispatcher;
    OtherPorts defaults, bundle, workspace, volumeEvents, ui, loginItem, power;
    Platform services{processes, files,        defaults, dispatcher, dispatcher, bundle,
                      workspace, volumeEvents, ui,       loginItem,  power};
    AppLog appLog{files, dispatcher};
};

}  // namespace drivelark::testing
