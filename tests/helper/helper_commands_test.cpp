// The helper tool's command line: each subcommand with exactly its operands and refused otherwise,
// with one line and before anything runs, and each reaching its own work.

#include "helper/helper_commands.h"

#include <gtest/gtest.h>

#include "helper/helper_request.h"
#include "helper_scene.h"

namespace drivelark::helper {
namespace {

using namespace testing;
using Arguments = std::vector<std::string>;

TEST(HelperRequestTest, EachSubcommandTakesExactlyItsOperands) {
    EXPECT_EQ(parseRequest({"selftest"}).request, (Request{Subcommand::selftest, "", "", ""}));
    EXPECT_EQ(parseRequest({"mount", "disk4s1", "/Volumes/My Disk", "My Disk"}).request,
              (Request{Subcommand::mount, "disk4s1", "/Volumes/My Disk", "My Disk"}));
    EXPECT_EQ(parseRequest({"fix", "disk4s1"}).request, (Request{Subcommand::fix, "disk4s1", "", ""}));
    EXPECT_EQ(parseRequest({"unmount", "/Volumes/Data"}).request, (Request{Subcommand::unmount, "", "/Volumes/Data", ""}));
    EXPECT_EQ(parseRequest({"keepalive", "disk4"}).request, (Request{Subcommand::keepalive, "disk4", "", ""}));
    EXPECT_EQ(parseRequest({"flush", "disk4s1"}).request, (Request{Subcommand::flush, "disk4s1", "", ""}));
}

TEST(HelperRequestTest, MalformedOrHostileArgumentsAreRefusedBeforeAnythingRuns) {
    for (const Arguments& arguments : std::vector<Arguments>{
             // operands missing or too many
             {}, {"selftest", "disk4s1"}, {"mount", "disk4s1", "/Volumes/Data"}, {"mount", "disk4s1", "/Volumes/Data", "Data", "x"},
             {"fix"}, {"fix", "disk4s1", "disk4s2"}, {"unmount", "/Volumes/A", "/Volumes/B"}, {"keepalive"},
             // no such subcommand
             {"", "disk4s1"}, {"MOUNT", "disk4s1"}, {"mount ", "disk4s1"}, {"shell"}, {"selftest\n"}, {"fix;reboot", "disk4s1"},
             // options in any position
             {"--help"}, {"-h", "selftest"}, {"selftest", "--"}, {"fix", "-d"}, {"unmount", "-f"}, {"keepalive", "-"},
             {"mount", "disk4s1", "/Volumes/Data", "-o"}, {"mount", "disk4s1", "/Volumes/Data", "--allow-other"},
             // devices that are not disk names
             {"fix", "/dev/disk4s1"}, {"fix", "sda1"}, {"keepalive", "rdisk4s1"}, {"flush", "disk4s1/../../etc/passwd"},
             {"flush", "disk4s1 x"}, {"mount", "disk4;id", "/Volumes/Data", "Data"}, {"fix", "disk4\nfake: line\r"},
             // mount points that are not one name under /Volumes
             {"unmount", "/"}, {"unmount", "/Volumes"}, {"unmount", "/Volumes/.."}, {"unmount", "/Volumes/a/b"},
             {"unmount", "Volumes/Data"}, {"unmount", "/Volumes/a\x7F"}, {"mount", "disk4s1", "/Volumes/../etc", "Data"},
             {"mount", "disk4s1", "/tmp/Data", "Data"}, {"mount", "disk4s1", "/Volumes/a\nb", "Data"},
             // names ntfs-3g's option list cannot take
             {"mount", "disk4s1", "/Volumes/Data", ""}, {"mount", "disk4s1", "/Volumes/Data", "Data,allow_other"},
             {"mount", "disk4s1", "/Volumes/Data", "a/b"}, {"mount", "disk4s1", "/Volumes/Data", "tab\there"},
             {"mount", "disk4s1", "/Volumes/Data", "a\\,b"}, {"mount", "disk4s1", "/Volumes/Data", "a\x1b[2Jb"}}) {
        HelperMachine machine;
        expectRefusal(runHelper(machine.system, arguments), "");
        EXPECT_TRUE(machine.programsRun().empty());
        EXPECT_TRUE(machine.system.openedForWriting.empty() && machine.system.blocksRead.empty());
    }
}

TEST(HelperCommandsTest, EachSubcommandReachesItsWork) {
    HelperMachine machine;
    EXPECT_EQ(runHelper(machine.system, {"selftest"}).status, kSucceeded);
    machine.system.root = false;
    EXPECT_EQ(runHelper(machine.system, {"selftest"}).status, kFailed);

    // Keeping awake and flushing only read the device; a failure says which device.
    EXPECT_EQ(runHelper(machine.system, {"keepalive", "disk4s1"}).status, kSucceeded);
    EXPECT_EQ(runHelper(machine.system, {"flush", "disk4s1"}).status, kSucceeded);
    EXPECT_EQ(machine.system.blocksRead, std::vector<std::string>{"/dev/rdisk4s1"});
    EXPECT_EQ(machine.system.flushed, std::vector<std::string>{"/dev/disk4s1"});
    EXPECT_TRUE(machine.system.openedForWriting.empty());
    machine.system.readError = ENXIO;
    EXPECT_NE(runHelper(machine.system, {"keepalive", "disk4s1"}).text.find("/dev/rdisk4s1"), std::string::npos);
    EXPECT_NE(runHelper(machine.system, {"flush", "disk4s1"}).text.find("/dev/disk4s1"), std::string::npos);
    EXPECT_TRUE(machine.programsRun().empty());

    // A device the disk utility does not know is neither mounted nor repaired.
    machine.platform.processes.answer(kDiskutil, {"info", "-plist", "disk4s1"}, exited(1, "Could not find disk: disk4s1\n"));
    expectRefusal(runHelper(machine.system, {"mount", "disk4s1", "/Volumes/Data", "Data"}), "does not know disk4s1");
    expectRefusal(runHelper(machine.system, {"fix", "disk4s1"}), "does not know disk4s1");
    machine.platform.processes.answer(kDiskutil, {"unmount", "force", "/Volumes/Data"}, exited(0));
    EXPECT_EQ(runHelper(machine.system, {"unmount", "/Volumes/Data"}).status, kSucceeded);
}

}  // namespace
}  // namespace drivelark::helper
