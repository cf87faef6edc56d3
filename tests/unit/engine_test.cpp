// The auto-mount engine on the virtual clock, against a scripted disk listing and mount table and
// a helper tool whose mounts succeed unless the test says otherwise: states and races that the
// simulated Mac does not reach.

#include <gtest/gtest.h>

#include <sstream>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "engine/auto_mount_engine.h"
#include "mount/mount_manager.h"
#include "unit/mount_programs.h"

namespace drivelark {
namespace {

using namespace testing;

// A partition of the disk listing.
std::string partition(const std::string& device, const std::string& name, const std::string& uuid) {
    return "<dict><key>Content</key><string>NTFS</string><key>DeviceIdentifier</key><string>" + device +
           "</string><key>VolumeName</key><string>" + name + "</string><key>VolumeUUID</key><string>" + uuid +
           "</string></dict>";
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.files.addFile(kHelper);
        platform.processes.answerAll(kSudo, [this](const ProgramCall& call) {
            if (call.arguments.at(2) == "unmount") forget(call.arguments.at(3));
            return call.arguments.at(2) == "mount" && failures-- > 0 ? exited(1, "boom\n") : exited(0);
        });
        platform.processes.answerAll(kMount, [this](const ProgramCall&) { return exited(0, mounts); });
    }
    void scene(const std::string& partitions, const std::string& mounts) {
        platform.processes.answer(kDiskutil, {"list", "-plist"},
                                  exited(0, "<plist version=\"1.0\"><dict><key>AllDisksAndPartitions</key><array><dict>"
                                            "<key>Partitions</key><array>" + partitions + "</array></dict></array></dict></plist>"));
        this->mounts = "/dev/disk3s1s1 on / (apfs, read-only)\n" + mounts;
    }
    // What the helper unmounts leaves the mount table.
    void forget(const std::string& mountPoint) {
        std::string kept, line;
        for (std::istringstream lines(mounts); std::getline(lines, line);)
            if (line.find(" on " + mountPoint + " (") == std::string::npos) kept += line + "\n";
        mounts = kept;
    }
    // One pass at `seconds` from now, with everything it starts carried through.
    void passAfter(double seconds) {
        platform.dispatcher.advance(seconds);
        engine->reconcile();
        platform.dispatcher.runUntilIdle();
    }
    size_t calls(const std::vector<std::string>& helperArguments) const {
        std::vector<std::string> arguments{"-n", kHelper};
        arguments.insert(arguments.end(), helperArguments.begin(), helperArguments.end());
        const auto& all = platform.processes.calls();
        return std::count(all.begin(), all.end(), ProgramCall{kSudo, arguments});
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
        std::vector<std::string> log = platform.logMessages();
        EXPECT_EQ(std::count(log.begin(), log.end(), "检测到外部卸载（用户推出）: /Volumes/Data，本次不再自动重挂"),
                  elapsed > 6.0 ? 1 : 0) << elapsed;
    }
}

TEST_F(EngineTest, AdoptionAutoMountOffAndDuplicateKeys) {
    scene(partition("disk4s1", "Data", "U1") + partition("disk5s1", "Twin", "U2") + partition("disk6s1", "Twin", "U3") +
              partition("disk7s1", "Dup", "U4") + partition("disk8s1", "Dup", "U4"),
          "fuse-t:/Data on /Volumes/Data (nfs, nodev, nosuid)\n"             // nobody registered it
          "fuse-t:/Twin on /Volumes/Twin (nfs, nodev, nosuid)\n"             // Drivelark's own
          "/dev/disk6s1 on /Volumes/Twin 1 (ntfs, read-only)\n"              // the same name: not the mount above
          "/dev/disk7s1 on /Volumes/Dup (ntfs, read-only)\n"
          "/dev/disk8s1 on /Volumes/Dup 1 (ntfs, read-only)\n");             // the same key twice
    for (const char* name : {"Data", "Twin"}) platform.files.addDirectory(std::string("/Volumes/") + name, 5);
    VolumeScanner::markManaged("/Volumes/Twin", "Twin", "disk5s1");
    setAutoMountEnabled(false);
    passAfter(0);
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Data", "disk4s1"}, {"/Volumes/Twin", "disk5s1"}}));
    setAutoMountEnabled(true);
    passAfter(3);
    std::vector<std::string> remounted;
    for (const ProgramCall& call : platform.processes.callsOf(kSudo))
        if (call.arguments.at(2) == "mount") remounted.push_back(call.arguments.at(3));
    EXPECT_EQ(remounted, (std::vector<std::string>{"disk6s1", "disk7s1"}));
}

TEST_F(EngineTest, ZombiesArePurgedOrProbedOnceAndAPurgeResetsEveryPartition) {
    const std::string mounts = "fuse-t:/Gone on /Volumes/Gone (nfs, nodev)\nfuse-t:/Dead on /Volumes/Dead (nfs, nodev)\n"
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
    EXPECT_EQ(calls({"unmount", "/Volumes/Gone"}), 1u);
    EXPECT_EQ(calls({"unmount", "/Volumes/Dead"}), 1u);
    EXPECT_EQ(engine->backoff("uuid:U3"), 0.0);  // a purge lets every partition try again at once
}

}  // namespace
}  // namespace drivelark
