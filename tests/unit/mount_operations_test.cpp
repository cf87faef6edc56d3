// The mount operations against scripted programs: which channel does the root work, what the
// administrator prompt's report is made back into, what is asked of the system after a failure,
// and what never reaches root.

#include <gtest/gtest.h>

#include "unit/scripted_mac.h"

namespace drivelark::testing {

const NTFSPartition kData{"disk4s1", "Data", "AB-1", "volume:AB-1"};
using MountOperationsTest = ScriptedMac;

// A helper that the password-free channel could not run (status 127): the remount asks for the
// password instead. osascript's report of the failed command is made back into the helper's own
// output, so that its marker lines stand alone. The failed remount left the disk mounted nowhere:
// the read-only mount is asked for again, but only while the device still holds that volume.
TEST_F(MountOperationsTest, HelperThatCannotRunThenAPromptThatFails) {
    platform.processes.answerAll(kSudo, [](const ProgramCall&) { return exited(127, "sudo: unable to execute\n"); });
    auto description = [](const char* uuid) {
        return exited(0, plist(key("DeviceIdentifier", "disk4s1") + key("VolumeUUID", uuid)));
    };
    std::vector<std::string> outputs;
    for (const char* onDevice : {"AB-2", "AB-1"}) {  // another volume by now, then the same one
        platform.processes.answer(kDiskutil, {"info", "-plist", "disk4s1"}, description(onDevice));
        platform.processes.answerAll(kOsascript, [](const ProgramCall&) {
            return exited(1, "0:54: execution error: __WRITE_DENIED__\rdrivelark-mount: refused (1)\n");
        });
        mountManager->remountReadWrite(kData, [&](bool ok, const std::string& out) { outputs.push_back(ok ? "ok" : out); });
        platform.dispatcher.runUntilIdle();
    }
    EXPECT_EQ(outputs, std::vector<std::string>(2, "__WRITE_DENIED__\ndrivelark-mount: refused"));
    EXPECT_TRUE(MountManager::isWriteDeniedError(outputs.at(0)));
    EXPECT_EQ(mountManager->lastInternalUnmount(), platform.dispatcher.now());  // set also when it fails
    EXPECT_EQ(platform.processes.callsOf(kOsascript).size(), 2u);
    EXPECT_EQ(std::ranges::count(platform.processes.calls(), ProgramCall{kDiskutil, {"mount", "disk4s1"}}), 1);
    // Shown as under way until facts read after its end show what it did.
    EXPECT_EQ(mountManager->converting(), (std::map<std::string, std::string>{{"disk4s1", "Data"}}));
    mountManager->factsRead(mountManager->changes());
    EXPECT_TRUE(mountManager->converting().empty());
}

// Markers are lines the helper prints by themselves: a name that holds their words is no marker.
TEST(MarkerLinesTest, FailuresAreToldByMarkerLinesOnly) {
    EXPECT_TRUE(MountManager::isHibernated("ntfs-3g: Windows is hibernated\n__HIBERNATED__\n"));
    EXPECT_TRUE(MountManager::isUnsafeStateError("x\r\n  __UNSAFE_STATE__ \r\n"));
    EXPECT_FALSE(MountManager::isUnsafeStateError("/Volumes/hibernation is a folder that is not empty (unsafe state)\n"));
    EXPECT_FALSE(MountManager::isWriteDeniedError("/Volumes/__WRITE_DENIED__ x\n"));
    EXPECT_TRUE(MountManager::isVolumeChanged("__VOLUME_CHANGED__"));
}

TEST_F(MountOperationsTest, NothingReachesRootWithoutAFreePlaceOrAUsableDevice) {
    std::vector<bool> done;
    auto record = [&](bool ok, const std::string&) { done.push_back(ok); };
    platform.processes.answerAll(kSudo, [](const ProgramCall&) { return exited(0); });  // mounts nothing
    // Twins converted together: the second does not pick the place the first is about to take.
    platform.processes.answer(kMount, {}, exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n"
                                                    "/dev/disk6s1 on /Volumes/Twin 1 (ntfs, local, read-only)\n"
                                                    "/dev/disk7s1 on /Volumes/Twin 2 (ntfs, local, read-only)\n"));
    mountManager->remountReadWrite({"disk6s1", "Twin", "", "volume:CD-1"}, record);
    mountManager->remountReadWrite({"disk7s1", "Twin", "", "volume:CD-2"}, record);
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(registry.managedDevs(), (TextMap{{"/Volumes/Twin", "disk6s1"}, {"/Volumes/Twin 2", "disk7s1"}}));
    const size_t rootCalls = platform.processes.callsOf(kSudo).size();

    // A device that is not a disk name, or none, or no volume named; without a mount table the
    // place cannot be told.
    mountManager->remountReadWrite({"disk4s1;reboot", "Data", "", "volume:AB-1"}, record);
    mountManager->remountReadWrite({"", "Data", "", "volume:AB-1"}, record);
    mountManager->remountReadWrite({"disk4s1", "Data", "", ""}, record);
    mountManager->fixUnsafeState({"disk4s1'; reboot; '", "Data", "", "volume:AB-1"}, record);
    for (ProgramRun table : {exited(1, "mount: busy\n"), exited(0, "garbage\n"), timedOut()}) {
        platform.processes.answer(kMount, {}, table);
        mountManager->remountReadWrite(kData, record);
    }
    platform.dispatcher.runUntilIdle();
    EXPECT_EQ(done, (std::vector<bool>{true, true, false, false, false, false, false, false, false}));
    EXPECT_EQ(platform.processes.callsOf(kSudo).size(), rootCalls);
    EXPECT_TRUE(platform.processes.callsOf(kOsascript).empty());
}

// Before sleep, a volume that does not answer holds up neither the others nor the sleep, which goes
// ahead at the time limit; one that cannot be written back says so and is not counted.
TEST_F(MountOperationsTest, WriteBackBeforeSleepEndsAtItsLimitAndCountsOnlyWhatWasWritten) {
    for (const char* place : {"/Volumes/Data", "/Volumes/Stuck"}) platform.files.addDirectory(place);
    platform.files.hang("/Volumes/Stuck");
    std::optional<std::size_t> written;
    mountManager->flushBeforeSleep(
        {{"/Volumes/Data", "Data", "disk4s1", ""}, {"/Volumes/Stuck", "Stuck", "disk5s1", ""},
         {"/Volumes/Gone", "Gone", "disk6s1", ""}},
        [&](std::size_t count) { written = count; });
    platform.dispatcher.runUntilIdle();
    platform.dispatcher.advance(MountManager::kFlushTimeLimit - 0.1);
    EXPECT_EQ(written, std::nullopt);
    platform.dispatcher.advance(0.1);
    EXPECT_EQ(written, 1u);
    EXPECT_NE(platform.log().find("/Volumes/Gone"), std::string::npos) << platform.log();
    EXPECT_EQ(helperCallsOf("flush"), (std::vector<std::vector<std::string>>{{"-n", kHelper, "flush", "disk4s1"}}));
}

}  // namespace drivelark::testing
