// The helper tool's mount, fix and unmount on a modelled Mac: what they refuse before they touch
// anything, the volume checked again at the last moment, markers decided by the tool, failures
// that put the system's mount back unless ntfs-3g's could not be taken away, and every run within
// its budget. Unmount acts only on ntfs-3g's own mounts, never looks into the mount point, and
// ends an ntfs-3g that outlives its mount.

#include <gtest/gtest.h>

#include "helper/helper_commands.h"
#include "helper_scene.h"

using namespace drivelark;
using namespace drivelark::helper;
using namespace drivelark::helper::testing;
using Scene = std::function<void(HelperMachine&)>;

namespace {

const std::string kOtherVolume = description("0B0B0B0B-0000-4000-8000-000000000001");
const std::string kNtfs3gLine =
    "/usr/local/bin/ntfs-3g /dev/disk4s1 /Volumes/Data -o volname=Data,local,noowners,noatime";

// Which marker lines an output holds, as one text ("HWUV" for all four).
std::string markers(const std::string& text) {
    using namespace HelperProtocol;
    std::string found;
    for (auto [letter, marker] : {std::pair{'H', kHibernated}, {'W', kWriteDenied}, {'U', kUnsafeState},
                                  {'V', kVolumeChangedMarker}})
        if (hasMarkerLine(text, marker)) found += letter;
    return found;
}

bool touchedBelow(FakeHelperSystem& system, const std::string& mountPoint) {
    for (const char* call : {"lstat", "statvfs"})
        for (const std::string& path : system.touched[call])
            if (path == mountPoint || path.starts_with(mountPoint + "/")) return true;
    return false;
}

}  // namespace
TEST(RootWorkTest, MountAndFixActOnlyOnTheVolumeDecidedForAndPutTheSystemsMountBack) {
    struct Case {
        const char* what;
        bool mounting;  // else fix
        Scene scene;
        int status;
        std::string says, markers;  // part of the output; its marker lines
        bool unmounted, toolRan;    // the system's mount was taken away; ntfs-3g or ntfsfix ran
    };
    const std::vector<Case> cases = {
        {"read-write", true, [](HelperMachine&) {}, kSucceeded, "", "", true, true},
        {"not mounted before", true, [](HelperMachine& m) { m.systemMount = false; }, kSucceeded, "", "", false, true},
        {"a folder with something in it", true,
         [](HelperMachine& m) {
             m.systemMount = false;
             m.system.files["/Volumes/Data"] = directory(kVolumesDevice);
             m.system.files["/Volumes/Data/keep.txt"] = regularFile(501);
         },
         kRefused, "is a folder that is not empty", "", false, false},
        {"another volume at the place", true,
         [](HelperMachine& m) {
             m.systemMount = false;
             m.otherMounts = {"/dev/disk5s1 on /Volumes/Data (msdos, local, nodev, nosuid, noowners)"};
         },
         kRefused, "another volume is mounted at /Volumes/Data", "", false, false},
        {"mounted twice", true,
         [](HelperMachine& m) { m.otherMounts = {"/dev/disk4s1 on /Volumes/Data 1 (ntfs, local, read-only)"}; },
         kRefused, "other than by the system's", "", false, false},
        {"another volume at the last look", true,
         [](HelperMachine& m) { m.descriptions = {m.descriptions[0], kOtherVolume}; }, kVolumeChanged,
         "nothing was changed", "V", false, false},
        {"no description", true, [](HelperMachine& m) { m.descriptions = {"Could not find disk: disk4s1\n"}; }, kFailed,
         "cannot read the disk utility's description of disk4s1", "", false, false},
        {"the system keeps its mount", true, [](HelperMachine& m) { m.systemUnmounts = false; }, kFailed,
         "could not unmount /dev/disk4s1", "", true, false},
        {"raw writes refused", true, [](HelperMachine& m) { m.system.writeError = EPERM; }, kFailed,
         "refuses to open /dev/rdisk4s1 for writing", "W", true, false},
        {"fell back to read-only", true, [](HelperMachine& m) { m.fuseReadOnly = true; }, kFailed,
         "ntfs-3g mounted /Volumes/Data read-only", "U", true, true},
        {"fell back to read-only, hibernated", true,
         [](HelperMachine& m) { m.fuseReadOnly = true, m.probe = exited(14, "Windows is hibernated\n"); }, kFailed,
         "ntfs-3g mounted /Volumes/Data read-only", "H", true, true},
        {"read-only without saying so", true, [](HelperMachine& m) { m.system.mode = VolumeMode{0, true}; }, kFailed,
         "read-only", "U", true, true},
        {"writability unknown", true, [](HelperMachine& m) { m.system.mode = VolumeMode{EIO, false}; }, kFailed,
         "cannot tell whether /Volumes/Data is writable", "", true, true},
        {"stopped at its time limit, having mounted", true, [](HelperMachine& m) { m.ntfs3g = timedOut(); }, kFailed,
         "did not finish in time", "", true, true},
        {"stopped at its time limit, its mount stuck", true,
         [](HelperMachine& m) { m.ntfs3g = timedOut(), m.fuseUnmounts = false; }, kFailed,
         "is not mounted again as the system had it", "", true, true},
        {"nothing appears", true, [](HelperMachine& m) { m.ntfs3gMounts = false; }, kFailed,
         "nothing was mounted at /Volumes/Data within 10 seconds", "", true, true},

        {"fix", false, [](HelperMachine&) {}, kSucceeded, "processed successfully", "", true, true},
        {"fix, not mounted", false, [](HelperMachine& m) { m.systemMount = false; }, kSucceeded, "", "", false, true},
        {"fix, fast restart", false,
         [](HelperMachine& m) { m.probe = exited(14, "Metadata kept in Windows cache, refused to mount.\n"); },
         kSucceeded, "processed successfully", "U", true, true},
        {"fix, hibernated", false, [](HelperMachine& m) { m.probe = exited(14, "Windows is hibernated\n"); }, kFailed,
         "Windows was hibernated on this volume", "H", true, false},
        {"fix, corrupt", false, [](HelperMachine& m) { m.probe = exited(13); }, kFailed, "is damaged", "", true, false},
        {"fix, another volume after the unmount", false,
         [](HelperMachine& m) { m.descriptions = {m.descriptions[0], m.descriptions[0], kOtherVolume}; },
         kVolumeChanged, "nothing was changed", "V", true, false},
        {"fix, ntfsfix fails", false, [](HelperMachine& m) { m.ntfsfix = exited(1, "Refusing to operate.\n"); },
         kFailed, "again as the system had it", "", true, true},
        {"fix, mounted some other way", false, [](HelperMachine& m) { m.systemMountOptions = "ntfs, local"; },
         kRefused, "eject it first", "", false, false},
        {"fix, locked by another program", false,
         [](HelperMachine& m) { m.system.locks["/dev/disk4s1"] = {0, true}; }, kRefused,
         "held open by another program", "", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HelperMachine machine;
        c.scene(machine);
        const bool mountedBefore = machine.systemMount;
        Outcome outcome = runHelper(machine.system, c.mounting ? std::vector<std::string>{"mount", "disk4s1",
                                                                                          "/Volumes/Data", "Data",
                                                                                          kIdentity}
                                                               : std::vector<std::string>{"fix", "disk4s1", kIdentity});
        EXPECT_EQ(outcome.status, c.status) << outcome.text;
        EXPECT_NE(outcome.text.find(c.says), std::string::npos) << outcome.text;
        EXPECT_EQ(markers(outcome.text), c.markers) << outcome.text;
        EXPECT_EQ(machine.runsOf("/usr/sbin/diskutil unmount force disk4s1") > 0, c.unmounted);
        EXPECT_EQ(machine.runsOf(c.mounting ? kNtfs3g : kNtfsfix) > 0, c.toolRan);
        // Mounted read-write, or as found; never mounted twice.
        const bool ntfs3gLeft = !machine.fuseUnmounts && machine.runsOf(kNtfs3g) > 0;
        EXPECT_EQ(machine.systemMount, mountedBefore && c.status != kSucceeded && !ntfs3gLeft);
        EXPECT_EQ(machine.fuseMount.empty(), !c.mounting || (c.status != kSucceeded && !ntfs3gLeft));
        auto& touched = machine.system.touched;
        EXPECT_TRUE(c.status != kRefused || !touched.contains("mkdir"));
        EXPECT_TRUE(c.status == kSucceeded || touched["mkdir"].size() == touched["rmdir"].size() + ntfs3gLeft);
        EXPECT_LE(machine.system.elapsed, c.mounting ? HelperProtocol::kMountBudget : HelperProtocol::kFixBudget);
    }
}

// A healthy ntfs-3g ends with its mount and gets no signal; one that hangs is ended, by the
// signals that reach it (a stopped one, the system's mounts, other drivers', shares and other
// programs' FUSE mounts: end to end). Nothing is touched that a forged line names.
TEST(RootWorkTest, UnmountRemovesOnlyNtfs3gsMountsAndEndsAnNtfs3gThatOutlivesIt) {
    using enum Signal;
    struct Case {
        const char* what;
        std::string mountPoint;
        Scene scene;
        int status;
        std::string says;
        bool unmounted;               // diskutil or umount ran
        std::vector<Signal> signals;  // sent to ntfs-3g
    };
    const std::vector<Case> cases = {
        {"ntfs-3g's mount", "/Volumes/Data", [](HelperMachine&) {}, kSucceeded, "Unmount successful", true, {}},
        {"its ntfs-3g gone", "/Volumes/Data", [](HelperMachine& m) { m.endNtfs3g(); }, kSucceeded, "", true, {}},
        {"its ntfs-3g hung", "/Volumes/Data", [](HelperMachine& m) { m.ntfs3gEndsWithMount = false, m.hung = true; },
         kSucceeded, "did not end with its mount; ending it", true, {resume, terminate, kill}},
        {"diskutil fails, umount does it", "/Volumes/Data",
         [](HelperMachine& m) {
             m.system.programs.answer(kDiskutil, {"unmount", "force", "/Volumes/Data"}, exited(1, "Unmount failed\n"));
         },
         kSucceeded, "Unmount failed", true, {}},
        {"neither can", "/Volumes/Data", [](HelperMachine& m) { m.fuseUnmounts = false; }, kFailed,
         "could not unmount /Volumes/Data", true, {}},
        {"nothing there", "/Volumes/Other", [](HelperMachine&) {}, kSucceeded, "nothing is mounted", false, {}},
        {"a user's ntfs-3g", "/Volumes/Data",
         [](HelperMachine& m) { m.endNtfs3g(), m.processes.push_back({kNtfs3gPid, 1, 501, kNtfs3gLine}); }, kRefused,
         "not ntfs-3g", false, {}},
        {"an ntfs-3g line forged in another's arguments", "/Volumes/Data",
         [](HelperMachine& m) {
             m.endNtfs3g(), m.ntfs3gEndsWithMount = false;
             m.processes.push_back({900, 1, 501, "/bin/echo\n808 1 0 " + kNtfs3gLine});
         },
         kRefused, "named by process 808", false, {}},
        {"the place listed twice", "/Volumes/Data",
         [](HelperMachine& m) { m.otherMounts = {"fuse-t:/Other on /Volumes/Data (nfs, nodev, nosuid)"}; }, kRefused,
         "is not an ntfs-3g mount", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HelperMachine machine;
        machine.systemMount = false;
        machine.mountNtfs3g("/Volumes/Data");
        c.scene(machine);
        const std::string fuseBefore = machine.fuseMount;
        Outcome outcome = runHelper(machine.system, {"unmount", c.mountPoint});
        EXPECT_EQ(outcome.status, c.status) << outcome.text;
        EXPECT_NE(outcome.text.find(c.says), std::string::npos) << outcome.text;
        EXPECT_EQ(machine.runsOf("/usr/sbin/diskutil unmount") + machine.runsOf(kUmount) > 0, c.unmounted);
        std::vector<std::pair<int, Signal>> signals;
        for (Signal signal : c.signals) signals.emplace_back(kNtfs3gPid, signal);
        EXPECT_EQ(machine.system.signals, signals);
        // Gone for good, ntfs-3g included; or left exactly as it was.
        if (c.unmounted && c.status == kSucceeded) {
            EXPECT_TRUE(machine.fuseMount.empty() && !machine.ntfs3gRuns());
        } else if (!c.unmounted) {
            EXPECT_EQ(machine.fuseMount, fuseBefore);
        }
        EXPECT_FALSE(touchedBelow(machine.system, c.mountPoint));
        EXPECT_LE(machine.system.elapsed, HelperProtocol::kUnmountBudget);
    }
}
