// The helper tool's mount and fix on a modelled machine: what it refuses before it touches
// anything, and that a failure leaves the disk mounted as the system had it.

#include <gtest/gtest.h>

#include "helper/fix_command.h"
#include "helper/mount_command.h"
#include "helper_scene.h"

namespace drivelark::helper {
namespace {

using namespace testing;
using drivelark::testing::ProgramCall;

constexpr std::uint64_t kSystemMountDevice = 3;
constexpr std::uint64_t kFuseDevice = 2;
const char* const kFallBack =
    "Windows is hibernated, refused to mount.\n"
    "Falling back to read-only mount because the NTFS partition is in an\n"
    "unsafe state. Please resume and shutdown Windows fully (no hibernation\n"
    "or fast restarting.)\n"
    "Could not mount read-write, trying read-only\n";

// disk4s1, an NTFS partition the system has mounted read-only at /Volumes/Data. The mount
// program, ps, diskutil and the ntfs-3g tools answer from this model.
class DiskMachine : public HelperMachine {
public:
    DiskMachine() {
        mountSystem();
        otherDiskutil = [this](const std::vector<std::string>& arguments) { return diskutil(arguments); };
        auto& processes = platform.processes;
        processes.answerAll(kMount, [this](const ProgramCall&) { return mountTable; });
        processes.answerAll(kPs, [this](const ProgramCall&) { return runningPrograms; });
        processes.answerAll(kNtfs3g, [this](const ProgramCall& call) {
            if (ntfs3gMounts && ntfs3g.status == 0) system.files[call.arguments.at(1)] = directory(kFuseDevice);
            fuseMountPoint = call.arguments.at(1);
            return ntfs3g;
        });
        processes.answerAll(kProbe, [this](const ProgramCall&) { return probe; });
        processes.answerAll(kNtfsfix, [this](const ProgramCall&) { return ntfsfix; });
    }

    Outcome mount(const std::string& mountPoint = "/Volumes/Data") {
        return runMount(system, Request{Subcommand::mount, "disk4s1", mountPoint, "Data"});
    }
    Outcome fix() { return runFix(system, "disk4s1"); }

    void mountSystem() {
        systemMount = true;
        system.files[systemMountPlace] = directory(kSystemMountDevice);
        mountTable = exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n/dev/disk4s1 on " + systemMountPlace +
                                   " (" + systemMountOptions + ")\n" + otherMounts);
    }
    void unmountSystem() {
        system.files.erase(systemMountPlace);
        systemMount = false;
        mountTable = exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n" + otherMounts);
    }

    ProgramRun diskutil(const std::vector<std::string>& arguments) {
        const std::vector<std::string> forced{"unmount", "force", "disk4s1"}, plain{"unmount", "disk4s1"};
        if (arguments == forced || arguments == plain) {
            if (!systemUnmounts || !systemMount) return exited(1, "Volume Data on disk4s1 failed to unmount\n");
            unmountSystem();
            return exited(0, "Volume Data on disk4s1 unmounted\n");
        }
        if (arguments == std::vector<std::string>{"mount", "disk4s1"}) {
            mountSystem();
            return exited(0, "Volume Data on disk4s1 mounted\n");
        }
        if (arguments.size() == 3 && arguments[1] == "force" && arguments[2] == fuseMountPoint) {
            system.files[fuseMountPoint] = directory(FakeHelperSystem::kVolumesDevice);
            return exited(0);
        }
        return exited(1, "unexpected diskutil call\n");
    }

