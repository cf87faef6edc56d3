#include "helper/helper_commands.h"

#include <gtest/gtest.h>

#include "helper_scene.h"

namespace drivelark::helper {
namespace {

using namespace testing;

TEST(HelperCommandsTest, SelftestSaysWhetherTheToolHasRootRights) {
    HelperMachine machine;
    EXPECT_EQ(runHelper(machine.system, {"selftest"}).status, kSucceeded);
    machine.system.root = false;
    Outcome outcome = runHelper(machine.system, {"selftest"});
    EXPECT_EQ(outcome.status, kFailed);
    EXPECT_EQ(outcome.text, "drivelark-mount: not running with root rights\n");
    EXPECT_TRUE(machine.programsRun().empty());
}

TEST(HelperCommandsTest, KeepaliveAndFlushOnlyReadTheDevice) {
    HelperMachine machine;
    EXPECT_EQ(runHelper(machine.system, {"keepalive", "disk4s1"}).status, kSucceeded);
    EXPECT_EQ(runHelper(machine.system, {"flush", "disk4s1"}).status, kSucceeded);
    EXPECT_EQ(machine.system.blocksRead, std::vector<std::string>{"/dev/rdisk4s1"});
    EXPECT_EQ(machine.system.flushed, std::vector<std::string>{"/dev/disk4s1"});
    EXPECT_TRUE(machine.system.openedForWriting.empty());
    EXPECT_TRUE(machine.programsRun().empty());

    machine.system.readError = ENXIO;
    EXPECT_NE(runHelper(machine.system, {"keepalive", "disk4s1"}).text.find("cannot read /dev/rdisk4s1"),
              std::string::npos);
    EXPECT_NE(runHelper(machine.system, {"flush", "disk4s1"}).text.find("cannot flush /dev/disk4s1"),
              std::string::npos);
}

TEST(HelperCommandsTest, BadArgumentsAreRefusedWithOneLineAndNothingRuns) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {"--help"},
                                               {"mount", "disk4s1", "/Volumes/Data", "-o"},
                                               {"fix", "disk4s1\nfake"},
                                               {"unmount", "/etc"},
                                               {"bogus"}}) {
        HelperMachine machine;
        expectRefusal(runHelper(machine.system, arguments), "");
        EXPECT_TRUE(machine.programsRun().empty());
        EXPECT_TRUE(machine.system.openedForWriting.empty());
        EXPECT_TRUE(machine.system.blocksRead.empty());
    }
}

TEST(HelperCommandsTest, EachSubcommandReachesItsWork) {
    HelperMachine machine;
    machine.diskutilInfo = exited(1, diskutilUnknown("disk4s1"));
    expectRefusal(runHelper(machine.system, {"mount", "disk4s1", "/Volumes/Data", "Data"}), "does not know disk4s1");
    expectRefusal(runHelper(machine.system, {"fix", "disk4s1"}), "does not know disk4s1");
    machine.platform.processes.answer(kDiskutil, {"unmount", "force", "/Volumes/Data"}, exited(0));
    EXPECT_EQ(runHelper(machine.system, {"unmount", "/Volumes/Data"}).status, kSucceeded);
}

}  // namespace
}  // namespace drivelark::helper
