// The auto-mount engine on the virtual clock, against a scripted Mac: a disk listing and a mount
// table that follow the disks, and a helper tool whose results the test decides.

#include <gtest/gtest.h>

#include <deque>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "engine/auto_mount_engine.h"
#include "unit/mount_programs.h"

namespace drivelark {
namespace {

using namespace testing;

struct Disk {
    std::string name, uuid;
    std::string mountedAt;  // empty: not mounted
    bool readWrite = false;
    std::string type = "ntfs";
    bool pulled = false;  // gone from the listing, its mount left behind
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.files.addDirectory("/Volumes");
        platform.files.addFile(kHelper);
        auto& processes = platform.processes;
        processes.answerAll(kDiskutil, [this](const ProgramCall&) {
            return listingFails ? exited(1, "busy\n") : exited(0, listing());
        });
        processes.answerAll(kMount, [this](const ProgramCall&) {
            return mountTableFails ? exited(0, "garbage\n") : exited(0, mountTable());
        });
        processes.answerAll(kSudo, [this](const ProgramCall& call) { return helper(call.arguments); });
    }

    std::string listing() const {
        std::string parts;
        for (const auto& [device, disk] : disks)
            if (!disk.pulled) parts += "<dict><key>Content</key><string>NTFS</string><key>DeviceIdentifier</key><string>" + device +
                     "</string><key>VolumeName</key><string>" + disk.name + "</string><key>VolumeUUID</key><string>" +
                     disk.uuid + "</string></dict>";
        return "<plist version=\"1.0\"><dict><key>AllDisksAndPartitions</key><array><dict><key>Partitions</key>"
               "<array>" + parts + "</array></dict></array></dict></plist>";
    }
    std::string mountTable() const {
        std::string table = "/dev/disk3s1s1 on / (apfs, read-only)\n";
        for (const auto& [device, disk] : disks) {
            if (disk.mountedAt.empty()) continue;
            table += disk.readWrite ? "fuse-t:/" + disk.name + " on " + disk.mountedAt + " (nfs, nodev, nosuid)\n"
                                    : "/dev/" + device + " on " + disk.mountedAt + " (" + disk.type + ", read-only)\n";
        }
        return table;
    }
    ProgramRun helper(const std::vector<std::string>& arguments) {
        const std::string& subcommand = arguments.at(2);
        if (subcommand == "selftest") return exited(0);
        if (subcommand == "fix") return exited(fixWorks ? 0 : 1, "Windows was hibernated\n");
        if (subcommand == "unmount") {
            for (auto& [device, disk] : disks)
                if (disk.mountedAt == arguments.at(3)) disk.mountedAt.clear();
            return exited(0);
        }
        ProgramRun result = results.empty() ? exited(0) : results.front();
        if (!results.empty()) results.pop_front();
        if (result.status == 0) {
            disks[arguments.at(3)].mountedAt = arguments.at(4);
            disks[arguments.at(3)].readWrite = true;
            platform.files.addDirectory(arguments.at(4), 7);
        }
        return result;
    }

    // One pass at `seconds` from now, with everything it starts carried through.
    void passAfter(double seconds = 3.0) {
        for (const auto& [device, disk] : disks)  // a mounted volume answers, unless a test says otherwise
            if (!disk.mountedAt.empty() && !platform.files.exists(disk.mountedAt)) platform.files.addDirectory(disk.mountedAt, 5);
        platform.dispatcher.advance(seconds);
        engine->reconcile();
        platform.dispatcher.runUntilIdle();
    }
    std::vector<std::string> attemptsLogged() const {
        std::vector<std::string> lines;
        for (const std::string& line : platform.logMessages())
            if (line.ends_with("，自动处理")) lines.push_back(line.substr(0, line.size() - std::string("，自动处理").size()));
        return lines;
    }
    size_t remounts() const {
        size_t count = 0;
        for (const ProgramCall& call : platform.processes.callsOf(kSudo)) count += call.arguments.at(2) == "mount";
        return count;
    }

    TestPlatform platform;
    std::shared_ptr<AutoMountEngine> engine = std::make_shared<AutoMountEngine>();
    std::map<std::string, Disk> disks;
    std::deque<ProgramRun> results;  // of the helper's next mounts; success when empty
    bool listingFails = false, mountTableFails = false, fixWorks = true;
};

TEST_F(EngineTest, ReasonsFollowWhatThePartitionDid) {
    disks["disk4s1"] = {"Data", "U1", "/Volumes/Data"};
    disks["disk5s1"] = {"Later", "U2", ""};
    passAfter(0);  // both present at launch
    disks["disk6s1"] = {"New", "U3", ""};
    passAfter();
    disks.erase("disk5s1");
    passAfter();
    disks["disk5s1"] = {"Later", "U2", ""};
    disks["disk4s1"].mountedAt.clear();  // lost behind Drivelark's back
    passAfter();
    disks["disk7s1"] = {"Seen", "U4", ""};
    passAfter();
    EXPECT_EQ(attemptsLogged(), (std::vector<std::string>{"检测到只读抢占", "检测到启动时已连接", "检测到新插入",
                                                          "检测到重新插入", "检测到挂载意外丢失，自动恢复", "检测到新插入"}));
    std::vector<std::string> log = platform.logMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "分区移除: uuid:U2"), log.end());
}

