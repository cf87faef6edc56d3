// The application on the virtual clock: start-up timing, the unmount observer's window, the menu,
// the commands and the alerts they lead to, against a scripted Mac.

#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "app/status_menu.h"
#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "mount/mount_manager.h"
#include "unit/mount_programs.h"

namespace drivelark {
namespace {

using namespace testing;

const VolumeInfo kReadOnly{"disk4s1", "/Volumes/DATA", "DATA", VolumeInfo::Kind::ntfsReadOnly};
const VolumeInfo kReadWrite{"disk5s1", "/Volumes/Passport", "Passport", VolumeInfo::Kind::ntfsReadWrite};

std::vector<std::string> titles(const std::vector<MenuEntry>& menu) {
    std::vector<std::string> result;
    for (const MenuEntry& entry : menu) result.push_back(entry.row.title + (entry.row.checked ? " ✓" : ""));
    return result;
}

TEST(StatusMenuTest, RowsAndSymbols) {
    EXPECT_EQ(titles(buildStatusMenu({kReadOnly}, {})),
              (std::vector<std::string>{"「DATA」 当前只读 — 点击转为读写", "", "插入 NTFS 磁盘时自动转为读写 ✓",
                                        "登录时自动启动", "", "产品主页（教程与下载）", "关于 Drivelark", "", "退出"}));
    std::vector<MenuEntry> menu = buildStatusMenu({kReadOnly, kReadWrite}, {false, true, [](const VolumeInfo& v) {
                                                       return v.deviceID == "disk4s1";
                                                   }});
    EXPECT_EQ(menu[0].row.title, "「DATA」 只读（Windows 未完全关机）— 点击查看原因");
    EXPECT_EQ(menu[1].row.title, "「Passport」 ✓ 读写中 — 点击弹出磁盘");
    EXPECT_EQ((std::pair{menu[1].action, menu[1].volume->mountPoint}), (std::pair{MenuAction::ejectVolume, kReadWrite.mountPoint}));
    EXPECT_EQ(titles(menu)[3], "插入 NTFS 磁盘时自动转为读写");
    EXPECT_EQ(titles(menu)[4], "登录时自动启动 ✓");
    EXPECT_EQ(menu.back().row.keyEquivalent, "q");
    std::vector<MenuEntry> empty = buildStatusMenu({{"disk9", "/Volumes/X", "X", VolumeInfo::Kind::other}}, {});
    EXPECT_EQ((std::pair{empty[0].row.title, empty[0].row.enabled}), (std::pair{std::string("未检测到 NTFS 磁盘"), false}));
    EXPECT_EQ(buildStatusMenu({{"", "/Volumes/", "", VolumeInfo::Kind::ntfsReadOnly}}, {})[0].row.title,
              "「」 当前只读 — 点击转为读写");

    EXPECT_EQ(statusSymbol({kReadOnly, kReadWrite}), "externaldrive.badge.timemachine");
    EXPECT_EQ(statusSymbol({kReadOnly}), "externaldrive.fill");
    EXPECT_EQ(statusSymbol({}), "externaldrive");
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.files.addDirectory("/Volumes/Data", 3);  // the system's mount of disk4s1
        platform.processes.answerAll(kDiskutil, [](const ProgramCall& call) {
            return call.arguments[0] == "list" ? exited(0, "<plist version=\"1.0\"><dict><key>AllDisksAndPartitions"
                                                         "</key><array/></dict></plist>")
                                               : exited(1);
        });
        platform.processes.answerAll(kMount, [](const ProgramCall&) { return exited(0, kMountTable); });
        app->applicationDidFinishLaunching();
        platform.dispatcher.runBackgroundJobs();  // the helper check at start-up
    }
    size_t passes() const {
        size_t count = 0;
        for (const ProgramCall& call : platform.processes.callsOf(kDiskutil)) count += call.arguments[0] == "list";
        return count;
    }
    std::string answerMount(int status, const std::string& out) {
        platform.processes.answerAll(kOsascript, [=](const ProgramCall&) { return exited(status, out); });
        return out;
    }

    TestPlatform platform;
    std::shared_ptr<AutoMountEngine> engine = std::make_shared<AutoMountEngine>();
    std::shared_ptr<AppDelegate> app = std::make_shared<AppDelegate>(engine);
};

TEST_F(AppTest, PassesFollowTheTimerAndTheSettleDelays) {
    // Steps of an eighth of a second: the virtual clock adds them exactly.
    EXPECT_EQ(platform.logMessages().front(), "Drivelark v1.4 已启动");
    platform.dispatcher.advance(1.375);
    EXPECT_EQ(passes(), 0u);
    platform.dispatcher.advance(0.125);
    EXPECT_EQ(passes(), 1u);  // the first settle step, 1.5 s after launch
    platform.volumeEvents.mount("/Volumes/A");
    platform.dispatcher.advance(0.25);
    platform.volumeEvents.mount("/Volumes/B");
    platform.dispatcher.advance(0.625);
    EXPECT_EQ(passes(), 1u);
    platform.dispatcher.advance(0.125);  // 1.0 s after the first notice
    EXPECT_EQ(passes(), 2u);
    platform.dispatcher.advance(0.25);   // and after the second: nothing is merged
    EXPECT_EQ(passes(), 3u);
    platform.dispatcher.advance(0.25);   // the timer's first tick, 3.0 s after launch
    EXPECT_EQ(passes(), 4u);
    platform.dispatcher.advance(3.0);
    EXPECT_EQ(passes(), 5u);
    EXPECT_EQ(platform.ui.symbol, "externaldrive.fill");  // refreshed by the settle steps
}

TEST_F(AppTest, UnmountsWithinSixSecondsOfOurOwnAreNotEjects) {
    VolumeScanner::markManaged("/Volumes/DATA", "DATA", "disk4s1");
    platform.files.addDirectory("/Volumes/DATA");  // not mounted, not gone: it stays registered
    for (double elapsed : {5.0, 6.0, 6.1}) {
        MountManager::markInternalUnmount();
        platform.dispatcher.advance(elapsed);
        platform.volumeEvents.unmount("/Volumes/DATA");
        platform.volumeEvents.unmount("/Volumes/Unmanaged");
        platform.dispatcher.advance(0);
    }
    std::vector<std::string> log = platform.logMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "检测到外部卸载（用户推出）: /Volumes/DATA，本次不再自动重挂"), 1);
    EXPECT_EQ(log.back(), "检测到外部卸载（用户推出）: /Volumes/DATA，本次不再自动重挂");
}

