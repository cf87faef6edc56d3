// The helper tool's subcommands reach their work, each with a watchdog just past its budget.
// Selftest, keepalive and flush here; mount, fix and unmount in root_work_test.cpp and end to end.
// Arguments of the wrong shape are refused before anything runs: the fuzz target helper_arguments
// replays a hostile set of them (tests/fuzz/regressions/helper_arguments/refused-*).

#include "helper/helper_commands.h"

#include <gtest/gtest.h>

#include "helper_scene.h"

using namespace drivelark;
using namespace drivelark::helper;
using namespace drivelark::helper::testing;
using Arguments = std::vector<std::string>;

TEST(HelperCommandsTest, SelftestKeepaliveAndFlushReachTheirWorkAndEveryRunHasItsWatchdog) {
    HelperMachine machine;
    EXPECT_EQ(runHelper(machine.system, {"selftest"}).status, kSucceeded);
    EXPECT_EQ(machine.system.watchdog, HelperProtocol::kSelftestBudget + 1s);
    machine.system.root = false;
    EXPECT_EQ(runHelper(machine.system, {"selftest"}).status, kFailed);

    // Keeping awake and flushing only read the device; a failure says which device.
    EXPECT_EQ(runHelper(machine.system, {"keepalive", "disk4s1"}).status, kSucceeded);
    EXPECT_EQ(runHelper(machine.system, {"flush", "disk4s1"}).status, kSucceeded);
    EXPECT_EQ(machine.system.watchdog, HelperProtocol::kFlushBudget + 1s);
    EXPECT_EQ(machine.system.touched,
              (std::map<std::string, Arguments>{{"block", {"/dev/rdisk4s1"}}, {"flush", {"/dev/disk4s1"}}}));
    machine.system.readError = ENXIO;
    EXPECT_NE(runHelper(machine.system, {"keepalive", "disk4s1"}).text.find("/dev/rdisk4s1"), std::string::npos);
    EXPECT_NE(runHelper(machine.system, {"flush", "disk4s1"}).text.find("/dev/disk4s1"), std::string::npos);
    EXPECT_TRUE(machine.system.programs.calls().empty());
    runHelper(machine.system, {"unmount", "/Volumes/Data"});
    EXPECT_EQ(machine.system.watchdog, HelperProtocol::kUnmountBudget + 1s);
}
