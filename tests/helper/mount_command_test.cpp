#include "helper/mount_command.h"

#include <gtest/gtest.h>

#include <functional>

#include "helper_scene.h"

namespace drivelark::helper {
namespace {

using namespace testing;
using drivelark::testing::ProgramCall;

constexpr const char* kMountPoint = "/Volumes/Data";
constexpr std::uint64_t kFuseDevice = 2;

const char* const kHibernatedOutput =
    "Windows is hibernated, refused to mount.\n"
    "Falling back to read-only mount because the NTFS partition is in an\n"
    "unsafe state. Please resume and shutdown Windows fully (no hibernation\n"
    "or fast restarting.)\n"
    "Could not mount read-write, trying read-only\n";

// The system has disk4s1 mounted read-only at /Volumes/Data; diskutil unmounts what is mounted
// and ntfs-3g mounts at once unless told otherwise.
class MountMachine : public HelperMachine {
public:
    MountMachine() {
        system.files[kMountPoint] = directory(3);  // the system's own mount
        otherDiskutil = [this](const std::vector<std::string>& arguments) { return diskutil(arguments); };
        platform.processes.answerAll(kNtfs3g, [this](const ProgramCall&) {
            if (mountsAfterPauses == 0) mounted(true);
            return ntfs3g;
        });
        system.onPause = [this] {
            if (++pauses == mountsAfterPauses) mounted(true);
        };
    }

    Outcome mount(const std::string& mountPoint = kMountPoint, const std::string& name = "Data") {
        return runMount(system, Request{Subcommand::mount, "disk4s1", mountPoint, name});
    }
    void mounted(bool yes) {
        system.files[kMountPoint] = directory(yes ? kFuseDevice : FakeHelperSystem::kVolumesDevice);
    }
    bool isMounted() {
        auto found = system.files.find(kMountPoint);
        return found != system.files.end() && found->second.device == kFuseDevice;
    }

    ProgramRun diskutil(const std::vector<std::string>& arguments) {
        if (arguments.size() >= 2 && arguments[0] == "unmount" && arguments.back() == "disk4s1") {
            if (!systemUnmounts) return exited(1, "Volume Data on disk4s1 failed to unmount: dissented by PID 632\n");
            if (auto found = system.files.find(kMountPoint); found != system.files.end() && found->second.device == 3)
                system.files.erase(found);
            return exited(0, "Volume Data on disk4s1 force-unmounted\n");
        }
        if (arguments == std::vector<std::string>{"unmount", "force", kMountPoint}) {
            if (!isMounted() || !fuseUnmounts) return exited(1, "Unmount failed for /Volumes/Data\n");
            mounted(false);
            return exited(0, "Volume Data on fuse-t:/Data force-unmounted\n");
        }
        return exited(1, "unexpected diskutil call\n");
    }

