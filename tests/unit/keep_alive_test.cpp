// Keeping the disks of read-write volumes awake when caffeinate cannot start: the system's
// assertion stands in while a volume answers, a volume that stops answering holds up nobody's
// pulse, and the controller lets go, in one line, once no volume answers.

#include "keepalive/usb_keep_alive.h"

#include <gtest/gtest.h>

#include "unit/scripted_mac.h"

namespace drivelark::testing {

using KeepAliveTest = ScriptedMac;

TEST_F(KeepAliveTest, AssertionHeldWhileAVolumeAnswersAndAHungVolumeHoldsUpNobody) {
    Volume live{"disk4s1", "Live", "1A-1"}, hung{"disk5s1", "Hung", "4A-1"};
    volumes = {live, hung};
    systemMount(live, "/Volumes/Live");
    systemMount(hung, "/Volumes/Hung");
    passAfter(0);  // converted
    passAfter(0);  // and seen so
    auto keepAlive = std::make_shared<USBKeepAlive>(platform.services, platform.appLog, mountManager);
    keepAlive->start(engine->watcher());
    platform.files.hang("/Volumes/Hung");  // its next touch never returns
    for (int pulse = 1; pulse <= 2; ++pulse) {
        platform.dispatcher.advance(5);
        platform.dispatcher.runUntilIdle();
        EXPECT_TRUE(platform.power.held);
        EXPECT_EQ(helperCallsOf("keepalive").size(), 2u * pulse);  // both devices, every pulse
    }
    volumes.clear();  // both disks pulled: their mounts are purged once the dead one's check gives up
    passAfter(0);
    for (double seconds : {DiskWatcher::kCheckTimeLimit, USBKeepAlive::kPulseInterval}) {
        platform.dispatcher.advance(seconds);
        platform.dispatcher.runUntilIdle();
    }
    EXPECT_FALSE(platform.power.held);
    EXPECT_EQ(logLines("保活: 当前无活跃受管卷"), std::vector<std::string>{"保活: 当前无活跃受管卷 (managed=0)，已释放 NoDiskSleep 断言"});
}

}  // namespace drivelark::testing
