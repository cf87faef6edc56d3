// Keeping the disks of read-write volumes awake when caffeinate cannot start: the system's
// assertion stands in while a volume answers, and a check that hangs is never started twice.

#include "keepalive/usb_keep_alive.h"

#include <gtest/gtest.h>

#include "discovery/volume_scanner.h"
#include "doubles/test_platform.h"
#include "unit/mount_programs.h"

namespace drivelark::testing {

TEST(KeepAliveTest, AssertionHeldWhileAVolumeAnswersAndAHungCheckIsNotRepeated) {
    TestPlatform platform;
    bool mounted = true;
    platform.processes.answerAll(kMount, [&](const ProgramCall&) {
        return exited(0, std::string(kMountTable) + (mounted ? "fuse-t:/Data on /Volumes/Data (nfs, nodev)\n" : ""));
    });
    platform.files.addDirectory("/Volumes/Data", 5);
    VolumeScanner::markManaged("/Volumes/Data", "Data", "disk4s1");
    auto keepAlive = std::make_shared<USBKeepAlive>();
    keepAlive->start();

    platform.dispatcher.advance(10);  // two pulses: the first one's check of the volume waits in the background
    EXPECT_EQ(platform.dispatcher.pendingBackgroundJobs(), 1u);
    platform.dispatcher.runUntilIdle();
    EXPECT_TRUE(platform.power.held);

    mounted = false;
    platform.dispatcher.advance(5);
    platform.dispatcher.runUntilIdle();
    EXPECT_FALSE(platform.power.held);
}

}  // namespace drivelark::testing
