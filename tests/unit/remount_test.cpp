#include <gtest/gtest.h>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "mount/mount_manager.h"
#include "mount/root_commands.h"
#include "unit/mount_programs.h"

namespace drivelark {
namespace {

using namespace testing;

class RemountTest : public ::testing::Test {
protected:
    void remount(const std::string& device, const std::string& name) {
        MountManager::remountReadWrite(device, name, [this](bool ok, const std::string& out) {
            completions.push_back(CommandOutcome{ok, out});
        });
    }
    static std::vector<std::string> helperMount(const std::string& device, const std::string& mountPoint,
                                                const std::string& name) {
        return {"-n", kHelper, "mount", device, mountPoint, name};
    }
    static std::vector<std::string> promptFor(const std::string& device, const std::string& mountPoint,
                                              const std::string& name) {
        return {"-e", administratorScript(remountCommand(device, mountPoint, name, "/usr/local/bin/ntfs-3g"))};
    }

    TestPlatform platform;
    std::vector<CommandOutcome> completions;
};

TEST_F(RemountTest, EmptyDeviceCompletesAtOnceWithoutAnything) {
    remount("", "Data");
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].out, "未获取到设备标识");
    EXPECT_TRUE(platform.processes.calls().empty());
    EXPECT_TRUE(platform.logMessages().empty());
    EXPECT_EQ(platform.dispatcher.pendingBackgroundJobs(), 0u);
}

TEST_F(RemountTest, UnusableDeviceIsRefusedBeforeAnyRootCommand) {
    remount("disk4s1;reboot", "Data");
    remount("disk4s1", "bad\nname");
    ASSERT_EQ(completions.size(), 2u);
    EXPECT_FALSE(completions[0].ok);
    EXPECT_FALSE(completions[1].ok);
    EXPECT_EQ(platform.dispatcher.pendingBackgroundJobs(), 0u);
    EXPECT_TRUE(platform.processes.calls().empty());
    EXPECT_EQ(MountManager::lastInternalUnmount(), Date::distantPast());
}

TEST_F(RemountTest, PasswordFreeChannel) {
    platform.files.addFile(kHelper);
    platform.processes.answer(kSudo, helperMount("disk4s1", "/Volumes/a_b_c", "a_b_c"), exited(0));
    remount("disk4s1", "a,b/c");
    EXPECT_EQ(MountManager::lastInternalUnmount(), platform.dispatcher.now());
    EXPECT_TRUE(completions.empty());
    platform.dispatcher.runUntilIdle();

    ASSERT_EQ(completions.size(), 1u);
    EXPECT_TRUE(completions[0].ok);
    EXPECT_EQ(platform.processes.calls().size(), 1u);
    EXPECT_EQ(VolumeScanner::managedNames(), (TextMap{{"/Volumes/a_b_c", "a_b_c"}}));
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/a_b_c", "disk4s1"}}));
    EXPECT_EQ(platform.logMessages(), (std::vector<std::string>{"开始读写挂载 a,b/c(disk4s1) → /Volumes/a_b_c",
                                                                "读写挂载成功(免密通道): a_b_c -> /Volumes/a_b_c"}));
}

TEST_F(RemountTest, PasswordFreeFailureIsFinalWithoutPrompt) {
    platform.files.addFile(kHelper);
    platform.processes.answer(kSudo, helperMount("disk4s1", "/Volumes/Data", "Data"),
                              exited(1, "sudo: a password is required\n"));
    remount("disk4s1", "Data");
    platform.dispatcher.runUntilIdle();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].out, "sudo: a password is required\n");
    EXPECT_TRUE(platform.processes.callsOf(kOsascript).empty());
    EXPECT_TRUE(VolumeScanner::managedDevs().empty());
    EXPECT_EQ(platform.logMessages().back(), "免密通道挂载失败: sudo: a password is required");
}

TEST_F(RemountTest, ChannelThatCannotRunFallsBackToThePromptOnce) {
    platform.files.addFile(kHelper);
    for (int status : {127, 126}) {
        platform.processes.answer(kSudo, helperMount("disk4s1", "/Volumes/Data", "Data"), exited(status));
        platform.processes.answer(kOsascript, promptFor("disk4s1", "/Volumes/Data", "Data"), exited(0, "\n"));
        remount("disk4s1", "Data");
        platform.dispatcher.runUntilIdle();
    }
    ASSERT_EQ(completions.size(), 2u);
    EXPECT_TRUE(completions[0].ok);
    EXPECT_TRUE(completions[1].ok);
    EXPECT_EQ(platform.processes.callsOf(kOsascript).size(), 2u);
    std::vector<std::string> log = platform.logMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "免密通道不可用，改走管理员授权"), 2);
    EXPECT_EQ(log.back(), "读写挂载成功: Data -> /Volumes/Data");
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Data", "disk4s1"}}));
}

TEST_F(RemountTest, AdministratorPromptWithoutTheHelper) {
    platform.processes.answer(kOsascript, promptFor("disk4s1", "/Volumes/Untitled", "Untitled"),
                              exited(1, "0:54: execution error: User canceled. (-128)\n"));
    remount("disk4s1", "");
    platform.dispatcher.runUntilIdle();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].out, "0:54: execution error: User canceled. (-128)\n");
    EXPECT_TRUE(platform.processes.callsOf(kSudo).empty());
    EXPECT_TRUE(VolumeScanner::managedNames().empty());
    EXPECT_EQ(platform.logMessages(),
              (std::vector<std::string>{"开始读写挂载 (disk4s1) → /Volumes/Untitled",
                                        "读写挂载失败: Untitled — 0:54: execution error: User canceled. (-128)"}));
}

TEST_F(RemountTest, BundledNtfs3gIsUsedByThePrompt) {
    const std::string bundled = std::string(FixedBundle::kResourceDirectory) + "/ntfs-3g";
    platform.files.addFile(bundled);
    platform.processes.answer(
        kOsascript, {"-e", administratorScript(remountCommand("disk4s1", "/Volumes/Bob's", "Bob's", bundled))},
        exited(0));
    remount("disk4s1", "Bob's");
    platform.dispatcher.runUntilIdle();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_TRUE(completions[0].ok);
}

TEST_F(RemountTest, InternalUnmountIsMarkedEvenWhenTheRemountFails) {
    Date before = MountManager::lastInternalUnmount();
    platform.dispatcher.advance(10);
    remount("disk4s1", "Data");  // unscripted osascript: cannot start
    platform.dispatcher.runUntilIdle();
    EXPECT_FALSE(completions.at(0).ok);
    EXPECT_EQ(completions[0].out.rfind("not scripted", 0), 0u);
    EXPECT_GT(MountManager::lastInternalUnmount(), before);
    EXPECT_EQ(MountManager::lastInternalUnmount(), platform.dispatcher.now());
}

}  // namespace
}  // namespace drivelark
