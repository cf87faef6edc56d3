#pragma once

// A complete set of test doubles, installed as the platform for as long as it lives. Everything
// runs on the test's thread.

#include <sstream>

#include "doubles/desktop_doubles.h"
#include "doubles/fixed_bundle.h"
#include "doubles/memory_defaults_store.h"
#include "doubles/memory_files.h"
#include "doubles/scripted_processes.h"
#include "doubles/virtual_dispatcher.h"
#include "platform/platform.h"

namespace drivelark::testing {

class TestPlatform {
public:
    TestPlatform() : previous_(installPlatform(&services_)) {
        files.createDirectories(std::string(MemoryFiles::kHome) + "/Library/Logs");
    }
    ~TestPlatform() { installPlatform(previous_); }
    TestPlatform(const TestPlatform&) = delete;
    TestPlatform& operator=(const TestPlatform&) = delete;

    // The messages of the application log so far, without their time stamps.
    std::vector<std::string> logMessages() const {
        std::istringstream log(files.content(std::string(MemoryFiles::kHome) + "/Library/Logs/Drivelark.log"));
        std::vector<std::string> messages;
        // "[yyyy-MM-dd HH:mm:ss] " is 22 characters.
        for (std::string line; std::getline(log, line);) messages.push_back(line.substr(22));
        return messages;
    }

    ScriptedProcesses processes;
    MemoryFiles files;
    MemoryDefaultsStore defaults;
    VirtualDispatcher dispatcher;
    FixedBundle bundle;
    RecordingWorkspace workspace;
    ScriptedVolumeEvents volumeEvents{dispatcher};
    RecordingUserInterface ui;
    DisabledLoginItem loginItem;
    RecordingPower power;

private:
    Platform services_{processes, files,        defaults, dispatcher, dispatcher, bundle,
                       workspace, volumeEvents, ui,       loginItem,  power};
    Platform* previous_;
};

}  // namespace drivelark::testing
