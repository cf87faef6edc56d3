// The auto-mount engine on the virtual clock, against a scripted Mac: a disk listing, a mount
// table, a process listing and a helper tool whose work changes them. States, timings and races
// that the simulated Mac reaches only slowly, or not at all.

#include <gtest/gtest.h>

#include "unit/scripted_mac.h"

namespace drivelark::testing {

using EngineTest = ScriptedMac;

// A FUSE mount that a root ntfs-3g proves to be a disk's own is adopted, and cleaned up once the
// disk is gone; one whose ntfs-3g is not root's is someone else's, and never touched. (A share at a
// volume's place: test_ownership.py.)
TEST_F(EngineTest, OnlyMountsProvablyDrivelarksAreAdoptedAndCleanedUp) {
    volumes = {{"disk5s1", "Other", "0E-1"}, {"disk6s1", "Forged", "F-1"}};
    mounts["/Volumes/Other"] = "fuse-t:/Other on /Volumes/Other (nfs, nodev, nosuid)";
    platform.files.addDirectory("/Volumes/Other", 5);
    mounts["/Volumes/Forged"] = "fuse-t:/Forged on /Volumes/Forged (nfs, nodev, nosuid)";
    ps = "900 1 0 /Applications/Drivelark.app/Contents/MacOS/ntfs-3g /dev/disk5s1 /Volumes/Other -o "
         "volname=Other,local,noowners,noatime\n"
         "901 1 501 /tmp/ntfs-3g /dev/disk6s1 /Volumes/Forged -o volname=Forged,local,noowners,noatime\n";  // not root's
    engine->setAutoMountEnabled(false);  // adopted all the same
    passAfter(0);
    EXPECT_EQ(registry.all(), (std::vector<ManagedMount>{{"/Volumes/Other", "Other", "disk5s1", "volume:0E-1"}}));
    volumes.clear();  // both unplugged
    passAfter(3);
    EXPECT_EQ(helperCallsOf("unmount"), (std::vector<std::vector<std::string>>{{"-n", kHelper, "unmount", "/Volumes/Other"}}));
    EXPECT_TRUE(mounts.contains("/Volumes/Forged"));
}

// When the next automatic attempt may start after a failure (the back-off and the least spacing),
// and after its read-write mount keeps getting lost (the drop throttle).
TEST_F(EngineTest, RetryTimings) {
    Volume data{"disk4s1", "Data", "D-1"};
    volumes = {data};
    systemMount(data, "/Volumes/Data");
    refusals["mount " + data.device] = "ntfs-3g: failed\n";
    passAfter(0);
    refusals.clear();
    for (double seconds : {3.0, 3.0, 60.0, 3.0}) passAfter(seconds);  // 69 s after the failed start
    EXPECT_EQ(helperCallsOf("mount").size(), 1u);
    passAfter(3);  // 72 s: 60 s of back-off and 12 s of spacing
    ASSERT_EQ(helperCallsOf("mount").size(), 2u);

    // Its ntfs-3g dies three times within two minutes, each time leaving a mount that does not
    // answer: the third recovery waits 45 s after the last start.
    for (int loss = 1; loss <= 3; ++loss) {
        passAfter(20);
        platform.files.addDirectory("/Volumes/Data", 0);
        passAfter(9);
    }
    passAfter(15);  // 44 s after the last recovery started
    EXPECT_EQ(logLines("检测到挂载意外丢失").size(), 2u);
    passAfter(1);
    EXPECT_EQ(logLines("检测到挂载意外丢失").size(), 3u);

}

// Without the password-free channel, the remount waits behind the administrator's password dialog.
// Left open for minutes, it holds up no pass and opens no second dialog for the same disk; the
// answer, when it comes, is acted on.
TEST_F(EngineTest, APasswordDialogLeftOpenStartsNothingMoreAndIsActedOnWhenAnswered) {
    platform.processes.answer(kSudo, {"-n", kHelper, "selftest"}, exited(1, "sudo: a password is required\n"));
    bool answered = false;
    platform.processes.answerAll(kOsascript, [&](const ProgramCall&) {
        if (!answered) throw StillRunning{};
        return helper({"-n", kHelper, "mount", "disk4s1", "/Volumes/Data", "Data", "volume:D-1"});
    });
    volumes = {{"disk4s1", "Data", "D-1"}};
    systemMount(volumes[0], "/Volumes/Data");
    for (int pass = 0; pass < 200; ++pass) passAfter(3);  // ten minutes: every back-off has run out
    EXPECT_EQ(logLines("开始读写挂载").size(), 1u);
    EXPECT_TRUE(registry.all().empty());
    answered = true;
    passAfter(3);
    EXPECT_EQ(registry.all(), (std::vector<ManagedMount>{{"/Volumes/Data", "Data", "disk4s1", "volume:D-1"}}));
    EXPECT_EQ(logLines("读写挂载成功").size(), 1u);
    passAfter(3);
    EXPECT_EQ(logLines("开始读写挂载").size(), 1u);
}

// An unmount the system tells of more than six seconds after Drivelark's own last one is the user's,
// judged when the notice came, not when the pass that acts on it runs.
TEST_F(EngineTest, UnmountsWithinSixSecondsOfOurOwnAreNotEjects) {
    volumes = {{"disk4s1", "Data", "DD-1"}};
    systemMount(volumes[0], "/Volumes/Data");
    passAfter(0);
    for (double elapsed : {5.0, 6.0, 6.1}) {
        engine->mounts().markInternalUnmount();
        platform.dispatcher.advance(elapsed);
        mounts.erase("/Volumes/Data");
        engine->noteUnmountNotice("/Volumes/Data");
        passAfter(12);  // taken for a loss of its own, and mounted again; or for the user's eject
        EXPECT_EQ(mounts.contains("/Volumes/Data"), elapsed <= 6.0) << elapsed;
        EXPECT_EQ(logLines("检测到外部卸载").size(), elapsed > 6.0 ? 1u : 0u) << elapsed;
    }
}

// Only a hibernated Windows keeps a volume read-only; a repair that failed for any other reason
// (a cancelled password) is an ordinary failure, and a reset or a re-plug lifts the hold.
TEST_F(EngineTest, OnlyHibernationKeepsAVolumeReadOnly) {
    Volume fast{"disk4s1", "Fast", "F-1"}, sleeping{"disk5s1", "Sleeping", "5A-1"};
    volumes = {fast, sleeping};
    systemMount(fast, "/Volumes/Fast");
    systemMount(sleeping, "/Volumes/Sleeping");
    refusals["mount " + fast.device] = "ntfs-3g: Falling back to read-only mount\n__UNSAFE_STATE__\n";
    refusals["mount " + sleeping.device] = "ntfs-3g: Windows is hibernated (volume hibernation)\n__HIBERNATED__\n";
    refusals["fix " + fast.device] = "sudo: a password is required\n";
    passAfter(0);
    EXPECT_EQ(helperCallsOf("fix").size(), 1u);  // the hibernated one is never repaired
    auto keptReadOnly = [&](const Volume& volume) {
        return engine->isKeptReadOnly(VolumeInfo{volume.device, "", "", VolumeInfo::Kind::ntfsReadOnly, "volume:" + volume.uuid, {}});
    };
    EXPECT_FALSE(keptReadOnly(fast));
    EXPECT_TRUE(keptReadOnly(sleeping));
    refusals.clear();  // Windows shut down fully meanwhile
    engine->resetAndReconcile();
    platform.dispatcher.runUntilIdle();
    EXPECT_FALSE(keptReadOnly(sleeping));
    EXPECT_EQ(helperCallsOf("mount").size(), 4u);  // both tried again at once
}

}  // namespace drivelark::testing
