// The helper tool's command line: each subcommand with exactly its operands and refused otherwise,
// with one line and before anything runs; every subcommand within its budget, a watchdog just past
// it. Selftest, keepalive and flush reach their work here; mount, fix and unmount in
// root_work_test.cpp and end to end.

#include "helper/helper_commands.h"

#include <gtest/gtest.h>

#include "helper_scene.h"

using namespace drivelark;
using namespace drivelark::helper;
using namespace drivelark::helper::testing;
using Arguments = std::vector<std::string>;

// The shapes themselves are the unit tests' (mount/mount_target.h, discovery/volume_identity.h),
// and the end-to-end tests refuse more with the real tool: here each operand of each subcommand.
TEST(HelperRequestTest, MalformedOrHostileArgumentsAreRefusedBeforeAnythingRuns) {
    const std::string id = kIdentity;
    for (const Arguments& arguments : std::vector<Arguments>{
             // operands missing or too many
             {"selftest", "disk4s1"}, {"fix", "disk4s1"}, {"keepalive"}, {"mount", "disk4s1", "/Volumes/Data", "Data"},
             {"mount", "disk4s1", "/Volumes/Data", "Data", id, id}, {"unmount", "/Volumes/A", "/Volumes/B"},
             {"flush", "disk4s1", "disk4s2"},
             // no such subcommand
             {"", "disk4s1"}, {"MOUNT", "disk4s1"}, {"selftest\n"}, {"fix;reboot", "disk4s1", id},
             // options in any position
             {"-h", "selftest"}, {"selftest", "--"}, {"unmount", "-f"}, {"mount", "disk4s1", "/Volumes/Data", "-o", id},
             // devices that are not disk names, identities that are not identities
             {"keepalive", "rdisk4s1"}, {"flush", "disk4s1/../../etc/passwd"}, {"fix", "disk4\nfake: line\r", id},
             {"fix", "disk4s1", "volume:"}, {"fix", "disk4s1", "volume:5C6D;id"}, {"fix", "disk4s1", "partition:-:x:"},
             {"mount", "disk4;id", "/Volumes/Data", "Data", id},
             // mount points that are not one name under /Volumes, names ntfs-3g's option list cannot take
             {"unmount", "/Volumes/a/b"}, {"mount", "disk4s1", "/tmp/Data", "Data", id},
             {"mount", "disk4s1", "/Volumes/Data", "", id}, {"mount", "disk4s1", "/Volumes/Data", "a/b", id},
             {"mount", "disk4s1", "/Volumes/Data", "a\x1b[2Jb", id}}) {
        HelperMachine machine;
        Outcome outcome = runHelper(machine.system, arguments);
        EXPECT_EQ(outcome.status, kRefused) << outcome.text;
        EXPECT_TRUE(outcome.text.starts_with("drivelark-mount: ") && std::ranges::count(outcome.text, '\n') == 1)
            << outcome.text;
        EXPECT_TRUE(machine.programsRun().empty() && machine.system.touched.empty() && !machine.system.watchdog);
    }
}

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
    EXPECT_TRUE(machine.programsRun().empty());
    runHelper(machine.system, {"unmount", "/Volumes/Data"});
    EXPECT_EQ(machine.system.watchdog, HelperProtocol::kUnmountBudget + 1s);
}