    std::string systemMountPlace = "/Volumes/Data";
    std::string systemMountOptions = "ntfs, local, nodev, nosuid, read-only, noowners";
    std::string otherMounts;
    bool systemMount = false;
    bool systemUnmounts = true;
    ProgramRun mountTable;
    ProgramRun runningPrograms = exited(0, "    1 /sbin/launchd\n  321 /usr/libexec/diskarbitrationd\n");
    ProgramRun ntfs3g = exited(0);
    bool ntfs3gMounts = true;
    std::string fuseMountPoint;
    ProgramRun probe = exited(0);
    ProgramRun ntfsfix = exited(0, "NTFS partition /dev/disk4s1 was processed successfully.\n");
};

struct Expected {
    int status;
    std::string says;           // part of the output
    bool touched;               // the system's mount was taken away at some point
    bool systemMountAtEnd;      // the system's read-only mount is there afterwards
};

void check(DiskMachine& machine, const Outcome& outcome, const Expected& want) {
    EXPECT_EQ(outcome.status, want.status) << outcome.text;
    EXPECT_NE(outcome.text.find(want.says), std::string::npos) << outcome.text;
    EXPECT_EQ(machine.ranWith(kDiskutil, {"unmount", "force", "disk4s1"}), want.touched);
    EXPECT_EQ(machine.systemMount, want.systemMountAtEnd);
}

// The ntfs-3g of a volume ejected a moment ago ends once it has written the volume back.
TEST(MountCommandTest, WaitsForTheNtfs3gOfAnEjectedVolumeToEnd) {
    DiskMachine machine;
    int looks = 0;
    machine.platform.processes.answerAll(kPs, [&](const ProgramCall&) {
        return ++looks <= 3 ? exited(0, "  88 /usr/local/bin/ntfs-3g /dev/disk4s1 /Volumes/Data -o volname=Data\n")
                            : exited(0, "    1 /sbin/launchd\n");
    });
    check(machine, machine.mount(), {kSucceeded, "", true, false});
    EXPECT_EQ(machine.system.paused, std::chrono::milliseconds(300));
}

TEST(MountCommandTest, RefusesBeforeTouchingAnythingThatIsNotItsOwn) {
    struct Case {
        const char* what;
        std::function<void(DiskMachine&)> scene;
        Expected want;
    };
    const std::vector<Case> cases = {
        {"another disk mounted at the target",
         [](DiskMachine& m) {
             m.unmountSystem();
             m.system.files["/Volumes/Data"] = directory(7);
             m.systemMountPlace = "/Volumes/Data 1";
             m.otherMounts = "/dev/disk5s1 on /Volumes/Data (msdos, local)\n";
             m.mountSystem();
         },
         {kRefused, "another volume is mounted at /Volumes/Data", false, true}},
        {"an ntfs-3g mount at the target",
         [](DiskMachine& m) {
             m.unmountSystem();
             m.system.files["/Volumes/Data"] = directory(kFuseDevice);
             m.systemMountPlace = "/Volumes/Data 1";
             m.otherMounts = "fuse-t:/Data on /Volumes/Data (nfs, nodev, nosuid, mounted by alice)\n";
             m.mountSystem();
         },
         {kRefused, "another volume is mounted at", false, true}},
        {"a link in /Volumes", [](DiskMachine& m) { m.system.files["/Volumes/Data"] = symbolicLink(); },
         {kRefused, "is a symbolic link", false, true}},
        {"a folder with something in it",
         [](DiskMachine& m) {
             m.unmountSystem();
             m.system.files["/Volumes/Data"] = directory(FakeHelperSystem::kVolumesDevice);
             m.system.files["/Volumes/Data/keep.txt"] = regularFile(501);
         },
         {kRefused, "is a folder that is not empty", false, false}},
        {"/Volumes a link", [](DiskMachine& m) { m.system.files["/Volumes"] = symbolicLink(); },
         {kRefused, "/Volumes is not a folder that root owns", false, true}},
        {"ntfs-3g serves the device",
         [](DiskMachine& m) {
             m.runningPrograms = exited(0, "  88 /Library/PrivilegedHelperTools/com.drivelark.Drivelark/ntfs-3g "
                                           "/dev/disk4s1 /Volumes/Data -o volname=Data\n");
         },
         {kRefused, "/dev/disk4s1 is in use by ntfs-3g (process 88)", false, true}},
        {"programs cannot be listed", [](DiskMachine& m) { m.runningPrograms = exited(1, "ps: no\n"); },
         {kFailed, "cannot list the running programs", false, true}},
        {"no mount table", [](DiskMachine& m) { m.mountTable = exited(1, "mount: busy\n"); },
         {kFailed, "cannot read the mount table", false, true}},
        {"not NTFS", [](DiskMachine& m) { m.system.devices["/dev/disk4s1"] = DeviceBytes{0, std::string(512, 'x')}; },
         {kRefused, "does not hold an NTFS file system", false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DiskMachine machine;
        c.scene(machine);
        check(machine, machine.mount(), c.want);
        EXPECT_FALSE(machine.ran(kNtfs3g));
        EXPECT_TRUE(machine.system.created.empty());
    }
}

TEST(MountCommandTest, SucceedsOnlyWritableAndPutsTheSystemsMountBackOtherwise) {
    struct Case {
        const char* what;
        std::function<void(DiskMachine&)> scene;
        Expected want;
        bool ntfs3gRan;
    };
    const std::vector<Case> cases = {
        {"read-write", [](DiskMachine&) {}, {kSucceeded, "", true, false}, true},
        {"not mounted before", [](DiskMachine& m) { m.unmountSystem(); }, {kSucceeded, "", false, false}, true},
        {"own mount under another name",
         [](DiskMachine& m) {
             m.unmountSystem();
             m.systemMountPlace = "/Volumes/Data 1";
             m.mountSystem();
         },
         {kSucceeded, "", true, false}, true},
        {"hibernated: read-only fall-back",
         [](DiskMachine& m) { m.ntfs3g = exited(0, kFallBack); },
         {kFailed, "read-only instead", true, true}, true},
        {"fall-back words in any case", [](DiskMachine& m) { m.ntfs3g = exited(0, "Mounted (READ-ONLY)\n"); },
         {kFailed, "read-only instead", true, true}, true},
        {"mounted read-only without saying so",
         [](DiskMachine& m) { m.system.mode = VolumeMode{0, true}; },
         {kFailed, "/Volumes/Data was mounted read-only", true, true}, true},
        {"ntfs-3g refuses", [](DiskMachine& m) { m.ntfs3g = exited(14, "Windows is hibernated, refused to mount.\n"); },
         {kFailed, "again as the system had it", true, true}, true},
        {"nothing appears",
         [](DiskMachine& m) { m.ntfs3gMounts = false; },
         {kFailed, "nothing was mounted at /Volumes/Data within 10 seconds", true, true}, true},
        {"raw writes refused",
         [](DiskMachine& m) { m.system.writeErrors["/dev/rdisk4s1"] = EPERM; },
         {kFailed, "__WRITE_DENIED__", true, true}, false},
        {"the system keeps its mount",
         [](DiskMachine& m) { m.systemUnmounts = false; },
         {kFailed, "could not unmount /dev/disk4s1", true, true}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DiskMachine machine;
        c.scene(machine);
        const std::string target = machine.systemMountPlace;
        Outcome outcome = machine.mount(target);
        check(machine, outcome, c.want);
        EXPECT_EQ(machine.ran(kNtfs3g), c.ntfs3gRan);
        if (c.want.status == kSucceeded) {
            EXPECT_EQ(machine.system.files.at(target).device, kFuseDevice);
        } else if (c.ntfs3gRan) {
            // ntfs-3g's own words come first: the application classifies failures by them.
            EXPECT_EQ(outcome.text.rfind(machine.ntfs3g.output, 0), 0u);
        }
    }
}

TEST(MountCommandTest, HostileNamesReachNtfs3gAsSingleArgumentsUnchanged) {
    DiskMachine machine;
    std::string name = "Bob's \"x\" $(reboot); `id` -o allow_other";
    Outcome outcome = runMount(machine.system, Request{Subcommand::mount, "disk4s1", "/Volumes/" + name, name});
    EXPECT_EQ(outcome.status, kSucceeded) << outcome.text;
    EXPECT_EQ(machine.platform.processes.callsOf(kNtfs3g).at(0).arguments,
              (std::vector<std::string>{"/dev/disk4s1", "/Volumes/" + name, "-o",
                                        "volname=" + name + ",local,noowners,noatime"}));
}

TEST(FixCommandTest, RepairsOnlyWhatNoOneElseUsesAndPutsTheSystemsMountBack) {
    struct Case {
        const char* what;
        std::function<void(DiskMachine&)> scene;
        Expected want;
        bool ntfsfixRan;
    };
    const std::vector<Case> cases = {
        {"system's read-only mount", [](DiskMachine&) {}, {kSucceeded, "processed successfully", true, false}, true},
        {"not mounted", [](DiskMachine& m) { m.unmountSystem(); }, {kSucceeded, "processed successfully", false, false},
         true},
        {"ntfsfix fails",
         [](DiskMachine& m) { m.ntfsfix = exited(1, "Refusing to operate on read-write mounted device.\n"); },
         {kFailed, "again as the system had it", true, true}, true},
        {"hibernated", [](DiskMachine& m) { m.probe = exited(14, "Windows is hibernated, refused to mount.\n"); },
         {kFailed, "Windows was hibernated", true, true}, false},
        {"probe cannot run: fail closed", [](DiskMachine& m) { m.probe = exited(127, "not found\n"); },
         {kFailed, "cannot tell whether Windows is hibernated", true, true}, false},
        {"mounted some other way",
         [](DiskMachine& m) {
             m.systemMountOptions = "msdos, local";
             m.mountSystem();
         },
         {kRefused, "is mounted at /Volumes/Data; eject it first", false, true}, false},
        {"ntfs-3g serves it",
         [](DiskMachine& m) { m.runningPrograms = exited(0, "  88 ntfs-3g -o ro /dev/rdisk4s1 /Volumes/X\n"); },
         {kRefused, "in use by ntfs-3g", false, true}, false},
        {"locked by another program", [](DiskMachine& m) { m.system.locks["/dev/disk4s1"] = LockTest{0, true}; },
         {kRefused, "held open by another program", true, true}, false},
        {"no lock information on this system", [](DiskMachine& m) { m.system.locks["/dev/disk4s1"] = LockTest{ENOTSUP, false}; },
         {kSucceeded, "processed successfully", true, false}, true},
        {"raw writes refused", [](DiskMachine& m) { m.system.locks["/dev/disk4s1"] = LockTest{EACCES, false}; },
         {kFailed, "__WRITE_DENIED__", true, true}, false},
        {"untrusted ntfsfix", [](DiskMachine& m) { m.system.files[kNtfsfix] = regularFile(501); },
         {kRefused, "is not a file only root can change", false, true}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DiskMachine machine;
        c.scene(machine);
        check(machine, machine.fix(), c.want);
        EXPECT_EQ(machine.ran(kNtfsfix), c.ntfsfixRan);
    }
}

}  // namespace
}  // namespace drivelark::helper
