#include <gtest/gtest.h>

#include "doubles/test_platform.h"
#include "mount/mount_manager.h"
#include "unit/mount_programs.h"

namespace drivelark {
namespace {

using namespace testing;

class PrivilegedChannelsTest : public ::testing::Test {
protected:
    TestPlatform platform;
};

TEST_F(PrivilegedChannelsTest, HelperIsAvailableOnlyWhileItsFileIsThere) {
    EXPECT_FALSE(MountManager::helperAvailable());
    platform.files.addFile(kHelper);
    EXPECT_TRUE(MountManager::helperAvailable());
    platform.files.remove(kHelper);
    EXPECT_FALSE(MountManager::helperAvailable());
}

TEST_F(PrivilegedChannelsTest, FreePasswordWorksOnlyWhenTheSelftestSucceeds) {
    platform.processes.answer(kSudo, {"-n", kHelper, "selftest"}, exited(0));
    EXPECT_TRUE(MountManager::freePasswordWorks());
    platform.processes.answer(kSudo, {"-n", kHelper, "selftest"}, exited(1, "sudo: a password is required\n"));
    EXPECT_FALSE(MountManager::freePasswordWorks());
    platform.processes.answer(kSudo, {"-n", kHelper, "selftest"}, notStarted("no sudo"));
    EXPECT_FALSE(MountManager::freePasswordWorks());
}

TEST_F(PrivilegedChannelsTest, RunViaHelperTellsAFailedCommandFromAnUnavailableChannel) {
    EXPECT_FALSE(MountManager::runViaHelper({"unmount", "/Volumes/Data"}));
    EXPECT_TRUE(platform.processes.calls().empty());  // absent tool: nothing started

    platform.files.addFile(kHelper);
    platform.processes.answer(kSudo, {"-n", kHelper, "unmount", "/Volumes/Data"}, exited(0, "done\n"));
    std::optional<CommandOutcome> done = MountManager::runViaHelper({"unmount", "/Volumes/Data"});
    ASSERT_TRUE(done);
    EXPECT_TRUE(done->ok);
    EXPECT_EQ(done->out, "done\n");

    platform.processes.answer(kSudo, {"-n", kHelper, "unmount", "/Volumes/Data"},
                              exited(1, "sudo: a password is required\n"));
    std::optional<CommandOutcome> refused = MountManager::runViaHelper({"unmount", "/Volumes/Data"});
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->ok);
    EXPECT_EQ(refused->out, "sudo: a password is required\n");

    for (int status : {126, 127}) {
        platform.processes.answer(kSudo, {"-n", kHelper, "unmount", "/Volumes/Data"}, exited(status));
        EXPECT_FALSE(MountManager::runViaHelper({"unmount", "/Volumes/Data"})) << status;
    }
    platform.processes.answer(kSudo, {"-n", kHelper, "unmount", "/Volumes/Data"}, notStarted("no sudo"));
    EXPECT_FALSE(MountManager::runViaHelper({"unmount", "/Volumes/Data"}));
}

TEST_F(PrivilegedChannelsTest, RunAsRootCompletesOnTheMainQueueWithOsascriptsText) {
    const std::string script = "do shell script \"echo \\\"hi\\\"\" with administrator privileges";
    platform.processes.answer("/usr/bin/osascript", {"-e", script}, exited(0, "hi\n"));
    std::vector<std::pair<bool, std::string>> completions;
    MountManager::runAsRoot("echo \"hi\"", [&](bool ok, const std::string& out) { completions.emplace_back(ok, out); });

    ASSERT_EQ(platform.dispatcher.pendingBackgroundJobs(), 1u);
    EXPECT_EQ(platform.dispatcher.qualityOfJob(0), QualityOfService::userInitiated);
    platform.dispatcher.runBackgroundJobs();
    EXPECT_TRUE(completions.empty());  // not on the background thread
    platform.dispatcher.advance(0);
    EXPECT_EQ(completions, (std::vector<std::pair<bool, std::string>>{{true, "hi\n"}}));

    platform.processes.answer("/usr/bin/osascript", {"-e", script},
                              exited(1, "0:54: execution error: User canceled. (-128)\n"));
    MountManager::runAsRoot("echo \"hi\"", [&](bool ok, const std::string& out) { completions.emplace_back(ok, out); });
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(completions.back(), (std::pair<bool, std::string>{false, "0:54: execution error: User canceled. (-128)\n"}));
}

TEST_F(PrivilegedChannelsTest, ToolsComeFromTheBundleWhenItCarriesThem) {
    EXPECT_EQ(MountManager::ntfs3gPath(), "/usr/local/bin/ntfs-3g");
    EXPECT_EQ(MountManager::ntfsfixPath(), "/usr/local/bin/ntfsfix");
    platform.files.addFile(std::string(FixedBundle::kResourceDirectory) + "/ntfs-3g");
    EXPECT_EQ(MountManager::ntfs3gPath(), std::string(FixedBundle::kResourceDirectory) + "/ntfs-3g");
    EXPECT_EQ(MountManager::ntfsfixPath(), "/usr/local/bin/ntfsfix");
    platform.bundle.resources.reset();
    EXPECT_EQ(MountManager::ntfs3gPath(), "/usr/local/bin/ntfs-3g");
}

TEST_F(PrivilegedChannelsTest, FailureClassifiers) {
    EXPECT_TRUE(MountManager::isUnsafeStateError(
        "Falling back to read-only mount because the NTFS partition is in an unsafe state. Please resume"));
    EXPECT_TRUE(MountManager::isUnsafeStateError("Windows is hibernated, refused to mount."));
    EXPECT_TRUE(MountManager::isUnsafeStateError("hibernation"));
    EXPECT_FALSE(MountManager::isUnsafeStateError("UNSAFE STATE"));
    EXPECT_FALSE(MountManager::isUnsafeStateError("Metadata kept in Windows cache, refused to mount."));
    EXPECT_TRUE(MountManager::isWriteDeniedError("0:300: execution error: __WRITE_DENIED__ (1)"));
    EXPECT_FALSE(MountManager::isWriteDeniedError("__write_denied__"));
}

}  // namespace
}  // namespace drivelark
