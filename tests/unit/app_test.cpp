// The application on the virtual clock: when its passes run, and what its menu shows while work is
// under way, against a scripted Mac.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "app/app_delegate.h"
#include "unit/scripted_mac.h"

namespace drivelark::testing {

struct AppTest : ScriptedMac {
    std::vector<std::string> titles() {
        std::vector<std::string> rows;
        for (const MenuEntry& entry : app->menuNeedsUpdate()) {
            if (entry.volume || entry.row.title.find("正在") != std::string::npos) rows.push_back(entry.row.title);
        }
        return rows;
    }
    std::shared_ptr<AppDelegate> app = std::make_shared<AppDelegate>(
        platform.services, platform.appLog, engine, std::make_shared<USBKeepAlive>(platform.services, platform.appLog, mountManager));
};

TEST_F(AppTest, PassesFollowTheTimerAndTheSettleDelays) {
    app->applicationDidFinishLaunching();
    platform.dispatcher.runUntilIdle();  // the helper check at start-up
    // A mount (+) or unmount (-) notice, then steps of an eighth of a second (the virtual clock adds
    // them exactly), and the passes run by then, each of which reads the disk listing once.
    for (auto [notice, step, passes] : std::vector<std::tuple<std::string, double, int>>{
             {"", 1.375, 0}, {"", 0.125, 1},                        // the first settle step, 1.5 s after launch
             {"+/Volumes/A", 0.25, 1}, {"+/Volumes/B", 0.625, 1},  // two notices, 0.25 s apart
             {"", 0.125, 1}, {"", 0.25, 2},                         // one pass, 1.0 s after the last
             {"", 0.25, 3},                                         // the timer's tick, 3.0 s after launch
             {"+/Volumes/C", 0.125, 3}, {"-/Volumes/D", 1.375, 3},  // a mount, then an unmount:
             {"", 0.125, 4},                                        // 1.5 s after the unmount
             {"-/Volumes/E", 0.25, 4}, {"+/Volumes/F", 0.875, 4},  // a disk swapped for another:
             {"", 0.125, 5},                                        // 1.0 s after the new one's mount
             {"", 0.5, 6}}) {                                       // the timer's ticks go on
        if (notice.starts_with('+')) platform.volumeEvents.mount(notice.substr(1));
        if (notice.starts_with('-')) platform.volumeEvents.unmount(notice.substr(1));
        platform.dispatcher.advance(step);
        platform.dispatcher.runUntilIdle();
        EXPECT_EQ(std::ranges::count(platform.processes.calls(), ProgramCall{kDiskutil, kList}), passes) << step;
    }
}

// The menu answers at once from what was read last, while the disks are still being read and while
// an eject waits for the disk utility. (Conversions under way, twins and a failed eject:
// test_application.py.)
TEST_F(AppTest, TheMenuShowsWorkUnderWay) {
    app->applicationDidFinishLaunching();
    platform.dispatcher.advance(1.5);  // the first pass is reading the disks, and has not finished
    EXPECT_EQ(titles(), std::vector<std::string>{"正在检查磁盘…"});
    volumes = {{"disk4s1", "Data", "D-1"}};
    systemMount(volumes[0], "/Volumes/Data");
    platform.dispatcher.runUntilIdle();
    passAfter(3);  // converted, and seen so
    app->ejectVolume({"disk4s1", "/Volumes/Data", "Data", VolumeInfo::Kind::ntfsReadWrite, "volume:D-1", {}});
    EXPECT_EQ(titles(), std::vector<std::string>{"「Data」 正在弹出…"});
}

// A login item the user turned off in the system's settings can only be turned on there again.
// (Turning it on and off: test_application.py.)
TEST_F(AppTest, ALoginItemAwaitingApprovalSendsTheUserToTheSettings) {
    platform.loginItem.loginStatus = LoginItemStatus::awaitingApproval;
    std::vector<MenuEntry> menu = app->menuNeedsUpdate();
    auto row = std::ranges::find(menu, MenuAction::toggleLaunch, &MenuEntry::action);
    ASSERT_NE(row, menu.end());
    EXPECT_FALSE(row->row.checked);
    app->choose(*row);
    EXPECT_TRUE(platform.loginItem.loginChanges.empty());
    EXPECT_EQ(platform.loginItem.loginSettingsOpened, 1);
}

}  // namespace drivelark::testing