TEST_F(EngineTest, FailuresBackOffAndASuccessOpensTheVolumeOnceAfterADelay) {
    disks["disk4s1"] = {"Data", "U1", "/Volumes/Data"};
    results = {exited(1, "boom\n"), exited(1, "boom\n")};
    passAfter(0);
    passAfter(71);  // 60 s back-off + 12 s spacing: not yet
    EXPECT_EQ(remounts(), 1u);
    passAfter(1);
    EXPECT_EQ(remounts(), 2u);
    EXPECT_EQ(engine->backoff("uuid:U1"), 120.0);
    passAfter(131);
    EXPECT_EQ(remounts(), 2u);
    passAfter(1);
    EXPECT_EQ(remounts(), 3u);  // third time lucky
    platform.dispatcher.advance(0.79);
    EXPECT_TRUE(platform.workspace.opened.empty());
    platform.dispatcher.advance(0.02);
    EXPECT_EQ(platform.workspace.opened, std::vector<std::string>{"/Volumes/Data"});
    EXPECT_EQ(engine->backoff("uuid:U1"), 0.0);
    disks["disk4s1"] = {"Data", "U1", "/Volumes/Data"};  // lost, recovered: opened no more
    passAfter(12);
    platform.dispatcher.advance(1);
    EXPECT_EQ(remounts(), 4u);
    EXPECT_EQ(platform.workspace.opened.size(), 1u);
}

TEST_F(EngineTest, EjectMarksFollowTheRecordedMountPointAndDieAsTheyShould) {
    // The same name as another disk: this one lives at "/Volumes/Data 1".
    disks["disk4s1"] = {"Data", "U1", "/Volumes/Data 1"};
    platform.files.addSymbolicLink("/Volumes/Data");
    passAfter(0);
    ASSERT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Data 1", "disk4s1"}}));
    // The user unmounts it; the pass notices before the notice arrives.
    disks["disk4s1"] = {"Data", "U1", ""};
    platform.files.remove("/Volumes/Data 1");
    passAfter(60);
    EXPECT_EQ(platform.logMessages().back(), "检测到外部卸载（用户推出）: /Volumes/Data 1，本次不再自动重挂");
    engine->noteUnmountFromOutside("/Volumes/Data 1");  // the notice, late: nothing twice
    disks["disk4s1"].mountedAt = "/Volumes/Data 1";  // the system mounts it again read-only
    passAfter(60);
    EXPECT_EQ(remounts(), 1u);
    std::vector<std::string> log = platform.logMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "检测到外部卸载（用户推出）: /Volumes/Data 1，本次不再自动重挂"), 1);
    engine->forgetDeviceEjected("disk4s1");  // what the menu's conversion lifts
    passAfter(60);
    EXPECT_EQ(remounts(), 1u);  // the mount-point mark still holds
    // Ejected from the menu and unplugged: plugged in again, it is converted as any disk is.
    engine->noteDeviceEjected("disk4s1");
    disks.erase("disk4s1");
    passAfter();
    disks["disk4s1"] = {"Data", "U1", "/Volumes/Data 1"};
    passAfter();
    EXPECT_EQ(remounts(), 2u);
}

TEST_F(EngineTest, AdoptionAutoMountOffAndDuplicateKeys) {
    disks["disk4s1"] = {"Data", "U1", "/Volumes/Data", true};  // an nfs mount nobody registered
    disks["disk5s1"] = {"Twin", "U2", "/Volumes/Twin", true};  // Drivelark's own
    VolumeScanner::markManaged("/Volumes/Twin", "Twin", "disk5s1");
    disks["disk6s1"] = {"Twin", "U3", "/Volumes/Twin 1"};      // the same name: not the mount above
    disks["disk7s1"] = {"Dup", "U4", "/Volumes/Dup"};
    disks["disk8s1"] = {"Dup", "U4", "/Volumes/Dup 1"};        // the same key twice
    disks["disk9s1"] = {"Card", "U5", "/Volumes/Card", false, "exfat"};
    setAutoMountEnabled(false);
    passAfter(0);
    EXPECT_EQ(VolumeScanner::managedDevs(), (TextMap{{"/Volumes/Data", "disk4s1"}, {"/Volumes/Twin", "disk5s1"}}));
    EXPECT_EQ(remounts(), 0u);
    setAutoMountEnabled(true);
    passAfter();
    EXPECT_EQ(attemptsLogged(), (std::vector<std::string>{"检测到只读抢占", "检测到只读抢占"}));  // Twin 1, one Dup
    EXPECT_EQ(platform.processes.callsOf(kSudo).back().arguments.at(3), "disk7s1");
}

