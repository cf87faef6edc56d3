// The mount operations against scripted programs: which channel does the root work for a remount
// and for a repair, what is asked of the system after a failure, and what never reaches root.

#include <gtest/gtest.h>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "mount/mount_manager.h"
#include "unit/mount_programs.h"

namespace drivelark {
namespace {

using namespace testing;

struct Result {
    bool ok, prompted;
    bool operator==(const Result&) const = default;
};

TEST(MountOperationsTest, EachChannelForRemountAndRepair) {
    struct Case {
        const char* what;
        bool helperFile;
        int selftest, helperStatus, promptStatus;
        Result remount, repair;
        bool systemMountGone = false;  // the failed attempt left the device mounted nowhere
    };
    const std::vector<Case> cases = {
        {"helper", true, 0, 0, 1, {true, false}, {true, false}},
        {"helper fails: final", true, 0, 2, 0, {false, false}, {false, false}},
        {"no sudo rule: prompt", true, 1, 0, 0, {true, true}, {true, true}},
        {"helper cannot run: a remount asks for the password, a repair does not", true, 0, 127, 0, {true, true},
         {false, false}},
        {"no helper, prompt cancelled, the read-only mount asked for again", false, 0, 0, 1, {false, true},
         {false, true}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestPlatform platform;
        platform.files.addDirectory("/Volumes");
        int mountListings = 0;
        platform.processes.answerAll(kMount, [&](const ProgramCall&) {
            bool gone = c.systemMountGone && ++mountListings > 1;
            return exited(0, gone ? "/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)\n" : kMountTable);
        });
        if (c.helperFile) platform.files.addFile(kHelper);
        platform.processes.answer(kSudo, {"-n", kHelper, "selftest"}, exited(c.selftest));
        platform.processes.answerAll(kSudo, [&](const ProgramCall&) { return exited(c.helperStatus, "refused\n"); });
        platform.processes.answerAll(kOsascript, [&](const ProgramCall&) { return exited(c.promptStatus, "0:54: -128\n"); });
        MountManager::markInternalUnmount();  // the state this test starts from, whatever ran before
        platform.dispatcher.advance(1);
        std::vector<Result> done;
        auto record = [&](bool ok, const std::string&) {
            done.push_back({ok, !platform.processes.callsOf(kOsascript).empty()});
        };
        MountManager::remountReadWrite("disk4s1", "Data", record);
        platform.dispatcher.runUntilIdle();
        EXPECT_EQ(MountManager::lastInternalUnmount(), platform.dispatcher.now());  // set also when it fails
        EXPECT_EQ(platform.processes.callsOf(kDiskutil), (c.systemMountGone ? std::vector<ProgramCall>{{kDiskutil, {"mount", "disk4s1"}}}
                                                                          : std::vector<ProgramCall>{}));
        EXPECT_EQ(VolumeScanner::managedDevs(), (c.remount.ok ? TextMap{{"/Volumes/Data", "disk4s1"}} : TextMap{}));
        VolumeScanner::unmarkManaged("/Volumes/Data");
        MountManager::fixUnsafeState("disk4s1", [&](bool ok, const std::string&) {
            done.push_back({ok, platform.processes.callsOf(kOsascript).size() > (c.remount.prompted ? 1u : 0u)});
        });
        platform.dispatcher.runUntilIdle();
        EXPECT_EQ(done, (std::vector<Result>{c.remount, c.repair}));
    }
}

TEST(MountOperationsTest, NothingReachesRootWithoutAFreePlaceOrAUsableDevice) {
    TestPlatform platform;
    platform.files.addDirectory("/Volumes");
    platform.files.addFile(kHelper);
    platform.processes.answerAll(kSudo, [](const ProgramCall&) { return exited(0); });
    std::vector<bool> done;
    auto record = [&](bool ok, const std::string&) { done.push_back(ok); };
    // Twins converted together: the second does not pick the place the first is about to take.
    platform.processes.answer(kMount, {},
                              exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n"
                                        "/dev/disk6s1 on /Volumes/Twin 1 (ntfs, local, read-only)\n"
                                        "/dev/disk7s1 on /Volumes/Twin 2 (ntfs, local, read-only)\n"));
    MountManager::remountReadWrite("disk6s1", "Twin", record);
    MountManager::remountReadWrite("disk7s1", "Twin", record);
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Twin", "disk6s1"}, {"/Volumes/Twin 2", "disk7s1"}}));
    const size_t rootCalls = platform.processes.callsOf(kSudo).size();

    // Without a mount table the place cannot be told; a device that is not a disk name, or none.
    for (ProgramRun table : {exited(1, "mount: busy\n"), exited(0, "garbage\n")}) {
        platform.processes.answer(kMount, {}, table);
        MountManager::remountReadWrite("disk4s1", "Data", record);
        platform.dispatcher.runUntilIdle();
    }
    MountManager::remountReadWrite("disk4s1;reboot", "Data", record);
    MountManager::remountReadWrite("", "Data", record);
    MountManager::fixUnsafeState("disk4s1'; reboot; '", record);
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(done, (std::vector<bool>{true, true, false, false, false, false, false}));
    EXPECT_EQ(platform.processes.callsOf(kSudo).size(), rootCalls);
    EXPECT_TRUE(platform.processes.callsOf(kOsascript).empty());
}

}  // namespace
}  // namespace drivelark
