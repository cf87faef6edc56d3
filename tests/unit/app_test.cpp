// The application on the virtual clock: when its passes run after launch, after mount notices and
// on the timer, against a scripted Mac.

#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "doubles/test_platform.h"
#include "unit/mount_programs.h"

namespace drivelark {
namespace {

using namespace testing;

TEST(AppTest, PassesFollowTheTimerAndTheSettleDelays) {
    TestPlatform platform;
    platform.files.addDirectory("/Volumes/Data", 3);  // the system's mount of disk4s1
    platform.processes.answerAll(kDiskutil, [](const ProgramCall& call) {
        return call.arguments[0] == "list"
                   ? exited(0, "<plist version=\"1.0\"><dict><key>AllDisksAndPartitions</key><array/></dict></plist>")
                   : exited(1);
    });
    platform.processes.answerAll(kMount, [](const ProgramCall&) { return exited(0, kMountTable); });
    auto app = std::make_shared<AppDelegate>(std::make_shared<AutoMountEngine>());
    app->applicationDidFinishLaunching();
    platform.dispatcher.runBackgroundJobs();  // the helper check at start-up
    auto passes = [&] {
        std::vector<ProgramCall> calls = platform.processes.callsOf(kDiskutil);
        return std::count_if(calls.begin(), calls.end(), [](auto& call) { return call.arguments[0] == "list"; });
    };
    // Steps of an eighth of a second: the virtual clock adds them exactly.
    platform.dispatcher.advance(1.375);
    EXPECT_EQ(passes(), 0);
    platform.dispatcher.advance(0.125);
    EXPECT_EQ(passes(), 1);  // the first settle step, 1.5 s after launch
    platform.volumeEvents.mount("/Volumes/A");
    platform.dispatcher.advance(0.25);
    platform.volumeEvents.mount("/Volumes/B");
    platform.dispatcher.advance(0.625);
    EXPECT_EQ(passes(), 1);
    platform.dispatcher.advance(0.125);  // 1.0 s after the first notice
    EXPECT_EQ(passes(), 2);
    platform.dispatcher.advance(0.25);  // and after the second: nothing is merged
    EXPECT_EQ(passes(), 3);
    platform.dispatcher.advance(0.25);  // the timer's first tick, 3.0 s after launch
    EXPECT_EQ(passes(), 4);
    platform.dispatcher.advance(3.0);
    EXPECT_EQ(passes(), 5);
    EXPECT_EQ(platform.ui.symbol, "externaldrive.fill");  // refreshed by the settle steps
}

}  // namespace
}  // namespace drivelark
