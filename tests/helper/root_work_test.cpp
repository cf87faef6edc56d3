// The helper tool's mount and fix on a modelled machine: what they refuse before they touch
// anything, and that a failure leaves the disk mounted as the system had it, with nothing of
// ntfs-3g's left mounted. Its unmount: diskutil's forced unmount, else the first umount there
// is; a dead mount is unmounted, a symbolic link never followed.

#include <gtest/gtest.h>

#include "helper/fix_command.h"
#include "helper/mount_command.h"
#include "helper/unmount_command.h"
#include "helper_scene.h"

using namespace drivelark;
using namespace drivelark::helper;
using namespace drivelark::helper::testing;
using namespace std::chrono_literals;

static Outcome mount(HelperMachine& machine) {
    return runMount(machine.system, Request{Subcommand::mount, "disk4s1", "/Volumes/Data", "Data"});
}

TEST(RootWorkTest, MountAndFixRefuseBeforeTouchingAnythingAndFailuresPutTheSystemsMountBack) {
    struct Case {
        const char* what;
        const char* tool;  // ntfs-3g: mount; ntfsfix: fix
        std::function<void(HelperMachine&)> scene;
        int status;
        std::string says;  // part of the output
        bool touched;      // the system's mount was taken away at some point
        bool toolRan;
    };
    const std::vector<Case> cases = {
        {"read-write", kNtfs3g, [](HelperMachine&) {}, kSucceeded, "(Read-Write,", true, true},
        {"not mounted before", kNtfs3g, [](HelperMachine& m) { m.mountSystem(false); }, kSucceeded, "", false, true},
        {"a folder with something in it", kNtfs3g,
         [](HelperMachine& m) {
             m.mountSystem(false);
             m.system.files["/Volumes/Data"] = directory(kVolumesDevice);
             m.system.files["/Volumes/Data/keep.txt"] = regularFile(501);
         },
         kRefused, "is a folder that is not empty", false, false},
        {"/Volumes a link", kNtfs3g, [](HelperMachine& m) { m.system.files["/Volumes"] = symbolicLink(); }, kRefused,
         "/Volumes is not a folder that root owns", false, false},
        {"programs cannot be listed", kNtfs3g, [](HelperMachine& m) { m.runningPrograms = exited(1, "ps: no\n"); },
         kFailed, "cannot list the running programs", false, false},
        {"no mount table", kNtfs3g, [](HelperMachine& m) { m.mountTableReadable = false; }, kFailed,
         "cannot read the mount table", false, false},
        {"the system keeps its mount", kNtfs3g, [](HelperMachine& m) { m.systemUnmounts = false; }, kFailed,
         "could not unmount /dev/disk4s1", true, false},
        {"fall-back words in any case", kNtfs3g, [](HelperMachine& m) { m.ntfs3g = exited(0, "(READ-ONLY)\n"); },
         kFailed, "read-only instead", true, true},
        {"mounted read-only without saying so", kNtfs3g, [](HelperMachine& m) { m.system.mode = VolumeMode{0, true}; },
         kFailed, "/Volumes/Data was mounted read-only", true, true},
        {"stopped at its time limit, having mounted", kNtfs3g,
         [](HelperMachine& m) { m.ntfs3g = exited(137), m.ntfs3g.timedOut = true; }, kFailed,
         "ntfs-3g did not finish within 60 s", true, true},
        {"stopped at its time limit, its mount stuck", kNtfs3g,
         [](HelperMachine& m) { m.ntfs3g = exited(137), m.ntfs3g.timedOut = true, m.fuseUnmounts = false; }, kFailed,
         "could not unmount /Volumes/Data again", true, true},
        {"nothing appears", kNtfs3g, [](HelperMachine& m) { m.ntfs3gMounts = false; }, kFailed,
         "nothing was mounted at /Volumes/Data within 10 seconds", true, true},

        {"fix, not mounted", kNtfsfix, [](HelperMachine& m) { m.mountSystem(false); }, kSucceeded,
         "processed successfully", false, true},
        {"ntfsfix fails", kNtfsfix, [](HelperMachine& m) { m.ntfsfix = exited(1, "Refusing to operate.\n"); }, kFailed,
         "again as the system had it", true, true},
        {"probe cannot run: fail closed", kNtfsfix, [](HelperMachine& m) { m.probe = exited(127, "not found\n"); },
         kFailed, "cannot tell whether Windows is hibernated", true, false},
        {"mounted some other way", kNtfsfix, [](HelperMachine& m) { m.systemMountOptions = "msdos, local"; }, kRefused,
         "is mounted at /Volumes/Data; eject it first", false, false},
        {"locked by another program", kNtfsfix, [](HelperMachine& m) { m.system.locks["/dev/disk4s1"] = {0, true}; },
         kRefused, "held open by another program", true, false},
        {"no lock information on this system", kNtfsfix,
         [](HelperMachine& m) { m.system.locks["/dev/disk4s1"] = {ENOTSUP, false}; }, kSucceeded,
         "processed successfully", true, true},
        {"untrusted ntfsfix", kNtfsfix, [](HelperMachine& m) { m.system.files[kNtfsfix] = regularFile(501); }, kRefused,
         "is not a file only root can change", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HelperMachine machine;
        c.scene(machine);
        const bool mounting = c.tool == kNtfs3g, mountedBefore = machine.systemMount;
        Outcome outcome = mounting ? mount(machine) : runFix(machine.system, "disk4s1");
        EXPECT_EQ(outcome.status, c.status) << outcome.text;
        EXPECT_NE(outcome.text.find(c.says), std::string::npos) << outcome.text;
        const auto& calls = machine.platform.processes.calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), ProgramCall{kDiskutil, {"unmount", "force", "disk4s1"}}),
                  c.touched);
        EXPECT_EQ(machine.platform.processes.callsOf(c.tool).empty(), !c.toolRan);
        EXPECT_EQ(machine.systemMount, mountedBefore && c.status != kSucceeded);
        EXPECT_EQ(machine.fuseMounted, mounting && (c.status == kSucceeded || !machine.fuseUnmounts));
        auto& touched = machine.system.touched;
        EXPECT_TRUE(c.status != kRefused || !touched.contains("mkdir"));
        EXPECT_TRUE(c.status == kSucceeded || touched["mkdir"].size() == touched["rmdir"].size());  // as found
        // ntfs-3g's own words come first: the application classifies failures by them.
        EXPECT_TRUE(!mounting || !c.toolRan || outcome.text.starts_with(machine.ntfs3g.output)) << outcome.text;
    }
}

