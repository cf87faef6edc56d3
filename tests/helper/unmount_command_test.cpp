#include "helper/unmount_command.h"

#include <gtest/gtest.h>

#include "helper_scene.h"

namespace drivelark::helper {
namespace {

using namespace testing;

constexpr const char* kMountPoint = "/Volumes/Data";

class UnmountMachine : public HelperMachine {
public:
    UnmountMachine() { system.files[kMountPoint] = directory(2); }
    Outcome unmount() { return runUnmount(system, kMountPoint); }
    void diskutilAnswers(ProgramRun run) {
        platform.processes.answer(kDiskutil, {"unmount", "force", kMountPoint}, std::move(run));
    }
};

TEST(UnmountCommandTest, DiskutilsForcedUnmountIsEnough) {
    UnmountMachine machine;
    machine.diskutilAnswers(exited(0, "Volume Data on fuse-t:/Data force-unmounted\n"));
    Outcome outcome = machine.unmount();
    EXPECT_EQ(outcome.status, kSucceeded);
    EXPECT_EQ(outcome.text, "Volume Data on fuse-t:/Data force-unmounted\n");
    EXPECT_EQ(machine.programsRun(), std::vector<std::string>{"/usr/sbin/diskutil unmount force /Volumes/Data"});
}

TEST(UnmountCommandTest, WhenDiskutilFailsTheFirstUmountThatExistsIsTried) {
    for (const char* umount : {"/sbin/umount", "/usr/bin/umount", "/bin/umount"}) {
        UnmountMachine machine;
        machine.system.files[umount] = regularFile();
        machine.system.files["/bin/umount"] = regularFile();
        machine.diskutilAnswers(exited(1, "Unmount failed for /Volumes/Data\n"));
        machine.platform.processes.answer(umount, {"-f", kMountPoint}, exited(0));
        Outcome outcome = machine.unmount();
        EXPECT_EQ(outcome.status, kSucceeded) << umount;
        EXPECT_EQ(outcome.text, "Unmount failed for /Volumes/Data\n");
        EXPECT_EQ(machine.programsRun().back(), std::string(umount) + " -f /Volumes/Data");
        EXPECT_EQ(machine.programsRun().size(), 2u);
    }
}

TEST(UnmountCommandTest, FailsWhenNeitherWayUnmounts) {
    UnmountMachine machine;
    machine.system.files["/usr/bin/umount"] = regularFile();
    machine.diskutilAnswers(notStarted("could not start /usr/sbin/diskutil"));
    machine.platform.processes.answer("/usr/bin/umount", {"-f", kMountPoint}, exited(32, "umount: not mounted\n"));
    Outcome outcome = machine.unmount();
    EXPECT_EQ(outcome.status, kFailed);
    EXPECT_EQ(outcome.text,
              "could not start /usr/sbin/diskutil\numount: not mounted\n"
              "drivelark-mount: could not unmount /Volumes/Data\n");

    UnmountMachine noUmount;
    noUmount.diskutilAnswers(exited(1, "Unmount failed\n"));
    EXPECT_EQ(noUmount.unmount().status, kFailed);
}

TEST(UnmountCommandTest, ADeadMountIsUnmountedButASymbolicLinkIsRefused) {
    for (const FileInfo& dead : {failure(ENOTCONN), failure(EIO), failure(ENOENT)}) {
        UnmountMachine machine;
        machine.system.files[kMountPoint] = dead;
        machine.diskutilAnswers(exited(0, "Volume Data force-unmounted\n"));
        EXPECT_EQ(machine.unmount().status, kSucceeded);
    }
    UnmountMachine machine;
    machine.system.files[kMountPoint] = symbolicLink();
    expectRefusal(machine.unmount(), "/Volumes/Data is a symbolic link");
    EXPECT_TRUE(machine.programsRun().empty());
}

}  // namespace
}  // namespace drivelark::helper