TEST_F(EngineTest, AnswersThatCannotBeReadChangeNothing) {
    disks["disk4s1"] = {"Data", "U1", "/Volumes/Data"};
    passAfter(0);
    listingFails = true;  // the disk utility is busy, crashes or hangs
    passAfter(60);
    listingFails = false;
    mountTableFails = true;
    passAfter(60);
    mountTableFails = false;
    disks["disk4s1"].mountedAt.clear();
    passAfter();
    std::vector<std::string> log = platform.logMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "读不到磁盘列表或挂载表，暂停自动处理，下一轮再试"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "分区移除: uuid:U1"), 0);
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.starts_with("清理僵尸"); }), 0);
    // Remembered as Drivelark's own throughout: its loss is recovered.
    EXPECT_EQ(attemptsLogged(), (std::vector<std::string>{"检测到只读抢占", "检测到挂载意外丢失，自动恢复"}));
}

TEST_F(EngineTest, ZombiesArePurgedOrProbedAndAPurgeResetsEveryPartition) {
    disks["disk4s1"] = {"Gone", "U1", "/Volumes/Gone", true};
    disks["disk5s1"] = {"Dead", "U2", "/Volumes/Dead", true};
    disks["disk6s1"] = {"Stuck", "U3", "/Volumes/Stuck"};
    results = {exited(1, "boom\n")};
    VolumeScanner::markManaged("/Volumes/Gone", "Gone", "disk4s1");
    VolumeScanner::markManaged("/Volumes/Dead", "Dead", "disk5s1");
    VolumeScanner::markManaged("/Volumes/Left", "Left", "disk9s1");  // neither mounted nor there
    passAfter(0);
    EXPECT_EQ(engine->backoff("uuid:U3"), 60.0);
    EXPECT_FALSE(VolumeScanner::managedDevs().contains("/Volumes/Left"));

    disks["disk4s1"].pulled = true;                    // pulled while mounted
    platform.files.addDirectory("/Volumes/Dead", 0);   // and this one stops answering
    engine->reconcile();
    EXPECT_EQ(platform.dispatcher.pendingBackgroundJobs(), 2u);  // one purge, one probe
    engine->reconcile();
    EXPECT_EQ(platform.dispatcher.pendingBackgroundJobs(), 2u);  // neither is started twice
    platform.dispatcher.runUntilIdle();
    std::vector<std::string> log = platform.logMessages();
    for (const char* line : {"清理僵尸挂载: /Volumes/Gone（设备 disk4s1 已不在）", "僵尸挂载已清理: /Volumes/Gone",
                             "清理僵尸挂载: /Volumes/Dead（挂载不可访问）"})
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
    EXPECT_EQ(engine->backoff("uuid:U3"), 0.0);  // a purge lets every partition try again at once
}

TEST_F(EngineTest, AMountThatKeepsGettingLostIsSlowedEvenThoughPurgesResetTheRetries) {
    disks["disk4s1"] = {"Data", "U1", "/Volumes/Data"};
    passAfter(0);
    for (double at : {10.0, 20.0, 30.0}) {
        platform.dispatcher.advance(at - 3 - (platform.dispatcher.now().secondsSince1970 - VirtualDispatcher::kStart));
        platform.files.addDirectory("/Volumes/Data", 0);  // ntfs-3g died under it
        passAfter();
    }
    EXPECT_EQ(remounts(), 3u);  // the third loss in two minutes waits 45 s after the last recovery
    passAfter(31);
    EXPECT_EQ(remounts(), 3u);
    passAfter(4);
    EXPECT_EQ(remounts(), 4u);
}

TEST_F(EngineTest, AVolumeThatCannotBeRepairedStaysReadOnlyUntilPluggedAgain) {
    disks["disk4s1"] = {"Windows", "U1", "/Volumes/Windows"};
    results = {exited(1, "Windows is hibernated, refused to mount.\n")};
    fixWorks = false;
    passAfter(0);
    passAfter(700);
    EXPECT_EQ(remounts(), 1u);
    EXPECT_TRUE(engine->isKeptReadOnly("disk4s1"));
    disks.erase("disk4s1");
    passAfter();
    disks["disk4s1"] = {"Windows", "U1", "/Volumes/Windows"};
    passAfter();
    EXPECT_EQ(remounts(), 2u);
}

}  // namespace
}  // namespace drivelark
