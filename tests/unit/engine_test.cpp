// The auto-mount engine on the virtual clock, against a scripted disk listing and mount table and
// a helper tool whose mounts succeed unless the test says otherwise: states and races that the
// simulated Mac does not reach.

#include <gtest/gtest.h>

#include <ranges>
#include <regex>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "engine/auto_mount_engine.h"
#include "mount/mount_manager.h"
#include "unit/mount_programs.h"

namespace drivelark::testing {

// An NTFS volume of the disk listing, listed as a disk of its own.
static std::string partition(const std::string& device, const std::string& name, const std::string& uuid) {
    return dict(key("Content", "NTFS") + key("DeviceIdentifier", device) + key("VolumeName", name) +
                key("VolumeUUID", uuid));
}

struct EngineTest : ::testing::Test {
    void SetUp() override {
        platform.files.addFile(kHelper);
        platform.processes.answerAll(kSudo, [this](const ProgramCall& call) {
            if (call.arguments.at(2) == "unmount")  // the helper's unmount leaves the mount table
                mounts = std::regex_replace(mounts, std::regex(".* on " + call.arguments.at(3) + " \\(.*\n"), "");
            return call.arguments.at(2) == "mount" && failures-- > 0 ? exited(1, "boom\n") : exited(0);
        });
        platform.processes.answerAll(kMount, [this](const ProgramCall&) { return exited(0, mounts); });
    }
    void scene(const std::string& partitions, const std::string& mounts) {
        platform.processes.answer(kDiskutil, kList, exited(0, listing(partitions)));
        this->mounts = "/dev/disk3s1s1 on / (apfs, read-only)\n" + mounts;
    }
    // One pass at `seconds` from now, with everything it starts carried through.
    void passAfter(double seconds) {
        platform.dispatcher.advance(seconds);
        engine->reconcile();
        platform.dispatcher.runUntilIdle();
    }

    TestPlatform platform;
    std::shared_ptr<AutoMountEngine> engine = std::make_shared<AutoMountEngine>();
    int failures = 0;  // of the helper's next mounts
    std::string mounts;
};

TEST_F(EngineTest, UnmountsWithinSixSecondsOfOurOwnAreNotEjects) {
    VolumeScanner::markManaged("/Volumes/Data", "Data", "disk4s1");
    for (double elapsed : {5.0, 6.0, 6.1}) {
        MountManager::markInternalUnmount();
        platform.dispatcher.advance(elapsed);
        engine->noteUnmountFromOutside("/Volumes/Data");
        EXPECT_EQ(platform.log().find("检测到外部卸载（用户推出）") != std::string::npos, elapsed > 6.0) << elapsed;
    }
}

TEST_F(EngineTest, AdoptionAutoMountOffAndDuplicateKeys) {
    scene(partition("disk4s1", "Data", "U1") + partition("disk5s1", "Twin", "U2") + partition("disk6s1", "Twin", "U3") +
              partition("disk7s1", "Dup", "U4") + partition("disk8s1", "Dup", "U4"),
          "fuse-t:/Data on /Volumes/Data (nfs, nodev, nosuid)\n"  // nobody registered it
          "fuse-t:/Twin on /Volumes/Twin (nfs, nodev, nosuid)\n"  // Drivelark's own
          "/dev/disk6s1 on /Volumes/Twin 1 (ntfs, read-only)\n"   // the same name: not the mount above
          "/dev/disk7s1 on /Volumes/Dup (ntfs, read-only)\n"
          "/dev/disk8s1 on /Volumes/Dup 1 (ntfs, read-only)\n");  // the same key twice
    for (const char* name : {"Data", "Twin"}) platform.files.addDirectory(std::string("/Volumes/") + name, 5);
    VolumeScanner::markManaged("/Volumes/Twin", "Twin", "disk5s1");
    setAutoMountEnabled(false);
    passAfter(0);
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Data", "disk4s1"}, {"/Volumes/Twin", "disk5s1"}}));
    setAutoMountEnabled(true);
    passAfter(3);
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Data", "disk4s1"}, {"/Volumes/Dup", "disk7s1"},
                                                      {"/Volumes/Twin", "disk5s1"}, {"/Volumes/Twin 1", "disk6s1"}}));
}

