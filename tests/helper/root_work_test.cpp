// The helper tool's mount and fix on a modelled machine: what it refuses before it touches
// anything, and that a failure leaves the disk mounted as the system had it.

#include <gtest/gtest.h>

#include "helper/fix_command.h"
#include "helper/mount_command.h"
#include "helper_scene.h"

namespace drivelark::helper {
namespace {

using namespace testing;

constexpr std::uint64_t kSystemMountDevice = 3;
constexpr std::uint64_t kFuseDevice = 2;

// disk4s1, an NTFS partition the system has mounted read-only at /Volumes/Data. The mount
// program, ps, diskutil and the ntfs-3g tools answer from this model.
class DiskMachine : public HelperMachine {
public:
    DiskMachine() {
        mountSystem();
        auto& processes = platform.processes;
        processes.answerAll(kMount, [this](const ProgramCall&) {
            if (!mountTableReadable) return exited(1, "mount: busy\n");
            std::string system = systemMount ? "/dev/disk4s1 on " + systemMountPlace + " (" + systemMountOptions + ")\n" : "";
            return exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n" + system + otherMounts);
        });
        processes.answerAll(kPs, [this](const ProgramCall&) { return runningPrograms; });
        processes.answerAll(kDiskutil, [this](const ProgramCall& call) { return diskutil(call.arguments); });
        processes.answerAll(kNtfs3g, [this](const ProgramCall& call) {
            if (ntfs3gMounts && ntfs3g.status == 0) system.files[call.arguments.at(1)] = directory(kFuseDevice);
            return ntfs3g;
        });
        processes.answerAll(kProbe, [this](const ProgramCall&) { return probe; });
        processes.answerAll(kNtfsfix, [this](const ProgramCall&) { return ntfsfix; });
    }

    Outcome mount() { return runMount(system, Request{Subcommand::mount, "disk4s1", target, "Data"}); }
    Outcome fix() { return runFix(system, "disk4s1"); }

    void mountSystem() {
        systemMount = true;
        system.files[systemMountPlace] = directory(kSystemMountDevice);
    }
    void unmountSystem() {
        system.files.erase(systemMountPlace);
        systemMount = false;
    }
    ProgramRun diskutil(const std::vector<std::string>& arguments) {
        if (arguments == std::vector<std::string>{"unmount", "force", "disk4s1"} ||
            arguments == std::vector<std::string>{"unmount", "disk4s1"}) {
            if (!systemUnmounts || !systemMount) return exited(1, "Volume Data on disk4s1 failed to unmount\n");
            unmountSystem();
            return exited(0, "Volume Data on disk4s1 unmounted\n");
        }
        if (arguments == std::vector<std::string>{"mount", "disk4s1"}) {
            mountSystem();
            return exited(0, "Volume Data on disk4s1 mounted\n");
        }
        if (arguments.size() == 3 && arguments[2].starts_with("/Volumes/")) {  // the ntfs-3g mount forced off
            system.files[arguments[2]] = directory(FakeHelperSystem::kVolumesDevice);
            return exited(0);
        }
        return exited(1, "unexpected diskutil call\n");
    }

    std::string target = "/Volumes/Data", systemMountPlace = "/Volumes/Data";
    std::string systemMountOptions = "ntfs, local, nodev, nosuid, read-only, noowners";
    std::string otherMounts;
    bool systemMount = false, systemUnmounts = true, mountTableReadable = true, ntfs3gMounts = true;
    ProgramRun runningPrograms = exited(0, "    1 /sbin/launchd\n  321 /usr/libexec/diskarbitrationd\n");
    ProgramRun ntfs3g = exited(0);
    ProgramRun probe = exited(0);
    ProgramRun ntfsfix = exited(0, "NTFS partition /dev/disk4s1 was processed successfully.\n");
};

struct Case {
    const char* what;
    std::function<void(DiskMachine&)> scene;
    int status;
    std::string says;       // part of the output
    bool touched;           // the system's mount was taken away at some point
    bool systemMountAtEnd;  // the system's read-only mount is there afterwards
    bool toolRan;           // ntfs-3g, or ntfsfix
};

void check(const Case& c, DiskMachine& machine, const Outcome& outcome, const char* tool) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(outcome.status, c.status) << outcome.text;
    EXPECT_NE(outcome.text.find(c.says), std::string::npos) << outcome.text;
    const auto& calls = machine.platform.processes.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), ProgramCall{kDiskutil, {"unmount", "force", "disk4s1"}}), c.touched);
    EXPECT_EQ(machine.systemMount, c.systemMountAtEnd);
    EXPECT_EQ(machine.ran(tool), c.toolRan);
    EXPECT_TRUE(c.status != kRefused || machine.system.created.empty());
}

