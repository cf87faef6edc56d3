// The helper tool's subcommands on a modelled Mac. Mount and fix refuse before they touch
// anything, check the volume again at the last moment, decide the markers themselves, and put
// the system's mount back after a failure unless ntfs-3g's could not be taken away. Unmount acts
// only on ntfs-3g's own mounts, never looks into the mount point, and ends an ntfs-3g that
// outlives its mount. Every run stays within its budget, under a watchdog just past it.
// Arguments of the wrong shape are refused before anything runs: the fuzz target
// helper_arguments replays a hostile set of them.

#include <gtest/gtest.h>

#include "helper/helper_commands.h"
#include "helper_scene.h"

using namespace drivelark;
using namespace drivelark::helper;
using namespace drivelark::helper::testing;
using Arguments = std::vector<std::string>;

// Which marker lines an output holds, as one text ("HWUV" for all four).
static std::string markers(const std::string& text) {
    using namespace HelperProtocol;
    std::string found;
    for (auto [letter, marker] : {std::pair{'H', kHibernated}, {'W', kWriteDenied}, {'U', kUnsafeState},
                                  {'V', kVolumeChangedMarker}})
        if (hasMarkerLine(text, marker)) found += letter;
    return found;
}

static const std::string kOtherVolume = description("0B0B0B0B-0000-4000-8000-000000000001");

// ntfs-3g's mount at /Volumes/Data instead of the system's.
static void served(HelperMachine& m) { m.systemMount = false, m.mountNtfs3g("/Volumes/Data"); }

