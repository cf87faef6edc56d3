#pragma once

// A complete set of test doubles, installed as the platform for as long as it lives.

#include "doubles/desktop_doubles.h"
#include "doubles/fixed_bundle.h"
#include "doubles/memory_defaults_store.h"
#include "doubles/memory_files.h"
#include "doubles/recording_workspace.h"
#include "doubles/scripted_processes.h"
#include "doubles/scripted_volume_events.h"
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

    ScriptedProcesses processes;
    MemoryFiles files;
    MemoryDefaultsStore defaults;
    VirtualDispatcher dispatcher;
    FixedBundle bundle;
    RecordingWorkspace workspace;
    ScriptedVolumeEvents volumeEvents{dispatcher};
    ScriptedUserInterface ui;
    MemoryLoginItem loginItem;
    ScriptedPower power;

    // The messages of the application log so far, without their time stamps.
    std::vector<std::string> logMessages() const;

private:
    Platform services_{processes, files,        defaults, dispatcher, dispatcher, bundle,
                       workspace, volumeEvents, ui,       loginItem,  power};
    Platform* previous_;
};

}  // namespace drivelark::testing
