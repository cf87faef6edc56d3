// The mount operations against scripted programs: which channel does the root work, what the
// registry and the log say afterwards, and that the volume text never becomes AppleScript source.

#include <gtest/gtest.h>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "mount/mount_manager.h"
#include "unit/mount_programs.h"

namespace drivelark {
namespace {

using namespace testing;

const std::vector<std::string> kUsableQuery = {"-n", kHelper, "selftest"};
const std::string kBundledHelper = std::string(FixedBundle::kExecutableDirectory) + "/drivelark-mount";

class MountOperationsTest : public ::testing::Test {
protected:
    MountOperationsTest() { platform.files.addDirectory("/Volumes"); }

    void installHelper(int sudoListStatus) {
        platform.files.addFile(kHelper);
        platform.processes.answer(kSudo, kUsableQuery, exited(sudoListStatus));
    }
    MountCompletion record() {
        return [this](bool ok, const std::string& out) { completions.push_back(CommandOutcome{ok, out}); };
    }
    // The shell command handed to the administrator prompt, after checking the script around it.
    std::string promptedCommand(size_t index = 0) {
        std::vector<ProgramCall> calls = platform.processes.callsOf(kOsascript);
        EXPECT_GT(calls.size(), index);
        if (calls.size() <= index) return {};
        const std::vector<std::string>& arguments = calls[index].arguments;
        EXPECT_EQ(std::vector<std::string>(arguments.begin(), arguments.end() - 1),
                  (std::vector<std::string>{"-e", "on run argv", "-e",
                                            "do shell script (item 1 of argv) with administrator privileges", "-e",
                                            "end run"}));
        return arguments.back();
    }