TEST(RootWorkTest, EachSubcommandDoesItsWorkOnlyOnWhatIsProvablyItsOwn) {
    const Arguments mount = {"mount", "disk4s1", "/Volumes/Data", "Data", kIdentity};
    const Arguments fix = {"fix", "disk4s1", kIdentity}, unmount = {"unmount", "/Volumes/Data"};
    // What a row changes from the modelled Mac; the exit status, part of the output and its marker lines;
    // what the tool did (HelperMachine::actions).
    using Scene = void (*)(HelperMachine&);
    const std::vector<std::tuple<const char*, Arguments, Scene, int, std::string, std::string, std::string>> cases = {
        {"a folder with something in it", mount,
         [](auto& m) { m.systemMount = false, m.files["/Volumes/Data"] = m.files["/Volumes/Data/x"] = directory(); },
         kRefused, "not empty", "", ""},
        {"mounted twice", mount, [](auto& m) { m.otherMounts = {"/dev/disk4s1 on /Volumes/D (ntfs, read-only)"}; },
         kRefused, "eject it first", "", ""},
        {"another volume at the last look", mount, [](auto& m) { m.descriptions.push_back(kOtherVolume); },
         kVolumeChanged, "", "V", ""},
        {"no description", mount, [](auto& m) { m.descriptions = {"Could not find disk\n"}; }, kFailed, "", "", ""},
        {"the system keeps its mount", mount, [](auto& m) { m.systemUnmounts = false; }, kFailed, "", "", "uu"},
        {"listed read-only", mount, [](auto& m) { m.fuseReadOnly = true; }, kFailed, "read-only", "U", "undm"},
        {"listed read-only, hibernated", mount,
         [](auto& m) { m.fuseReadOnly = true, m.probe = exited(14, "Windows is hibernated\n"); }, kFailed, "read-only",
         "H", "undm"},
        {"read-only by statvfs", mount, [](auto& m) { m.readOnly = true; }, kFailed, "read-only", "U", "undm"},
        {"statvfs fails", mount, [](auto& m) { m.failing[{"statvfs", "/Volumes/Data"}] = EIO; }, kFailed, "cannot tell",
         "", "undm"},
        {"ntfs-3g killed at its limit", mount, [](auto& m) { m.ntfs3g = timedOut(); }, kFailed, "in time", "", "undm"},
        {"ntfs-3g killed, its mount stuck", mount, [](auto& m) { m.ntfs3g = timedOut(), m.fuseUnmounts = false; },
         kFailed, "not mounted again", "", "undx"},
        {"nothing appears", mount, [](auto& m) { m.ntfs3gMounts = false; }, kFailed, "within 10 seconds", "", "unm"},

        {"fix, not mounted", fix, [](auto& m) { m.systemMount = false; }, kSucceeded, "", "", "f"},
        {"fix, corrupt", fix, [](auto& m) { m.probe = exited(13); }, kFailed, "damaged", "", "um"},
        {"fix, another volume after the unmount", fix,
         [](auto& m) { m.descriptions = {m.descriptions[0], m.descriptions[0], kOtherVolume}; }, kVolumeChanged, "",
         "V", "um"},
        {"fix, ntfsfix fails", fix, [](auto& m) { m.ntfsfix = exited(1, "Refusing\n"); }, kFailed, "", "", "ufm"},
        {"fix, mounted some other way", fix,
         [](auto& m) { m.systemMount = false, m.otherMounts = {"/dev/disk4s1 on /Volumes/Data (ntfs, local)"}; },
         kRefused, "eject it first", "", ""},
        {"fix, locked by another program", fix, [](auto& m) { m.locked = true; }, kRefused, "held open", "", "um"},

        {"its ntfs-3g gone", unmount, [](auto& m) { served(m), m.endNtfs3g(); }, kSucceeded, "", "", "d"},
        {"its ntfs-3g hung", unmount, [](auto& m) { served(m), m.hung = true; }, kSucceeded, "ending it", "", "dCTK"},
        {"diskutil fails, umount does it", unmount,
         [](auto& m) { served(m), m.answers[{kDiskutil, {"unmount", "force", "/Volumes/Data"}}] = exited(1); },
         kSucceeded, "", "", "dx"},
        {"neither can", unmount, [](auto& m) { served(m), m.fuseUnmounts = false; }, kFailed, "", "", "dx"},
        {"nothing there", {"unmount", "/Volumes/Other"}, served, kSucceeded, "nothing is mounted", "", ""},
        {"the system's mount", unmount, [](auto&) {}, kRefused, "not an ntfs-3g mount", "", ""},
        {"a user's ntfs-3g", unmount, [](auto& m) { served(m), m.processes.back().owner = 501; }, kRefused, "808", "", ""},
        {"an ntfs-3g line forged in another's arguments", unmount,
         [](auto& m) { served(m), m.processes.back() = {900, 1, 501, "sh\n808 1 0 " + m.processes.back().arguments}; },
         kRefused, "process 808", "", ""},
        {"the place listed twice", unmount,
         [](auto& m) { served(m), m.otherMounts = {"fuse-t:/Other on /Volumes/Data (nfs, nodev, nosuid)"}; },
         kRefused, "not an ntfs-3g mount", "", ""},
        {"ps fails", unmount,
         [](auto& m) { served(m), m.answers[{kPs, kProcessListArguments}] = exited(1, "4242 1 0 x\n"); }, kFailed, "",
         "", ""},
        {"mount fails", unmount, [](auto& m) { served(m), m.answers[{kMount, {}}] = exited(1, "/dev/d on / (apfs)"); },
         kFailed, "", "", ""},

        {"selftest without root rights", {"selftest"}, [](auto& m) { m.root = false; }, kFailed, "", "", ""},
        {"keepalive, no read", {"keepalive", "disk4s1"}, [](auto& m) { m.failing[{"block", "/dev/rdisk4s1"}] = ENXIO; },
         kFailed, "/dev/rdisk4s1", "", ""},
        {"flush, failing", {"flush", "disk4s1"}, [](auto& m) { m.failing[{"flush", "/dev/disk4s1"}] = ENXIO; }, kFailed,
         "/dev/disk4s1", "", ""},
    };
    using namespace HelperProtocol;
    const std::map<std::string, std::chrono::seconds> budgets = {{"selftest", kSelftestBudget}, {"mount", kMountBudget},
        {"fix", kFixBudget}, {"unmount", kUnmountBudget}, {"keepalive", kKeepaliveBudget}, {"flush", kFlushBudget}};
    for (const auto& [what, arguments, scene, status, says, marks, actions] : cases) {
        SCOPED_TRACE(what);
        HelperMachine machine;
        scene(machine);
        Outcome outcome = runHelper(machine, arguments);
        EXPECT_TRUE(outcome.status == status && outcome.text.find(says) != std::string::npos)
            << outcome.status << " " << outcome.text;
        EXPECT_EQ(markers(outcome.text), marks) << outcome.text;
        EXPECT_EQ(machine.actions, actions);
        EXPECT_TRUE(machine.elapsed <= budgets.at(arguments[0]) && machine.watchdog == budgets.at(arguments[0]) + 1s);
        // Never mounted twice; nothing at a mount point looked into; /Volumes as it was after a failure.
        EXPECT_FALSE(machine.systemMount && !machine.fuseMount.empty());
        auto& touched = machine.touched;
        EXPECT_TRUE(arguments[0] != "unmount" || touched.empty());
        EXPECT_TRUE(status != kRefused || !touched.contains("mkdir"));
        const bool placeStays = actions.find('n') != std::string::npos && !machine.fuseMount.empty();
        EXPECT_TRUE(status == kSucceeded || touched["mkdir"].size() == touched["rmdir"].size() + placeStays);
    }
}
