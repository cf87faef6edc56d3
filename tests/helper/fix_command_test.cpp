#include "helper/fix_command.h"

#include <gtest/gtest.h>

#include <functional>

#include "helper_scene.h"

namespace drivelark::helper {
namespace {

using namespace testing;
using drivelark::testing::ProgramCall;

const char* const kMountListing =
    "/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)\n"
    "devfs on /dev (devfs, local, nobrowse)\n";
const char* const kFixed =
    "Mounting volume... OK\nProcessing of $MFT and $MFTMirr completed successfully.\n"
    "NTFS partition /dev/disk4s1 was processed successfully.\n";

// disk4s1 is unmounted, not hibernated, and ntfsfix succeeds on it.
class FixMachine : public HelperMachine {
public:
    FixMachine() {
        diskutilInfo = exited(0, diskInfo("disk4s1"));
        platform.processes.answerAll(kMount, [this](const ProgramCall&) { return mountListing; });
        platform.processes.answerAll(kProbe, [this](const ProgramCall&) { return probe; });
        platform.processes.answerAll(kNtfsfix, [this](const ProgramCall&) { return ntfsfix; });
    }
    Outcome fix() { return runFix(system, "disk4s1"); }

    ProgramRun mountListing = exited(0, kMountListing);
    ProgramRun probe = exited(0);
    ProgramRun ntfsfix = exited(0, kFixed);
};

TEST(FixCommandTest, ClearsTheMarkOfAnUnmountedNtfsVolume) {
    FixMachine machine;
    Outcome outcome = machine.fix();
    EXPECT_EQ(outcome.status, kSucceeded);
    EXPECT_EQ(outcome.text, kFixed);
    EXPECT_EQ(machine.programsRun(), (std::vector<std::string>{
                                         "/usr/sbin/diskutil info -plist disk4s1",
                                         "/sbin/mount",
                                         std::string(kProbe) + " --readwrite /dev/disk4s1",
                                         std::string(kNtfsfix) + " -d /dev/disk4s1",
                                     }));
    EXPECT_EQ(machine.system.lockTested, std::vector<std::string>{"/dev/disk4s1"});
    EXPECT_EQ(machine.system.openedForWriting, std::vector<std::string>{"/dev/rdisk4s1"});
}

TEST(FixCommandTest, RefusesWithoutRunningNtfsfixWhenToolDeviceOrMountSayNo) {
    struct Case {
        const char* what;
        std::function<void(FixMachine&)> setUp;
    };
    for (const Case& wrong : std::vector<Case>{
             {"ntfsfix is not a file only root can change",
              [](FixMachine& m) { m.system.files[kNtfsfix] = regularFile(0, 0777); }},
             {"ntfs-3g.probe is not a file only root can change",
              [](FixMachine& m) { m.system.files[kProbe] = symbolicLink(); }},
             {"does not know disk4s1", [](FixMachine& m) { m.diskutilInfo = exited(1, diskutilUnknown("disk4s1")); }},
             {"does not hold an NTFS file system",
              [](FixMachine& m) {
                  m.system.devices["/dev/disk4s1"] = DeviceBytes{0, std::string(512, 'x')};
              }},
             {"/dev/disk4s1 is mounted at /Volumes/TOSHIBA EXT",
              [](FixMachine& m) { m.diskutilInfo = exited(0, diskInfo("disk4s1", "/Volumes/TOSHIBA EXT")); }},
             {"/dev/disk4s1 is mounted; unmount it first",
              [](FixMachine& m) {
                  m.mountListing = (exited(
                      0, std::string(kMountListing) +
                             "/dev/disk4s1 on /Volumes/Data (ntfs, local, nodev, nosuid, read-only, noowners)\n"));
              }},
             {"is held open by another program",
              [](FixMachine& m) {
                  m.system.locks["/dev/disk4s1"] = LockTest{0, true};
              }},
         }) {
        FixMachine machine;
        wrong.setUp(machine);
        expectRefusal(machine.fix(), wrong.what);
        EXPECT_FALSE(machine.ran(kNtfsfix)) << wrong.what;
        EXPECT_FALSE(machine.ran(kProbe)) << wrong.what;
    }
}

TEST(FixCommandTest, FailsWithoutRunningNtfsfixWhenItCannotTellTheDeviceIsFree) {
    struct Case {
        const char* what;
        std::function<void(FixMachine&)> setUp;
    };
    for (const Case& unknown : std::vector<Case>{
             {"cannot list the mounted file systems",
              [](FixMachine& m) { m.mountListing = notStarted("could not start /sbin/mount"); }},
             {"cannot list the mounted file systems",
              [](FixMachine& m) { m.mountListing = exited(1, "mount: oops\n"); }},
             {"cannot open /dev/disk4s1 to see whether it is in use",
              [](FixMachine& m) {
                  m.system.locks["/dev/disk4s1"] = LockTest{EBUSY, false};
              }},
             {"__WRITE_DENIED__ the system refuses to open /dev/disk4s1",
              [](FixMachine& m) {
                  m.system.locks["/dev/disk4s1"] = LockTest{EPERM, false};
              }},
             {"__WRITE_DENIED__ the system refuses to open /dev/rdisk4s1",
              [](FixMachine& m) { m.system.writeErrors["/dev/rdisk4s1"] = EACCES; }},
             {"cannot open /dev/rdisk4s1 for writing",
              [](FixMachine& m) { m.system.writeErrors["/dev/rdisk4s1"] = ENOENT; }},
         }) {
        FixMachine machine;
        unknown.setUp(machine);
        Outcome outcome = machine.fix();
        EXPECT_EQ(outcome.status, kFailed) << unknown.what;
        EXPECT_NE(outcome.text.find(unknown.what), std::string::npos) << outcome.text;
        EXPECT_FALSE(machine.ran(kNtfsfix)) << unknown.what;
    }
}

TEST(FixCommandTest, AHibernatedWindowsIsLeftAloneSoItCanResume) {
    FixMachine machine;
    machine.probe = exited(14, "Windows is hibernated, refused to mount.\n");
    Outcome outcome = machine.fix();
    EXPECT_EQ(outcome.status, kFailed);
    EXPECT_TRUE(outcome.text.starts_with("Windows is hibernated, refused to mount.\ndrivelark-mount: "))
        << outcome.text;
    EXPECT_NE(outcome.text.find("shut it down fully"), std::string::npos);
    EXPECT_FALSE(machine.ran(kNtfsfix));
}

TEST(FixCommandTest, AFastStartedOrUncleanVolumeIsFixed) {
    for (const ProgramRun& probed : {exited(14,
                                            "The disk contains an unclean file system (0, 0).\n"
                                            "Metadata kept in Windows cache, refused to mount.\n"),
                                     exited(15, "The disk contains an unclean file system (0, 0).\n")}) {
        FixMachine machine;
        machine.probe = probed;
        EXPECT_EQ(machine.fix().status, kSucceeded);
        EXPECT_TRUE(machine.ran(kNtfsfix));
    }
}

TEST(FixCommandTest, AProbeThatCannotRunStopsTheFix) {
    for (const ProgramRun& probed :
         {notStarted("could not start ntfs-3g.probe: Exec format error"), exited(126, ""), exited(128 + 11, "")}) {
        FixMachine machine;
        machine.probe = probed;
        Outcome outcome = machine.fix();
        EXPECT_EQ(outcome.status, kFailed);
        EXPECT_NE(outcome.text.find("cannot tell whether Windows is hibernated"), std::string::npos) << outcome.text;
        EXPECT_FALSE(machine.ran(kNtfsfix));
    }
}

TEST(FixCommandTest, NtfsfixFailingIsAFailureWithItsOwnWordsNever126Or127) {
    for (const ProgramRun& fixed :
         {exited(1, "Windows is hibernated, refused to mount.\nRemount failed: Operation not permitted\n"),
          exited(126, ""), notStarted("could not start ntfsfix: No such file")}) {
        FixMachine machine;
        machine.ntfsfix = fixed;
        Outcome outcome = machine.fix();
        EXPECT_EQ(outcome.status, kFailed);
        EXPECT_TRUE(outcome.text.starts_with(fixed.launched ? fixed.output : fixed.launchError)) << outcome.text;
        EXPECT_NE(outcome.text.find("drivelark-mount: ntfsfix could not clear the mark on /dev/disk4s1"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace drivelark::helper