TEST_F(AppTest, UserConversionsEndInTheRightAlert) {
    struct Case {
        std::string out;
        std::vector<int> answers;  // the buttons the user picks, alert after alert
        std::vector<std::string> alerts;
        std::string opened;
    };
    const std::vector<Case> cases = {
        {"__WRITE_DENIED__ refused; also hibernat", {0}, {"需要授予磁盘访问权限"},
         "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles"},
        {"Falling back to read-only: unsafe state", {1}, {"磁盘处于「不安全状态」"}, ""},
        {"Windows is Hibernated", {0}, {"挂载失败"}, ""},
        {"unsafe state", {0, 0}, {"磁盘处于「不安全状态」", "修复失败"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        platform.workspace.opened.clear();
        answerMount(1, c.out);
        app->mountReadWrite(kReadOnly);
        std::vector<std::string> shown;
        for (int answer : c.answers) {
            platform.dispatcher.runUntilIdle();
            ASSERT_FALSE(platform.ui.alerts.empty());
            shown.push_back(platform.ui.alerts.front().first.message);
            platform.ui.answer(answer);
        }
        platform.dispatcher.runUntilIdle();
        EXPECT_EQ(shown, c.alerts);
        EXPECT_TRUE(platform.ui.alerts.empty());
        EXPECT_EQ(platform.workspace.opened, c.opened.empty() ? std::vector<std::string>{} : std::vector{c.opened});
    }
}

TEST_F(AppTest, EjectUnmountsWithTheUsersRightsAndConvertRemounts) {
    answerMount(0, "\n");
    platform.processes.answerAll(kDiskutil, [](const ProgramCall&) { return exited(0, "unmounted\n"); });
    VolumeScanner::markManaged("/Volumes/Passport", "Passport", "disk5s1");
    app->ejectVolume({"", "/Volumes/Passport", "Passport", VolumeInfo::Kind::ntfsReadWrite});
    platform.dispatcher.runUntilIdle();
    std::vector<ProgramCall> calls = platform.processes.callsOf(kDiskutil);
    EXPECT_NE(std::find(calls.begin(), calls.end(), ProgramCall{kDiskutil, {"unmount", "/Volumes/Passport"}}), calls.end());
    EXPECT_EQ(platform.logMessages().back(), "已卸载 Passport（用户操作）");
    app->mountReadWrite({"disk5s1", "/Volumes/Passport", "Passport", VolumeInfo::Kind::ntfsReadOnly});
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(platform.logMessages().back(), "读写挂载成功: Passport -> /Volumes/Passport");
}

TEST_F(AppTest, SettingsAboutAndTheProductPage) {
    ASSERT_TRUE(platform.ui.choose("插入 NTFS 磁盘时自动转为读写"));
    EXPECT_FALSE(autoMountEnabled());
    ASSERT_TRUE(platform.ui.choose("登录时自动启动"));
    EXPECT_TRUE(platform.loginItem.enabled);
    platform.loginItem.failure = LoginItemError{"Error Domain=SMAppServiceErrorDomain Code=1", "Operation not permitted"};
    ASSERT_TRUE(platform.ui.choose("登录时自动启动"));
    EXPECT_EQ(platform.logMessages().back(), "登录自启设置失败: Error Domain=SMAppServiceErrorDomain Code=1");
    EXPECT_EQ(platform.ui.alerts.front().first.informativeText, "Operation not permitted");
    platform.ui.answer(0);

    for (int button : {0, 1, 2}) {
        ASSERT_TRUE(platform.ui.choose("关于 Drivelark"));
        EXPECT_EQ(platform.ui.alerts.front().first.buttons.size(), 3u);
        platform.ui.answer(button);
    }
    ASSERT_TRUE(platform.ui.choose("产品主页"));
    EXPECT_EQ(platform.workspace.opened, (std::vector<std::string>{"https://xn--9kqt37o.example/ntfs/",
                                                                   "https://xn--9kqt37o.example",
                                                                   "https://xn--9kqt37o.example/ntfs/"}));
    ASSERT_TRUE(platform.ui.choose("退出"));
    EXPECT_TRUE(platform.ui.quitRequested);
}

}  // namespace
}  // namespace drivelark