    TestPlatform platform;
    std::vector<CommandOutcome> completions;
};

TEST_F(MountOperationsTest, RemountThroughEachChannel) {
    struct Case {
        const char* what;
        bool helperFile;
        int sudoList, helperStatus;
        int promptStatus;  // -1: no prompt expected
        bool ok;
        std::vector<std::string> log;
        bool systemMountGone = false;  // the failed attempt left the device mounted nowhere
    };
    const std::string start = "开始读写挂载 Data(disk4s1) → /Volumes/Data";
    const std::vector<Case> cases = {
        {"helper", true, 0, 0, -1, true, {start, "读写挂载成功(免密通道): Data -> /Volumes/Data"}},
        {"helper fails: final", true, 0, 2, -1, false, {start, "免密通道挂载失败: refused\\nfor a reason"}},
        {"no sudo rule: prompt", true, 1, 0, 0, true,
         {start, "免密通道不可用，改走管理员授权", "读写挂载成功: Data -> /Volumes/Data"}},
        {"helper cannot run: prompt", true, 0, 127, 0, true,
         {start, "免密通道不可用，改走管理员授权", "读写挂载成功: Data -> /Volumes/Data"}},
        {"no helper: prompt, cancelled", false, 0, 0, 1, false,
         {start, "读写挂载失败: Data — 0:54: execution error: User canceled. (-128)"}},
        {"helper killed mid-mount: read-only mount asked for again", true, 0, 137, -1, false,
         {start, "免密通道挂载失败: refused\\nfor a reason", "已恢复系统只读挂载: disk4s1"}, true},
        {"prompt killed mid-mount: restore fails too", false, 0, 0, 1, false,
         {start, "读写挂载失败: Data — 0:54: execution error: User canceled. (-128)",
          "恢复系统只读挂载失败: disk4s1 — Volume on disk4s1 failed to mount"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestPlatform fresh;
        fresh.files.addDirectory("/Volumes");
        int mountListings = 0;
        fresh.processes.answerAll(kMount, [&](const ProgramCall&) {
            bool gone = c.systemMountGone && ++mountListings > 1;
            return exited(0, gone ? "/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)\n" : kMountTable);
        });
        fresh.processes.answer(kDiskutil, {"mount", "disk4s1"},
                               c.helperFile ? exited(0, "Volume Data on disk4s1 mounted\n")
                                            : exited(1, "Volume on disk4s1 failed to mount\n"));
        if (c.helperFile) {
            fresh.files.addFile(kHelper);
            fresh.processes.answer(kSudo, kUsableQuery, exited(c.sudoList));
            fresh.processes.answer(kSudo, {"-n", kHelper, "mount", "disk4s1", "/Volumes/Data", "Data"},
                                   exited(c.helperStatus, "refused\nfor a reason\n"));
        }
        fresh.processes.answerAll(kOsascript, [&](const ProgramCall&) {
            return c.promptStatus == 0 ? exited(0, "\n")
                                       : exited(1, "0:54: execution error: User canceled. (-128)\n");
        });
        MountManager::markInternalUnmount();  // the state this test starts from, whatever ran before
        fresh.dispatcher.advance(1);
        std::vector<CommandOutcome> done;
        MountManager::remountReadWrite("disk4s1", "Data",
                                       [&](bool ok, const std::string& out) { done.push_back({ok, out}); });
        fresh.dispatcher.runUntilIdle();

        ASSERT_EQ(done.size(), 1u);
        EXPECT_EQ(done[0].ok, c.ok);
        EXPECT_EQ(fresh.processes.callsOf(kOsascript).size(), c.promptStatus < 0 ? 0u : 1u);
        EXPECT_EQ(fresh.processes.callsOf(kDiskutil).size(), c.systemMountGone ? 1u : 0u);
        EXPECT_EQ(fresh.logMessages(), c.log);
        EXPECT_EQ(VolumeScanner::managedDevs(), (c.ok ? TextMap{{"/Volumes/Data", "disk4s1"}} : TextMap{}));
        EXPECT_EQ(MountManager::lastInternalUnmount(), fresh.dispatcher.now());  // set also when it fails
    }
}

TEST_F(MountOperationsTest, PromptRunsTheBundledHelperWithTheNameOnlyInItsArgument) {
    platform.processes.answer(kMount, {}, exited(0, kMountTable));
    platform.processes.answerAll(kOsascript, [](const ProgramCall&) { return exited(0, "\n"); });
    const std::string hostile = "Bob's \"x\" $(touch /tmp/owned)";
    MountManager::remountReadWrite("disk4s1", hostile, record());
    platform.dispatcher.runUntilIdle();
    std::string command = promptedCommand();
    EXPECT_EQ(command.rfind("'" + kBundledHelper + "' 'mount' 'disk4s1' ", 0), 0u) << command;
    EXPECT_EQ(VolumeScanner::managedNames(),
              (TextMap{{"/Volumes/Bob's \"x\" $(touch _tmp_owned)", "Bob's \"x\" $(touch _tmp_owned)"}}));
}

TEST_F(MountOperationsTest, RemountGoesWhereNoOtherDiskIsAndStopsWhenItCannotTell) {
    // A FAT stick holds /Volumes/Data; this disk is mounted by the system at "/Volumes/Data 1".
    installHelper(0);
    platform.processes.answer(kMount, {},
                              exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n"
                                        "/dev/disk5s1 on /Volumes/Data (msdos, local, nodev)\n"
                                        "/dev/disk4s1 on /Volumes/Data 1 (ntfs, local, read-only)\n"));
    platform.processes.answer(kSudo, {"-n", kHelper, "mount", "disk4s1", "/Volumes/Data 1", "Data"}, exited(0));
    MountManager::remountReadWrite("disk4s1", "Data", record());
    platform.dispatcher.runUntilIdle();
    ASSERT_TRUE(completions.at(0).ok) << completions[0].out;
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Data 1", "disk4s1"}}));

    // Twins converted together: the second does not pick the place the first is about to take.
    platform.processes.answer(kMount, {},
                              exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n"
                                        "/dev/disk6s1 on /Volumes/Twin 1 (ntfs, local, read-only)\n"
                                        "/dev/disk7s1 on /Volumes/Twin 2 (ntfs, local, read-only)\n"));
    platform.processes.answerAll(kSudo, [](const ProgramCall&) { return exited(0); });
    MountManager::remountReadWrite("disk6s1", "Twin", record());
    MountManager::remountReadWrite("disk7s1", "Twin", record());
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(VolumeScanner::managedDevs(),
              (TextMap{{"/Volumes/Data 1", "disk4s1"}, {"/Volumes/Twin", "disk6s1"}, {"/Volumes/Twin 2", "disk7s1"}}));

    // Without a mount table nothing runs as root.
    for (ProgramRun table : {exited(1, "mount: busy\n"), exited(0, "garbage\n")}) {
        platform.processes.answer(kMount, {}, table);
        size_t before = platform.processes.callsOf(kSudo).size();
        MountManager::remountReadWrite("disk4s1", "Data", record());
        platform.dispatcher.runUntilIdle();
        EXPECT_FALSE(completions.back().ok);
        EXPECT_EQ(platform.processes.callsOf(kSudo).size(), before);
    }
    // Neither do an empty or an unusable device.
    MountManager::remountReadWrite("", "Data", record());
    EXPECT_EQ(completions.back().out, "未获取到设备标识");  // at once, before the call returns
    MountManager::remountReadWrite("disk4s1;reboot", "Data", record());
    EXPECT_FALSE(completions.back().ok);
    EXPECT_EQ(platform.dispatcher.pendingBackgroundJobs(), 0u);
}

TEST_F(MountOperationsTest, RepairThroughEachChannel) {
    struct Case {
        const char* what;
        bool helperFile;
        int sudoList, helperStatus, promptStatus;
        bool ok;
        std::string lastLine;
    };
    const std::vector<Case> cases = {
        {"helper", true, 0, 0, -1, true, "脏标记清理完成(免密通道): fixed"},
        {"helper cannot run: no prompt", true, 0, 127, -1, false, "脏标记清理失败: fixed"},
        {"no sudo rule: prompt", true, 1, 0, 0, true, "脏标记清理完成: fixed"},
        {"no helper: prompt fails", false, 0, 0, 1, false, "脏标记清理失败: fixed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestPlatform fresh;
        if (c.helperFile) {
            fresh.files.addFile(kHelper);
            fresh.processes.answer(kSudo, kUsableQuery, exited(c.sudoList));
            fresh.processes.answer(kSudo, {"-n", kHelper, "fix", "disk4s1"}, exited(c.helperStatus, " fixed\n\n"));
        }
        fresh.processes.answerAll(kOsascript, [&](const ProgramCall&) { return exited(c.promptStatus, " fixed\n\n"); });
        std::vector<CommandOutcome> done;
        MountManager::fixUnsafeState("disk4s1", [&](bool ok, const std::string& out) { done.push_back({ok, out}); });
        fresh.dispatcher.runUntilIdle();
        ASSERT_EQ(done.size(), 1u);
        EXPECT_EQ(done[0].ok, c.ok);
        EXPECT_EQ(done[0].out, " fixed\n\n");  // untrimmed for the caller
        EXPECT_EQ(fresh.processes.callsOf(kOsascript).size(), c.promptStatus < 0 ? 0u : 1u);
        EXPECT_EQ(fresh.logMessages(), (std::vector<std::string>{"清理脏标记 ntfsfix -d /dev/disk4s1", c.lastLine}));
    }
    MountManager::fixUnsafeState("disk4s1'; reboot; '", record());
    platform.dispatcher.runUntilIdle();
    EXPECT_FALSE(completions.at(0).ok);
    EXPECT_TRUE(platform.processes.callsOf(kSudo).empty());
    EXPECT_TRUE(platform.processes.callsOf(kOsascript).empty());
}

TEST_F(MountOperationsTest, UserUnmountForgetsTheVolumeOnlyWhenItWentAway) {
    VolumeScanner::markManaged("/Volumes/My Data", "My Data", "disk4s1");
    VolumeScanner::markManaged("/Volumes/Other", "Other", "disk5s1");
    const std::string busy = "Volume My Data on disk4s1 failed to unmount: dissented by PID 632 (/usr/bin/less)\n";
    platform.processes.answer(kDiskutil, {"unmount", "/Volumes/My Data"}, exited(1, busy));
    VolumeInfo volume{"disk4s1", "/Volumes/My Data", "My Data", VolumeInfo::Kind::ntfsReadWrite};
    MountManager::markInternalUnmount();
    Date before = MountManager::lastInternalUnmount();
    platform.dispatcher.advance(1);
    MountManager::unmount(volume, record());
    platform.dispatcher.runUntilIdle();
    EXPECT_FALSE(completions.at(0).ok);
    EXPECT_EQ(completions[0].out, busy);
    EXPECT_EQ(VolumeScanner::managedDevs().size(), 2u);
    EXPECT_EQ(platform.logMessages().back(), "卸载失败 My Data: " + busy.substr(0, busy.size() - 1) + "\\n");

    platform.processes.answer(kDiskutil, {"unmount", "/Volumes/My Data"}, exited(0, "Volume My Data unmounted\n"));
    TextMap registeredAtCompletion;
    MountManager::unmount(volume, [&](bool, const std::string&) { registeredAtCompletion = VolumeScanner::managedDevs(); });
    EXPECT_EQ(platform.dispatcher.qualityOfJob(0), QualityOfService::userInitiated);
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(registeredAtCompletion, (TextMap{{"/Volumes/Other", "disk5s1"}}));
    EXPECT_EQ(platform.logMessages().back(), "已卸载 My Data（用户操作）");
    EXPECT_EQ(MountManager::lastInternalUnmount(), before);  // a user's unmount is not Drivelark's own
}

TEST_F(MountOperationsTest, ChannelQueries) {
    EXPECT_FALSE(MountManager::runViaHelper({"unmount", "/Volumes/Data"}));
    EXPECT_TRUE(platform.processes.callsOf(kSudo).empty());  // absent tool: nothing started
    installHelper(0);
    platform.processes.answer(kSudo, {"-n", kHelper, "unmount", "/Volumes/Data"},
                              exited(1, "sudo: a password is required\n"));
    std::optional<CommandOutcome> failed = MountManager::runViaHelper({"unmount", "/Volumes/Data"});
    ASSERT_TRUE(failed);
    EXPECT_FALSE(failed->ok);
    EXPECT_TRUE(MountManager::freePasswordWorks());
    platform.processes.answer(kSudo, kUsableQuery, exited(1, "sudo: a password is required\n"));
    EXPECT_FALSE(MountManager::helperUsable());
    EXPECT_FALSE(MountManager::runViaHelper({"unmount", "/Volumes/Data"}));
}

}  // namespace
}  // namespace drivelark