TEST_F(EngineTest, ZombiesArePurgedOrProbedOnceAndAPurgeResetsEveryPartition) {
    const std::string mounts = "fuse-t:/Gone on /Volumes/Gone (nfs, nodev)\n"
                               "fuse-t:/Dead on /Volumes/Dead (nfs, nodev)\n"
                               "/dev/disk6s1 on /Volumes/Stuck (ntfs, read-only)\n";
    const std::string stuck = partition("disk5s1", "Dead", "U2") + partition("disk6s1", "Stuck", "U3");
    scene(partition("disk4s1", "Gone", "U1") + stuck, mounts);
    for (const char* name : {"Gone", "Dead", "Stuck"}) platform.files.addDirectory(std::string("/Volumes/") + name, 5);
    VolumeScanner::markManaged("/Volumes/Gone", "Gone", "disk4s1");
    VolumeScanner::markManaged("/Volumes/Dead", "Dead", "disk5s1");
    VolumeScanner::markManaged("/Volumes/Left", "Left", "disk9s1");  // neither mounted nor there
    failures = 1;
    passAfter(0);
    EXPECT_EQ(engine->backoff("uuid:U3"), 60.0);
    EXPECT_FALSE(VolumeScanner::managedDevs().contains("/Volumes/Left"));

    scene(stuck, mounts);                             // disk4s1 pulled while mounted
    platform.files.addDirectory("/Volumes/Dead", 0);  // and this one stops answering
    engine->reconcile();
    EXPECT_EQ(platform.dispatcher.pendingBackgroundJobs(), 2u);  // one purge, one probe
    engine->reconcile();
    EXPECT_EQ(platform.dispatcher.pendingBackgroundJobs(), 2u);  // neither is started twice
    platform.dispatcher.runUntilIdle();
    const auto& calls = platform.processes.calls();
    for (const char* gone : {"/Volumes/Gone", "/Volumes/Dead"})  // once each
        EXPECT_EQ(std::ranges::count(calls, ProgramCall{kSudo, {"-n", kHelper, "unmount", gone}}), 1) << gone;
    // A purge lets every partition try again at once: disk6s1 is converted now. Its failed remount
    // had left the system's mount in place, which was not asked for again.
    EXPECT_EQ(VolumeScanner::managedDevs()["/Volumes/Stuck"], "disk6s1");
    EXPECT_FALSE(VolumeScanner::managedDevs().contains("/Volumes/Dead"));  // not adopted while purged
    EXPECT_EQ(std::ranges::count(calls, ProgramCall{kDiskutil, {"mount", "disk6s1"}}), 0);
}

TEST_F(EngineTest, OneAttemptPerDeviceAlsoWhenItsDiskIsUnpluggedMidAttempt) {
    scene(partition("disk4s1", "Old", "U1"), "/dev/disk4s1 on /Volumes/Old (ntfs, read-only)\n");
    platform.files.addDirectory("/Volumes", 1);
    engine->reconcile();  // the attempt is under way
    // Unplugged, and the next disk gets its device name before the attempt ends.
    scene(partition("disk4s1", "New", "U2"), "/dev/disk4s1 on /Volumes/New (ntfs, read-only)\n");
    platform.dispatcher.advance(3);
    engine->reconcile();
    auto attempts = [this] { return std::ranges::distance(platform.log() | std::views::split(std::string("自动处理"))) - 1; };
    EXPECT_EQ(attempts(), 1) << platform.log();
    platform.dispatcher.runUntilIdle();
    passAfter(3);
    EXPECT_EQ(attempts(), 2);
}

}  // namespace drivelark::testing