    ProgramRun ntfs3g = exited(0);
    int mountsAfterPauses = 0;  // 0: the mount is there when ntfs-3g returns; -1: never
    int pauses = 0;
    bool systemUnmounts = true;
    bool fuseUnmounts = true;
};

const std::string kNtfs3gCall =
    std::string(kNtfs3g) + " /dev/disk4s1 /Volumes/Data -o volname=Data,local,noowners,noatime";

TEST(MountCommandTest, ReplacesTheSystemsMountWithAReadWriteOne) {
    MountMachine machine;
    machine.ntfs3g = exited(0, "The disk contains an unclean file system (0, 0).\n");
    Outcome outcome = machine.mount();
    EXPECT_EQ(outcome.status, kSucceeded);
    EXPECT_EQ(outcome.text, "The disk contains an unclean file system (0, 0).\n");
    EXPECT_EQ(machine.programsRun(), (std::vector<std::string>{
                                         "/usr/sbin/diskutil info -plist disk4s1",
                                         "/usr/sbin/diskutil unmount force disk4s1",
                                         "/usr/sbin/diskutil unmount force /Volumes/Data",
                                         kNtfs3gCall,
                                     }));
    EXPECT_EQ(machine.system.created, std::vector<std::string>{kMountPoint});
    EXPECT_EQ(machine.system.openedForWriting, std::vector<std::string>{"/dev/rdisk4s1"});
    EXPECT_TRUE(machine.system.removed.empty());
    EXPECT_EQ(machine.system.modeAsked, std::vector<std::string>{kMountPoint});
    EXPECT_TRUE(machine.isMounted());
}

TEST(MountCommandTest, HostileNamesReachNtfs3gAsSingleArgumentsUnchanged) {
    MountMachine machine;
    std::string name = "Bob's \"x\" $(reboot); `id` -o allow_other";
    machine.system.files.erase(kMountPoint);
    machine.platform.processes.answerAll(kNtfs3g, [&](const ProgramCall&) {
        machine.system.files["/Volumes/" + name] = directory(kFuseDevice);
        return exited(0);
    });
    EXPECT_EQ(machine.mount("/Volumes/" + name, name).status, kSucceeded);
    auto calls = machine.platform.processes.callsOf(kNtfs3g);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].arguments, (std::vector<std::string>{"/dev/disk4s1", "/Volumes/" + name, "-o",
                                                            "volname=" + name + ",local,noowners,noatime"}));
}

TEST(MountCommandTest, RefusesBeforeTouchingTheSystemsMountWhenToolOrDeviceIsWrong) {
    std::string fat32(512, '\0');
    fat32.replace(3, 8, "MSDOS5.0");
    fat32[510] = '\x55', fat32[511] = '\xAA';
    struct Case {
        const char* what;
        std::function<void(MountMachine&)> setUp;
    };
    for (const Case& wrong : std::vector<Case>{
             {"is not a file only root can change",
              [](MountMachine& m) { m.system.files[kNtfs3g] = regularFile(501); }},
             {"is not a folder only root can change",
              [](MountMachine& m) { m.system.files[kToolFolder] = directory(1, 0, 0777); }},
             {"cannot inspect", [](MountMachine& m) { m.system.files.erase(kNtfs3g); }},
             {"does not know disk4s1", [](MountMachine& m) { m.diskutilInfo = exited(1, diskutilUnknown("disk4s1")); }},
             {"does not know disk4s1", [](MountMachine& m) { m.diskutilInfo = exited(0, diskInfo("disk5s1")); }},
             {"does not know disk4s1",
              [](MountMachine& m) { m.diskutilInfo = notStarted("could not start /usr/sbin/diskutil: No such file"); }},
             {"does not know disk4s1", [](MountMachine& m) { m.diskutilInfo = exited(0, "garbage"); }},
             {"does not hold an NTFS file system",
              [&](MountMachine& m) {
                  m.system.devices["/dev/disk4s1"] = DeviceBytes{0, fat32};
              }},
             {"does not hold an NTFS file system",
              [](MountMachine& m) {
                  m.system.devices["/dev/disk4s1"] = DeviceBytes{0, ""};
              }},
             {"cannot read the boot sector of /dev/disk4s1",
              [](MountMachine& m) {
                  m.system.devices["/dev/disk4s1"] = DeviceBytes{EACCES, ""};
              }},
         }) {
        MountMachine machine;
        wrong.setUp(machine);
        expectRefusal(machine.mount(), wrong.what);
        for (const std::string& call : machine.programsRun())
            EXPECT_EQ(call.find(" unmount"), std::string::npos) << wrong.what << ": " << call;
        EXPECT_FALSE(machine.ran(kNtfs3g));
        EXPECT_TRUE(machine.system.openedForWriting.empty());
        EXPECT_TRUE(machine.system.created.empty());
    }
}