// The ntfs-3g of a volume ejected a moment ago ends once it has written the volume back; a
// FUSE-T mount may show up only a while after ntfs-3g returns.
TEST(RootWorkTest, WaitsForTheNtfs3gOfAnEjectedVolumeAndForTheMountToAppear) {
    HelperMachine machine;
    int looks = 0;
    machine.platform.processes.answerAll(kPs, [&](const ProgramCall&) {
        return ++looks <= 3 ? exited(0, "  88 /usr/local/bin/ntfs-3g /dev/disk4s1 /Volumes/Data -o volname=Data\n")
                            : exited(0, "    1 /sbin/launchd\n");
    });
    EXPECT_EQ(mount(machine).status, kSucceeded);
    EXPECT_EQ(machine.system.paused, 300ms);
    HelperMachine late;
    late.ntfs3gMounts = false;
    EXPECT_EQ(mount(late).status, kFailed);
    EXPECT_EQ(late.system.paused, 10s);
}

TEST(UnmountCommandTest, DiskutilThenTheFirstUmountThatExists) {
    struct Case {
        FileInfo mountPoint;
        ProgramRun diskutil;
        std::vector<std::string> umounts;  // present, in the order of the search
        int umountStatus;
        int status;
        std::string text;
    };
    const ProgramRun refused = exited(1, "Unmount failed\n");
    const std::vector<Case> cases = {
        {directory(2), exited(0, "Volume Data force-unmounted\n"), {"/sbin/umount"}, 1, kSucceeded,
         "Volume Data force-unmounted\n"},
        {failure(ENOTCONN), exited(0), {}, 0, kSucceeded, ""},  // a dead FUSE mount
        {directory(2), refused, {"/sbin/umount", "/usr/bin/umount"}, 0, kSucceeded, "Unmount failed\n"},
        {directory(2), refused, {"/usr/bin/umount", "/bin/umount"}, 0, kSucceeded, "Unmount failed\n"},
        {directory(2), refused, {"/bin/umount"}, 0, kSucceeded, "Unmount failed\n"},
        {directory(2), notStarted("could not start /usr/sbin/diskutil"), {"/usr/bin/umount"}, 32, kFailed,
         "could not start /usr/sbin/diskutil\numount: not mounted\ndrivelark-mount: could not unmount /Volumes/Data\n"},
        {directory(2), refused, {}, 0, kFailed, "Unmount failed\ndrivelark-mount: could not unmount /Volumes/Data\n"},
    };
    for (const Case& c : cases) {
        HelperMachine machine;
        machine.system.files["/Volumes/Data"] = c.mountPoint;
        machine.platform.processes.answer(kDiskutil, {"unmount", "force", "/Volumes/Data"}, c.diskutil);
        for (const std::string& umount : c.umounts) {
            machine.system.files[umount] = regularFile();
            machine.platform.processes.answer(umount, {"-f", "/Volumes/Data"},
                                              exited(c.umountStatus, c.umountStatus ? "umount: not mounted\n" : ""));
        }
        Outcome outcome = runUnmount(machine.system, "/Volumes/Data");
        EXPECT_EQ((std::pair{outcome.status, outcome.text}), (std::pair{c.status, c.text})) << c.diskutil.output;
        std::vector<std::string> expected{"/usr/sbin/diskutil unmount force /Volumes/Data"};
        if ((!c.diskutil.launched || c.diskutil.status != 0) && !c.umounts.empty())
            expected.push_back(c.umounts[0] + " -f /Volumes/Data");
        EXPECT_EQ(machine.programsRun(), expected);
    }
    HelperMachine machine;
    machine.system.files["/Volumes/Data"] = symbolicLink();
    expectRefusal(runUnmount(machine.system, "/Volumes/Data"), "/Volumes/Data is a symbolic link");
    EXPECT_TRUE(machine.programsRun().empty());
}
