// The helper tool's unmount: diskutil's forced unmount, else the first umount there is; a dead
// mount is unmounted, a symbolic link never followed.

#include "helper/unmount_command.h"

#include <gtest/gtest.h>

#include "helper_scene.h"

namespace drivelark::helper {
namespace {

using namespace testing;

TEST(UnmountCommandTest, DiskutilThenTheFirstUmountThatExists) {
    struct Case {
        FileInfo mountPoint;
        ProgramRun diskutil;
        std::vector<const char*> umounts;  // present, in the order of the search
        int umountStatus;
        int status;
        std::string text;
    };
    const std::string forced = "/usr/sbin/diskutil unmount force /Volumes/Data";
    const std::vector<Case> cases = {
        {directory(2), exited(0, "Volume Data force-unmounted\n"), {"/sbin/umount"}, 1, kSucceeded, "Volume Data force-unmounted\n"},
        {failure(ENOTCONN), exited(0), {}, 0, kSucceeded, ""},  // a dead FUSE mount
        {failure(EIO), exited(0), {}, 0, kSucceeded, ""},
        {directory(2), exited(1, "Unmount failed\n"), {"/sbin/umount", "/bin/umount"}, 0, kSucceeded, "Unmount failed\n"},
        {directory(2), exited(1, "Unmount failed\n"), {"/usr/bin/umount", "/bin/umount"}, 0, kSucceeded, "Unmount failed\n"},
        {directory(2), exited(1, "Unmount failed\n"), {"/bin/umount"}, 0, kSucceeded, "Unmount failed\n"},
        {directory(2), notStarted("could not start /usr/sbin/diskutil"), {"/usr/bin/umount"}, 32, kFailed,
         "could not start /usr/sbin/diskutil\numount: not mounted\ndrivelark-mount: could not unmount /Volumes/Data\n"},
        {directory(2), exited(1, "Unmount failed\n"), {}, 0, kFailed,
         "Unmount failed\ndrivelark-mount: could not unmount /Volumes/Data\n"},
    };
    for (const Case& c : cases) {
        HelperMachine machine;
        machine.system.files["/Volumes/Data"] = c.mountPoint;
        machine.platform.processes.answer(kDiskutil, {"unmount", "force", "/Volumes/Data"}, c.diskutil);
        for (const char* umount : c.umounts) {
            machine.system.files[umount] = regularFile();
            machine.platform.processes.answer(umount, {"-f", "/Volumes/Data"},
                                              exited(c.umountStatus, c.umountStatus == 0 ? "" : "umount: not mounted\n"));
        }
        Outcome outcome = runUnmount(machine.system, "/Volumes/Data");
        EXPECT_EQ((std::pair{outcome.status, outcome.text}), (std::pair{c.status, c.text})) << c.diskutil.output;
        std::vector<std::string> expected{forced};
        if ((!c.diskutil.launched || c.diskutil.status != 0) && !c.umounts.empty()) expected.push_back(std::string(c.umounts[0]) + " -f /Volumes/Data");
        EXPECT_EQ(machine.programsRun(), expected);
    }
    HelperMachine machine;
    machine.system.files["/Volumes/Data"] = symbolicLink();
    expectRefusal(runUnmount(machine.system, "/Volumes/Data"), "/Volumes/Data is a symbolic link");
    EXPECT_TRUE(machine.programsRun().empty());
}

}  // namespace
}  // namespace drivelark::helper