TEST(MountCommandTest, FailedUnmountsOfTheSystemsMountAreNotFatal) {
    MountMachine machine;
    machine.systemUnmounts = false;
    machine.system.files.erase(kMountPoint);  // diskutil did not say so, but it is gone
    EXPECT_EQ(machine.mount().status, kSucceeded);
    EXPECT_TRUE(machine.ranWith(kDiskutil, {"unmount", "force", "disk4s1"}));
    EXPECT_TRUE(machine.ranWith(kDiskutil, {"unmount", "disk4s1"}));
}

TEST(MountCommandTest, RefusesAMountPointThatIsNotAnEmptyPlaceInVolumes) {
    struct Case {
        const char* what;
        FileInfo mountPoint;
    };
    for (const Case& wrong : {Case{"is a symbolic link", symbolicLink()}, Case{"is not a folder", regularFile()},
                              Case{"something is still mounted", directory(3)},
                              Case{"something may still be mounted", failure(ENOTCONN)}}) {
        MountMachine machine;
        machine.systemUnmounts = false;
        machine.system.files[kMountPoint] = wrong.mountPoint;
        expectRefusal(machine.mount(), wrong.what);
        EXPECT_FALSE(machine.ran(kNtfs3g));
        EXPECT_TRUE(machine.system.created.empty());
        EXPECT_TRUE(machine.system.removed.empty());
    }
}

TEST(MountCommandTest, AFolderThatCannotBeCreatedIsAFailure) {
    MountMachine machine;
    machine.system.makeDirectoryError = EROFS;
    Outcome outcome = machine.mount();
    EXPECT_EQ(outcome.status, kFailed);
    EXPECT_NE(outcome.text.find("cannot create /Volumes/Data"), std::string::npos) << outcome.text;
    EXPECT_FALSE(machine.ran(kNtfs3g));
}

TEST(MountCommandTest, AnExistingEmptyFolderIsUsedAndLeftInPlace) {
    MountMachine machine;
    machine.systemUnmounts = false;
    machine.mounted(false);
    machine.ntfs3g = exited(15, "The disk contains an unclean file system\n");
    EXPECT_EQ(machine.mount().status, kFailed);
    EXPECT_TRUE(machine.system.created.empty());
    EXPECT_TRUE(machine.system.removed.empty());
}

TEST(MountCommandTest, RawWritesTheSystemRefusesStopBeforeNtfs3g) {
    for (int error : {EPERM, EACCES, EROFS}) {
        MountMachine machine;
        machine.system.writeErrors["/dev/rdisk4s1"] = error;
        Outcome outcome = machine.mount();
        EXPECT_EQ(outcome.status, kFailed);
        EXPECT_NE(outcome.text.find("__WRITE_DENIED__"), std::string::npos) << outcome.text;
        EXPECT_NE(outcome.text.find("/dev/rdisk4s1"), std::string::npos) << outcome.text;
        EXPECT_FALSE(machine.ran(kNtfs3g));
        EXPECT_EQ(machine.system.removed, std::vector<std::string>{kMountPoint});
    }
    for (int error : {ENOENT, EBUSY, ENXIO}) {
        MountMachine machine;
        machine.system.writeErrors["/dev/rdisk4s1"] = error;
        Outcome outcome = machine.mount();
        EXPECT_EQ(outcome.status, kFailed);
        EXPECT_EQ(outcome.text.find("__WRITE_DENIED__"), std::string::npos) << outcome.text;
        EXPECT_NE(outcome.text.find("cannot open /dev/rdisk4s1 for writing"), std::string::npos) << outcome.text;
        EXPECT_FALSE(machine.ran(kNtfs3g));
    }
}

