#include "keepalive/usb_keep_alive.h"

#include <gtest/gtest.h>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "unit/mount_programs.h"

namespace drivelark {
namespace {

using namespace testing;

TEST(KeepAliveTest, AwakeWhileAVolumeAnswersThenIdleWithARareLine) {
    TestPlatform platform;
    bool mounted = true;
    platform.processes.answerAll(kMount, [&](const ProgramCall&) {
        return exited(0, std::string(kMountTable) + (mounted ? "fuse-t:/Data on /Volumes/Data (nfs, nodev)\n" : ""));
    });
    platform.files.addDirectory("/Volumes/Data", 5);
    platform.files.addFile(kHelper);
    VolumeScanner::markManaged("/Volumes/Data", "Data", "disk4s1");
    auto keepAlive = std::make_shared<USBKeepAlive>();
    keepAlive->start();

    platform.dispatcher.advance(5);  // the first pulse: its check of the volume waits in the background
    platform.dispatcher.advance(5);
    EXPECT_EQ(platform.dispatcher.pendingBackgroundJobs(), 1u);  // a hung check is not repeated
    platform.dispatcher.runUntilIdle();
    EXPECT_TRUE(platform.power.held);  // caffeinate could not start: the assertion stands in
    EXPECT_EQ(platform.processes.callsOf(kSudo).back().arguments,
              (std::vector<std::string>{"-n", kHelper, "keepalive", "disk4s1"}));

    mounted = false;
    for (int pulse = 0; pulse < 62; ++pulse) {
        platform.dispatcher.advance(5);
        platform.dispatcher.runUntilIdle();
    }
    EXPECT_FALSE(platform.power.held);
    std::vector<std::string> log = platform.logMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "保活: NoDiskSleep 断言已创建"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "保活: 当前无活跃受管卷 (managed=1)"), 1);
    // Idle from 20 s on: a line then, and the next one more than 300 s later.
    EXPECT_EQ(std::count(log.begin(), log.end(), "保活: 待机（无读写挂载卷）"), 1);
    platform.dispatcher.advance(5);
    EXPECT_EQ(platform.logMessages().back(), "保活: 待机（无读写挂载卷）");
}

}  // namespace
}  // namespace drivelark
