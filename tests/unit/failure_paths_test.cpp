// What the core does when the system says no: a full or failing disk under the log, a volume
// whose listing is refused, settings that cannot be saved. (A volume that cannot be written back:
// mount_operations_test.cpp.)

#include <gtest/gtest.h>

#include "foundation/app_log.h"
#include "keepalive/usb_keep_alive.h"
#include "unit/scripted_mac.h"

namespace drivelark::testing {

// The log never fails its caller: a line that cannot be written is lost and the next one is
// written once it can be. The log's folder is removed as if someone had cleared it while the
// application runs: it is made again.
TEST(FailurePathsTest, TheLogLosesWhatItCannotWriteAndMakesItsFolderAgain) {
    const std::string folder = "/Users/alice/Library/Logs", log = folder + "/Drivelark.log";
    // What fails, with what, while line b is written; the lines kept.
    const std::vector<std::tuple<FileCall, std::string, int, std::string>> cases = {
        {FileCall::appendToFile, log, ENOSPC, "c"}, {FileCall::appendToFile, log, EIO, "c"},
        {FileCall::createDirectories, folder, 0, "bc"}, {FileCall::createDirectories, folder, EACCES, "c"},
    };
    for (const auto& [call, path, error, kept] : cases) {
        TestPlatform platform;
        platform.files.remove(folder);
        platform.files.failing[{call, path}] = error;
        platform.appLog.line("b");
        platform.files.failing.clear();
        platform.appLog.line("c");
        std::string expected;
        for (char line : kept) expected += formatLogLine({}, std::string(1, line));
        EXPECT_EQ(platform.log(), expected) << path << " " << error;
    }
}

using FailurePathsMac = ScriptedMac;

// The system refuses the listing of a read-write volume (on macOS: network volumes the user did
// not let Drivelark into): the log says so once, and the disk keeps its pulse. A listing that
// fails for another reason is no refusal.
TEST_F(FailurePathsMac, ARefusedListingIsNotedOnceAndTheDiskKeepsItsPulse) {
    Volume data{"disk4s1", "Data", "1A-1"};
    volumes = {data};
    systemMount(data, "/Volumes/Data");
    passAfter(0);  // converted
    passAfter(0);  // and seen so
    for (auto [error, noted] : {std::pair{EACCES, 1u}, {EPERM, 1u}, {EIO, 0u}}) {
        const std::size_t notedBefore = logLines("保活: 系统拒绝访问 /Volumes/Data").size(),
                          pulsesBefore = helperCallsOf("keepalive").size();
        auto keepAlive = std::make_shared<USBKeepAlive>(platform.services, platform.appLog, mountManager);
        keepAlive->start(engine->watcher());
        platform.files.failing[{FileCall::openDirectory, "/Volumes/Data"}] = error;
        for (int pulse = 0; pulse < 3; ++pulse) {
            platform.dispatcher.advance(USBKeepAlive::kPulseInterval);
            platform.dispatcher.runUntilIdle();
        }
        EXPECT_EQ(logLines("保活: 系统拒绝访问 /Volumes/Data").size() - notedBefore, noted) << error;
        EXPECT_EQ(helperCallsOf("keepalive").size() - pulsesBefore, 3u) << error;
    }
}

// Settings that cannot be saved (a full disk) stay in effect for this run, and the log says which.
// (A registry kept in memory while its file cannot be written: test_faults.py.)
TEST_F(FailurePathsMac, SettingsThatCannotBeSavedStayInEffectAndAreLogged) {
    platform.defaults.persistError = ENOSPC;
    engine->setAutoMountEnabled(false);
    registry.markManaged({"/Volumes/Data", "Data", "disk4s1", "volume:AB-1"});
    EXPECT_FALSE(engine->autoMountEnabled());
    for (const char* key : {"autoMount", "managedNames", "managedDevs", "managedVolumes"})
        EXPECT_NE(platform.log().find(std::string("设置未能保存 ") + key + ": "), std::string::npos) << key;
}

}  // namespace drivelark::testing