TEST(MountCommandTest, Ntfs3gFailingIsAFailureWithItsOwnWordsNever126Or127) {
    for (const ProgramRun& run :
         {exited(14, "Windows is hibernated, refused to mount.\n"),
          exited(16, "Mount is denied because the NTFS volume is already exclusively opened.\n"),
          exited(126, "permission denied\n"),
          notStarted("could not start /usr/local/lib/drivelark/bin/ntfs-3g: No such file"), exited(128 + 9, "")}) {
        MountMachine machine;
        machine.ntfs3g = run;
        machine.mountsAfterPauses = -1;
        Outcome outcome = machine.mount();
        EXPECT_EQ(outcome.status, kFailed);
        EXPECT_TRUE(outcome.text.starts_with(run.launched ? run.output : run.launchError)) << outcome.text;
        EXPECT_NE(outcome.text.find("drivelark-mount: ntfs-3g could not mount /dev/disk4s1"), std::string::npos);
        EXPECT_EQ(machine.system.removed, std::vector<std::string>{kMountPoint});
    }
}

TEST(MountCommandTest, AReadOnlyFallBackIsUnmountedAgainAndReported) {
    for (int appearsAfter : {0, 7}) {
        MountMachine machine;
        machine.ntfs3g = exited(0, kHibernatedOutput);
        machine.mountsAfterPauses = appearsAfter;
        Outcome outcome = machine.mount();
        EXPECT_EQ(outcome.status, kFailed);
        EXPECT_TRUE(outcome.text.starts_with(kHibernatedOutput)) << outcome.text;
        EXPECT_NE(outcome.text.find("read-only instead"), std::string::npos) << outcome.text;
        EXPECT_FALSE(machine.isMounted());
        EXPECT_EQ(machine.programsRun().back(), "/usr/sbin/diskutil unmount force /Volumes/Data");
        EXPECT_EQ(machine.system.removed, std::vector<std::string>{kMountPoint});
    }
}

TEST(MountCommandTest, AMountTheSystemReportsReadOnlyOrCannotDescribeIsUnmountedAgain) {
    for (const VolumeMode& mode : {VolumeMode{0, true}, VolumeMode{EIO, false}}) {
        MountMachine machine;
        machine.system.mode = mode;
        Outcome outcome = machine.mount();
        EXPECT_EQ(outcome.status, kFailed);
        EXPECT_NE(outcome.text.find(mode.readOnly ? "was mounted read-only"
                                                  : "cannot tell whether /Volumes/Data is writable"),
                  std::string::npos)
            << outcome.text;
        EXPECT_FALSE(machine.isMounted());
    }
}

TEST(MountCommandTest, WaitsUpToTenSecondsForTheMountToAppear) {
    MountMachine late;
    late.mountsAfterPauses = 30;
    EXPECT_EQ(late.mount().status, kSucceeded);
    EXPECT_EQ(late.system.paused, std::chrono::milliseconds(3000));

    MountMachine never;
    never.mountsAfterPauses = -1;
    never.ntfs3g = exited(0, "");
    Outcome outcome = never.mount();
    EXPECT_EQ(outcome.status, kFailed);
    EXPECT_EQ(never.system.paused, std::chrono::milliseconds(10000));
    EXPECT_EQ(outcome.text,
              "drivelark-mount: ntfs-3g returned, but nothing was mounted at /Volumes/Data within 10 seconds\n");
    // A mount that would still show up must not stay behind.
    EXPECT_TRUE(never.ranWith(kDiskutil, {"unmount", "force", kMountPoint}));
    EXPECT_EQ(never.system.removed, std::vector<std::string>{kMountPoint});
}

TEST(MountCommandTest, AReadOnlyMountThatWillNotGoAwayIsReported) {
    MountMachine machine;
    machine.ntfs3g = exited(0, kHibernatedOutput);
    machine.fuseUnmounts = false;
    machine.system.files["/usr/bin/umount"] = regularFile();
    machine.platform.processes.answer("/usr/bin/umount", {"-f", kMountPoint}, exited(32, "umount: target is busy.\n"));
    Outcome outcome = machine.mount();
    EXPECT_EQ(outcome.status, kFailed);
    EXPECT_NE(outcome.text.find("umount: target is busy."), std::string::npos) << outcome.text;
    EXPECT_NE(outcome.text.find("drivelark-mount: could not unmount /Volumes/Data again"), std::string::npos);
}

}  // namespace
}  // namespace drivelark::helper
