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

// The menu answers at once from what was read last: while the disks are still being read, while a
// conversion waits for root and while an eject waits for the disk utility. Twins are told apart
// by their devices, and a failed eject is explained and offered again, never forced.
TEST_F(AppTest, TheMenuShowsWorkUnderWayAndTellsTwinsApart) {
    app->applicationDidFinishLaunching();
    platform.dispatcher.advance(1.5);  // the first pass is reading the disks, and has not finished
    EXPECT_EQ(titles(), std::vector<std::string>{"正在检查磁盘…"});

    Volume backup{"disk4s1", "Backup", "B-1"}, twin{"disk5s1", "Backup", "B-2"}, data{"disk6s1", "Data", "D-1"};
    volumes = {backup, twin, data};
    systemMount(backup, "/Volumes/Backup");
    systemMount(data, "/Volumes/Data");
    engine->setAutoMountEnabled(false);
    engine->mounts().remountReadWrite({backup.device, backup.name, "", "volume:B-1"}, [](bool, const std::string&) {});
    platform.dispatcher.runUntilIdle();
    systemMount(twin, "/Volumes/Backup 1");
    hanging.insert(data.device);
    for (const MenuEntry& entry : app->menuNeedsUpdate()) {
        if (entry.row.title.starts_with("「Data」 当前只读")) app->choose(entry);
    }
    platform.dispatcher.advance(3);
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(titles(), (std::vector<std::string>{"「Backup」 (disk4s1) ✓ 读写中，剩余 7.0 KB — 点击弹出磁盘",
                                                  "「Backup」 (disk5s1) 当前只读 — 点击转为读写", "「Data」 正在转为读写…"}));

    platform.processes.answer(kDiskutil, {"unmount", "/Volumes/Backup"},
                              exited(1, "Volume Backup on disk4s1 failed to unmount: dissented by PID 632 (/usr/bin/vim)\n"));
    app->ejectVolume({"disk4s1", "/Volumes/Backup", "Backup", VolumeInfo::Kind::ntfsReadWrite, "volume:B-1", {}});
    EXPECT_EQ(titles().at(0), "「Backup」 (disk4s1) 正在弹出…");
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(platform.ui.alerts.back().message, "无法弹出「Backup」");
    EXPECT_NE(platform.ui.alerts.back().informativeText.find("dissented by PID 632 (/usr/bin/vim)"), std::string::npos);
    EXPECT_TRUE(mounts.contains("/Volumes/Backup"));
}

// A login item the user turned off in the system's settings can only be turned on there again.
TEST(LoginRowTest, RegistersOrSendsTheUserToTheSettings) {
    using enum LoginItemStatus;
    for (auto [status, checked, changes, settingsOpened] : std::vector<std::tuple<LoginItemStatus, bool, std::vector<bool>, int>>{
             {disabled, false, {true}, 0}, {enabled, true, {false}, 0}, {awaitingApproval, false, {}, 1}}) {
        TestPlatform platform;
        platform.processes.answer(kDiskutil, kList, exited(0, listing("")));
        platform.loginItem.loginStatus = status;
        auto mounts = std::make_shared<MountManager>(platform.services, platform.appLog);
        auto app = std::make_shared<AppDelegate>(platform.services, platform.appLog,
                                                 AutoMountEngine::make(platform.services, platform.appLog, mounts),
                                                 std::make_shared<USBKeepAlive>(platform.services, platform.appLog, mounts));
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
