// The application on the virtual clock: when its passes run after launch, after mount notices and
// on the timer, against a scripted Mac.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "app/app_delegate.h"
#include "discovery/volume_scanner.h"
#include "mount/mount_manager.h"
#include "doubles/test_platform.h"
#include "unit/mount_programs.h"

namespace drivelark::testing {

TEST(AppTest, PassesFollowTheTimerAndTheSettleDelays) {
    TestPlatform platform;
    platform.processes.answer(kDiskutil, kList, exited(0, listing("")));
    auto app = std::make_shared<AppDelegate>(std::make_shared<AutoMountEngine>());
    app->applicationDidFinishLaunching();
    platform.dispatcher.runUntilIdle();  // the helper check at start-up
    // A mount (+) or unmount (-) notice, then steps of an eighth of a second (the virtual clock adds
    // them exactly), and the passes run by then, each of which reads the disk listing once.
    for (auto [notice, step, passes] : std::vector<std::tuple<std::string, double, int>>{
             {"", 1.375, 0}, {"", 0.125, 1},                     // the first settle step, 1.5 s after launch
             {"+/Volumes/A", 0.25, 1}, {"+/Volumes/B", 0.625, 1},  // two notices, 0.25 s apart
             {"", 0.125, 1}, {"", 0.25, 2},                      // one pass, 1.0 s after the last
             {"", 0.25, 3},                                      // the timer's tick, 3.0 s after launch
             {"+/Volumes/C", 0.125, 3}, {"-/Volumes/D", 1.375, 3},  // a mount, then an unmount:
             {"", 0.125, 4},                                      // 1.5 s after the unmount
             {"-/Volumes/E", 0.25, 4}, {"+/Volumes/F", 0.875, 4},  // a disk swapped for another:
             {"", 0.125, 5},                                      // 1.0 s after the new one's mount
             {"", 0.5, 6}}) {                                     // the timer's ticks go on
        if (notice.starts_with('+')) platform.volumeEvents.mount(notice.substr(1));
        if (notice.starts_with('-')) platform.volumeEvents.unmount(notice.substr(1));
        platform.dispatcher.advance(step);
        EXPECT_EQ(std::ranges::count(platform.processes.calls(), ProgramCall{kDiskutil, kList}), passes) << step;
    }
}

// The system's notice of an eject chosen from the menu may come before the eject's own completion.
TEST(AppTest, AMenuEjectIsNotTakenForAnOutsideUnmount) {
    TestPlatform platform;
    platform.processes.answer(kDiskutil, kList, exited(0, listing("")));
    platform.processes.answer(kDiskutil, {"unmount", "/Volumes/Data"}, exited(0));
    auto app = std::make_shared<AppDelegate>(std::make_shared<AutoMountEngine>());
    app->applicationDidFinishLaunching();
    MountManager::markInternalUnmount();
    platform.dispatcher.advance(7.0);  // past the window of Drivelark's own unmounts
    VolumeScanner::markManaged("/Volumes/Data", "Data", "disk4s1");
    app->ejectVolume(VolumeInfo{"disk4s1", "/Volumes/Data", "Data", VolumeInfo::Kind::ntfsReadWrite});
    platform.volumeEvents.unmount("/Volumes/Data");
    platform.dispatcher.runUntilIdle();
    EXPECT_NE(platform.log().find("已卸载 Data（用户操作）"), std::string::npos) << platform.log();
    EXPECT_EQ(platform.log().find("检测到外部卸载"), std::string::npos) << platform.log();
}

// A login item the user turned off in the system's settings can only be turned on there again.
TEST(AppTest, LoginRowRegistersOrSendsTheUserToTheSettings) {
    using enum LoginItemStatus;
    for (auto [status, checked, changes, settingsOpened] : std::vector<std::tuple<LoginItemStatus, bool, std::vector<bool>, int>>{
             {disabled, false, {true}, 0}, {enabled, true, {false}, 0}, {awaitingApproval, false, {}, 1}}) {
        TestPlatform platform;
        platform.processes.answer(kDiskutil, kList, exited(0, listing("")));
        platform.loginItem.loginStatus = status;
        auto app = std::make_shared<AppDelegate>(std::make_shared<AutoMountEngine>());
        std::vector<MenuEntry> menu = app->menuNeedsUpdate();
        auto row = std::ranges::find(menu, MenuAction::toggleLaunch, &MenuEntry::action);
        ASSERT_NE(row, menu.end());
        EXPECT_EQ(row->row.checked, checked);
        app->choose(*row);
        EXPECT_EQ(platform.loginItem.loginChanges, changes);
        EXPECT_EQ(platform.loginItem.loginSettingsOpened, settingsOpened);
        EXPECT_EQ(platform.log().find("登录自启需在系统设置中批准，已打开「登录项」设置") != std::string::npos,
                  settingsOpened == 1) << platform.log();
    }
}

}  // namespace drivelark::testing
