// The helper tool's command line: each subcommand with exactly its operands and refused otherwise,
// with one line and before anything runs. Selftest, keepalive and flush reach their work here; mount,
// fix and unmount in root_work_test.cpp and end to end.

#include "helper/helper_commands.h"

#include <gtest/gtest.h>

#include "helper/helper_request.h"
#include "helper_scene.h"

using namespace drivelark;
using namespace drivelark::helper;
using namespace drivelark::helper::testing;
using Arguments = std::vector<std::string>;

// The shapes themselves are the unit tests' (of mount/mount_target.h), and the end-to-end tests
// refuse more with the real tool: here each operand of each subcommand is checked, and nothing runs.
TEST(HelperRequestTest, MalformedOrHostileArgumentsAreRefusedBeforeAnythingRuns) {
    for (const Arguments& arguments : std::vector<Arguments>{
             // operands missing or too many
             {"selftest", "disk4s1"}, {"fix"}, {"keepalive"}, {"mount", "disk4s1", "/Volumes/Data", "Data", "x"},
             {"unmount", "/Volumes/A", "/Volumes/B"}, {"flush", "disk4s1", "disk4s2"},
             // no such subcommand
             {"", "disk4s1"}, {"MOUNT", "disk4s1"}, {"selftest\n"}, {"fix;reboot", "disk4s1"},
             // options in any position
             {"-h", "selftest"}, {"selftest", "--"}, {"unmount", "-f"}, {"mount", "disk4s1", "/Volumes/Data", "-o"},
             // devices that are not disk names
             {"keepalive", "rdisk4s1"}, {"flush", "disk4s1/../../etc/passwd"}, {"fix", "disk4\nfake: line\r"},
             {"mount", "disk4;id", "/Volumes/Data", "Data"},
             // mount points that are not one name under /Volumes, names ntfs-3g's option list cannot take
             {"unmount", "/Volumes/a/b"}, {"mount", "disk4s1", "/tmp/Data", "Data"},
             {"mount", "disk4s1", "/Volumes/Data", ""}, {"mount", "disk4s1", "/Volumes/Data", "a/b"},
             {"mount", "disk4s1", "/Volumes/Data", "a\x1b[2Jb"}}) {
        HelperMachine machine;
        expectRefusal(runHelper(machine.system, arguments), "");
        EXPECT_TRUE(machine.programsRun().empty());
        EXPECT_TRUE(machine.system.touched.empty());
    }
}

TEST(HelperCommandsTest, SelftestKeepaliveAndFlushReachTheirWork) {
    HelperMachine machine;
    EXPECT_EQ(runHelper(machine.system, {"selftest"}).status, kSucceeded);
    machine.system.root = false;
    EXPECT_EQ(runHelper(machine.system, {"selftest"}).status, kFailed);

    // Keeping awake and flushing only read the device; a failure says which device.
    EXPECT_EQ(runHelper(machine.system, {"keepalive", "disk4s1"}).status, kSucceeded);
    EXPECT_EQ(runHelper(machine.system, {"flush", "disk4s1"}).status, kSucceeded);
    EXPECT_EQ(machine.system.touched,
              (std::map<std::string, Arguments>{{"block", {"/dev/rdisk4s1"}}, {"flush", {"/dev/disk4s1"}}}));
    machine.system.readError = ENXIO;
    EXPECT_NE(runHelper(machine.system, {"keepalive", "disk4s1"}).text.find("/dev/rdisk4s1"), std::string::npos);
    EXPECT_NE(runHelper(machine.system, {"flush", "disk4s1"}).text.find("/dev/disk4s1"), std::string::npos);
    EXPECT_TRUE(machine.programsRun().empty());
}
