#include <gtest/gtest.h>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "mount/mount_manager.h"
#include "mount/root_commands.h"
#include "unit/mount_programs.h"

namespace drivelark {
namespace {

using namespace testing;

class RepairAndUnmountTest : public ::testing::Test {
protected:
    MountCompletion record() {
        return [this](bool ok, const std::string& out) { completions.push_back(CommandOutcome{ok, out}); };
    }
    TestPlatform platform;
    std::vector<CommandOutcome> completions;
};

TEST_F(RepairAndUnmountTest, RepairThroughTheHelper) {
    platform.files.addFile(kHelper);
    platform.processes.answer(kSudo, {"-n", kHelper, "fix", "disk4s1"},
                              exited(0, "Mounting volume... OK\nNTFS partition /dev/disk4s1 was processed successfully.\n"));
    MountManager::fixUnsafeState("disk4s1", record());
    platform.dispatcher.runUntilIdle();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_TRUE(completions[0].ok);
    EXPECT_EQ(platform.logMessages(),
              (std::vector<std::string>{"清理脏标记 ntfsfix -d /dev/disk4s1",
                                        "脏标记清理完成(免密通道): Mounting volume... OK",
                                        "NTFS partition /dev/disk4s1 was processed successfully."}));

    // Any failure of the channel is final: no password prompt.
    platform.processes.answer(kSudo, {"-n", kHelper, "fix", "disk4s1"}, exited(127, "sudo: not found\n"));
    MountManager::fixUnsafeState("disk4s1", record());
    platform.dispatcher.runUntilIdle();
    EXPECT_FALSE(completions.back().ok);
    EXPECT_EQ(platform.logMessages().back(), "脏标记清理失败: sudo: not found");
    EXPECT_TRUE(platform.processes.callsOf(kOsascript).empty());
}

TEST_F(RepairAndUnmountTest, RepairThroughThePrompt) {
    const std::string script = administratorScript(
        repairCommand("disk4s1", "/usr/local/bin/ntfsfix", "/usr/local/bin/ntfs-3g.probe"));
    platform.processes.answer(kOsascript, {"-e", script}, exited(0, " \n\n"));
    MountManager::fixUnsafeState("disk4s1", record());
    platform.dispatcher.runUntilIdle();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_TRUE(completions[0].ok);
    EXPECT_EQ(completions[0].out, " \n\n");  // untrimmed for the caller
    EXPECT_EQ(platform.logMessages().back(), "脏标记清理完成: ");

    platform.processes.answer(kOsascript, {"-e", script}, exited(1, "0:200: execution error: __WRITE_DENIED__ (1)\n"));
    MountManager::fixUnsafeState("disk4s1", record());
    platform.dispatcher.runUntilIdle();
    EXPECT_FALSE(completions.back().ok);
    EXPECT_TRUE(MountManager::isWriteDeniedError(completions.back().out));
    EXPECT_EQ(platform.logMessages().back(), "脏标记清理失败: 0:200: execution error: __WRITE_DENIED__ (1)");
}

TEST_F(RepairAndUnmountTest, RepairRefusesAnUnusableDevice) {
    MountManager::fixUnsafeState("disk4s1'; reboot; '", record());
    EXPECT_TRUE(completions.empty());  // still on the main queue
    platform.dispatcher.runUntilIdle();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_FALSE(completions[0].ok);
    EXPECT_TRUE(platform.processes.calls().empty());
}

TEST_F(RepairAndUnmountTest, SuccessfulUnmountForgetsTheVolumeBeforeCompleting) {
    VolumeScanner::markManaged("/Volumes/My Data", "My Data", "disk4s1");
    VolumeScanner::markManaged("/Volumes/Other", "Other", "disk5s1");
    platform.processes.answer("/usr/sbin/diskutil", {"unmount", "/Volumes/My Data"},
                              exited(0, "Volume My Data on disk4s1 unmounted\n"));
    VolumeInfo volume{"disk4s1", "/Volumes/My Data", "My Data", VolumeInfo::Kind::ntfsReadWrite};
    TextMap registeredAtCompletion;
    MountManager::unmount(volume, [&](bool ok, const std::string&) {
        EXPECT_TRUE(ok);
        registeredAtCompletion = VolumeScanner::managedDevs();
    });
    EXPECT_EQ(platform.dispatcher.qualityOfJob(0), QualityOfService::userInitiated);
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(registeredAtCompletion, (TextMap{{"/Volumes/Other", "disk5s1"}}));
    EXPECT_EQ(VolumeScanner::managedNames(), (TextMap{{"/Volumes/Other", "Other"}}));
    EXPECT_EQ(platform.logMessages().back(), "已卸载 My Data（用户操作）");
    // A user's unmount is not one of Drivelark's own.
    EXPECT_EQ(MountManager::lastInternalUnmount(), Date::distantPast());
}

TEST_F(RepairAndUnmountTest, FailedUnmountKeepsTheRegistryAndLogsTheOutputAsItCame) {
    VolumeScanner::markManaged("/Volumes/Data", "Data", "disk4s1");
    const std::string busy =
        "Volume Data on disk4s1 failed to unmount: dissented by PID 632 (/usr/bin/less)\n"
        "Dissenter parent PPID 1 (/sbin/launchd)\n";
    platform.processes.answer("/usr/sbin/diskutil", {"unmount", "/Volumes/Data"}, exited(1, busy));
    MountManager::unmount(VolumeInfo{"disk4s1", "/Volumes/Data", "Data", VolumeInfo::Kind::ntfsReadWrite}, record());
    platform.dispatcher.runUntilIdle();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].out, busy);
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Data", "disk4s1"}}));
    std::vector<std::string> log = platform.logMessages();
    ASSERT_EQ(log.size(), 3u);  // the untrimmed output ends the log line with an empty one
    EXPECT_EQ(log[0], "卸载失败 Data: Volume Data on disk4s1 failed to unmount: dissented by PID 632 (/usr/bin/less)");
    EXPECT_EQ(log[2], "");
}

}  // namespace
}  // namespace drivelark