TEST(MountCommandTest, RefusesBeforeTouchingAnythingAndSucceedsOnlyWritable) {
    const std::vector<Case> cases = {
        {"read-write", [](DiskMachine&) {}, kSucceeded, "", true, false, true},
        {"not mounted before", [](DiskMachine& m) { m.unmountSystem(); }, kSucceeded, "", false, false, true},
        {"own mount under another name",
         [](DiskMachine& m) {
             m.unmountSystem();
             m.systemMountPlace = m.target = "/Volumes/Data 1";
             m.mountSystem();
         },
         kSucceeded, "", true, false, true},
        {"an ntfs-3g mount at the target",
         [](DiskMachine& m) {
             m.unmountSystem();
             m.system.files["/Volumes/Data"] = directory(kFuseDevice);
             m.otherMounts = "fuse-t:/Data on /Volumes/Data (nfs, nodev, nosuid, mounted by alice)\n";
             m.systemMountPlace = "/Volumes/Data 1";
             m.mountSystem();
         },
         kRefused, "another volume is mounted at /Volumes/Data", false, true, false},
        {"a folder with something in it",
         [](DiskMachine& m) {
             m.unmountSystem();
             m.system.files["/Volumes/Data"] = directory(FakeHelperSystem::kVolumesDevice);
             m.system.files["/Volumes/Data/keep.txt"] = regularFile(501);
         },
         kRefused, "is a folder that is not empty", false, false, false},
        {"/Volumes a link", [](DiskMachine& m) { m.system.files["/Volumes"] = symbolicLink(); }, kRefused,
         "/Volumes is not a folder that root owns", false, true, false},
        {"programs cannot be listed", [](DiskMachine& m) { m.runningPrograms = exited(1, "ps: no\n"); }, kFailed,
         "cannot list the running programs", false, true, false},
        {"no mount table", [](DiskMachine& m) { m.mountTableReadable = false; }, kFailed, "cannot read the mount table",
         false, true, false},
        {"the system keeps its mount", [](DiskMachine& m) { m.systemUnmounts = false; }, kFailed,
         "could not unmount /dev/disk4s1", true, true, false},
        {"fall-back words in any case", [](DiskMachine& m) { m.ntfs3g = exited(0, "Mounted (READ-ONLY)\n"); }, kFailed,
         "read-only instead", true, true, true},
        {"mounted read-only without saying so", [](DiskMachine& m) { m.system.mode = VolumeMode{0, true}; }, kFailed,
         "/Volumes/Data was mounted read-only", true, true, true},
        {"ntfs-3g refuses", [](DiskMachine& m) { m.ntfs3g = exited(14, "Windows is hibernated, refused to mount.\n"); },
         kFailed, "again as the system had it", true, true, true},
        {"nothing appears", [](DiskMachine& m) { m.ntfs3gMounts = false; }, kFailed,
         "nothing was mounted at /Volumes/Data within 10 seconds", true, true, true},
    };
    for (const Case& c : cases) {
        DiskMachine machine;
        c.scene(machine);
        Outcome outcome = machine.mount();
        check(c, machine, outcome, kNtfs3g);
        if (c.status == kSucceeded) {
            EXPECT_EQ(machine.system.files.at(machine.target).device, kFuseDevice) << c.what;
        } else if (c.toolRan) {  // ntfs-3g's own words come first: the application classifies failures by them
            EXPECT_EQ(outcome.text.rfind(machine.ntfs3g.output, 0), 0u) << c.what;
        }
    }
}

// The ntfs-3g of a volume ejected a moment ago ends once it has written the volume back.
TEST(MountCommandTest, WaitsForTheNtfs3gOfAnEjectedVolumeToEnd) {
    DiskMachine machine;
    int looks = 0;
    machine.platform.processes.answerAll(kPs, [&](const ProgramCall&) {
        return ++looks <= 3 ? exited(0, "  88 /usr/local/bin/ntfs-3g /dev/disk4s1 /Volumes/Data -o volname=Data\n")
                            : exited(0, "    1 /sbin/launchd\n");
    });
    EXPECT_EQ(machine.mount().status, kSucceeded);
    EXPECT_EQ(machine.system.paused, std::chrono::milliseconds(300));
}

TEST(FixCommandTest, RepairsOnlyWhatNoOneElseUsesAndPutsTheSystemsMountBack) {
    const std::vector<Case> cases = {
        {"system's read-only mount", [](DiskMachine&) {}, kSucceeded, "processed successfully", true, false, true},
        {"not mounted", [](DiskMachine& m) { m.unmountSystem(); }, kSucceeded, "processed successfully", false, false,
         true},
        {"ntfsfix fails", [](DiskMachine& m) { m.ntfsfix = exited(1, "Refusing to operate on read-write mounted device.\n"); },
         kFailed, "again as the system had it", true, true, true},
        {"probe cannot run: fail closed", [](DiskMachine& m) { m.probe = exited(127, "not found\n"); }, kFailed,
         "cannot tell whether Windows is hibernated", true, true, false},
        {"mounted some other way", [](DiskMachine& m) { m.systemMountOptions = "msdos, local"; },
         kRefused, "is mounted at /Volumes/Data; eject it first", false, true, false},
        {"locked by another program", [](DiskMachine& m) { m.system.locks["/dev/disk4s1"] = LockTest{0, true}; },
         kRefused, "held open by another program", true, true, false},
        {"no lock information on this system",
         [](DiskMachine& m) { m.system.locks["/dev/disk4s1"] = LockTest{ENOTSUP, false}; }, kSucceeded,
         "processed successfully", true, false, true},
        {"untrusted ntfsfix", [](DiskMachine& m) { m.system.files[kNtfsfix] = regularFile(501); }, kRefused,
         "is not a file only root can change", false, true, false},
    };
    for (const Case& c : cases) {
        DiskMachine machine;
        c.scene(machine);
        check(c, machine, machine.fix(), kNtfsfix);
    }
}

}  // namespace
}  // namespace drivelark::helper
