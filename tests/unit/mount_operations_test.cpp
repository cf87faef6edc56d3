// The mount operations against scripted programs: which channel does the root work for a remount
// and for a repair, what is asked of the system after a failure, and what never reaches root.

#include <gtest/gtest.h>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "mount/mount_manager.h"
#include "unit/mount_programs.h"

namespace drivelark::testing {

// A helper that the password-free channel could not run (status 127): a remount asks for the
// password instead, a repair does not. The prompt is cancelled, and the failed remount left the
// disk mounted nowhere: the system's read-only mount is asked for again.
TEST(MountOperationsTest, HelperThatCannotRunThenACancelledPrompt) {
    TestPlatform platform;
    platform.files.addDirectory("/Volumes");
    platform.files.addFile(kHelper);
    platform.processes.answer(kMount, {}, exited(0, kMountTable));
    platform.processes.answer(kSudo, {"-n", kHelper, "selftest"}, exited(0));
    platform.processes.answerAll(kSudo, [](const ProgramCall&) { return exited(127, "sudo: unable to execute\n"); });
    platform.processes.answerAll(kOsascript, [](const ProgramCall&) { return exited(1, "0:54: -128\n"); });
    MountManager::markInternalUnmount();  // the state this test starts from, whatever ran before
    platform.dispatcher.advance(1);
    std::vector<bool> done;
    auto record = [&](bool ok, const std::string&) { done.push_back(ok); };
    MountManager::remountReadWrite("disk4s1", "Data", record);
    platform.processes.answer(kMount, {}, exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n"));  // mounted nowhere
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(MountManager::lastInternalUnmount(), platform.dispatcher.now());  // set also when it fails
    EXPECT_EQ(platform.processes.callsOf(kOsascript).size(), 1u);
    EXPECT_EQ(platform.processes.callsOf(kDiskutil), (std::vector<ProgramCall>{{kDiskutil, {"mount", "disk4s1"}}}));
    EXPECT_TRUE(VolumeScanner::managedDevs().empty());
    MountManager::fixUnsafeState("disk4s1", record);
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(platform.processes.callsOf(kOsascript).size(), 1u);
    EXPECT_EQ(done, (std::vector<bool>{false, false}));
}

TEST(MountOperationsTest, NothingReachesRootWithoutAFreePlaceOrAUsableDevice) {
    TestPlatform platform;
    platform.files.addDirectory("/Volumes");
    platform.files.addFile(kHelper);
    platform.processes.answerAll(kSudo, [](const ProgramCall&) { return exited(0); });
    std::vector<bool> done;
    auto record = [&](bool ok, const std::string&) { done.push_back(ok); };
    // Twins converted together: the second does not pick the place the first is about to take.
    platform.processes.answer(kMount, {}, exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n"
                                                    "/dev/disk6s1 on /Volumes/Twin 1 (ntfs, local, read-only)\n"
                                                    "/dev/disk7s1 on /Volumes/Twin 2 (ntfs, local, read-only)\n"));
    MountManager::remountReadWrite("disk6s1", "Twin", record);
    MountManager::remountReadWrite("disk7s1", "Twin", record);
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Twin", "disk6s1"}, {"/Volumes/Twin 2", "disk7s1"}}));
    const size_t rootCalls = platform.processes.callsOf(kSudo).size();

    // A device that is not a disk name, or none; without a mount table the place cannot be told.
    MountManager::remountReadWrite("disk4s1;reboot", "Data", record);
    MountManager::remountReadWrite("", "Data", record);
    MountManager::fixUnsafeState("disk4s1'; reboot; '", record);
    for (ProgramRun table : {exited(1, "mount: busy\n"), exited(0, "garbage\n")}) {
        platform.processes.answer(kMount, {}, table);
        MountManager::remountReadWrite("disk4s1", "Data", record);
    }
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(done, (std::vector<bool>{true, true, false, false, false, false, false}));
    EXPECT_EQ(platform.processes.callsOf(kSudo).size(), rootCalls);
    EXPECT_TRUE(platform.processes.callsOf(kOsascript).empty());
}

}  // namespace drivelark::testing
