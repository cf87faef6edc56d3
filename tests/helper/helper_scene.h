#pragma once

// The helper tool's world in tests: a double of HelperSystem (a small table of files and devices,
// its programs answered by a model of the Mac, a clock that moves only when the tool pauses or a
// program runs into its time limit), recording every path it looks at, creates, removes, reads,
// locks or opens for writing, and every signal it sends. Tests change one thing at a time from a
// machine on which the work can succeed.

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "doubles/scripted_processes.h"
#include "helper/outcome.h"
#include "discovery/process_list.h"
#include "platform/helper_system.h"

namespace drivelark::helper::testing {

using drivelark::testing::exited;
using drivelark::testing::notStarted;
using drivelark::testing::ProgramCall;
using namespace std::chrono_literals;

inline constexpr const char* kToolFolder = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark";
inline constexpr const char* kNtfs3g = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/ntfs-3g";
inline constexpr const char* kNtfsfix = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/ntfsfix";
inline constexpr const char* kProbe = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/ntfs-3g.probe";
inline constexpr const char* kDiskutil = "/usr/sbin/diskutil";
inline constexpr const char* kMount = "/sbin/mount";
inline constexpr const char* kPs = "/bin/ps";
inline constexpr const char* kUmount = "/sbin/umount";
inline constexpr std::uint64_t kVolumesDevice = 1;
inline constexpr int kOwnPid = 4242, kNtfs3gPid = 808;
inline const std::string kIdentity = "volume:5C6D2B1E-8F04-4F0A-9E43-0D7A1B2C3D4E";

// FileInfo{error, isDirectory, isRegularFile, isSymbolicLink, device, owner, mode}
inline FileInfo directory(std::uint64_t device, std::uint32_t owner = 0, std::uint32_t mode = 0755) {
    return FileInfo{0, true, false, false, device, owner, mode};
}
inline FileInfo regularFile(std::uint32_t owner = 0, std::uint32_t mode = 0755) {
    return FileInfo{0, false, true, false, 1, owner, mode};
}
inline FileInfo symbolicLink() { return FileInfo{0, false, false, true, 1, 0, 0777}; }
inline FileInfo failure(int error) { return FileInfo{error, false, false, false, 0, 0, 0}; }
inline ProgramRun timedOut() { return ProgramRun{true, "", 137, "", true}; }

// The first sector of a volume made by mkntfs, reduced to what identifies it.
inline std::string ntfsBootSector() {
    std::string sector(512, '\0');
    sector.replace(0, 11, "\xEB\x52\x90NTFS    ");
    sector[510] = '\x55', sector[511] = '\xAA';
    return sector;
}

// What "diskutil info -plist <device>" says of a volume with this UUID.
inline std::string description(const std::string& volumeUUID, const std::string& device = "disk4s1") {
    return "<plist version=\"1.0\"><dict><key>DeviceIdentifier</key><string>" + device +
           "</string><key>Size</key><integer>209715200</integer><key>VolumeName</key><string>Data</string>"
           "<key>VolumeUUID</key><string>" + volumeUUID + "</string></dict></plist>\n";
}

class FakeHelperSystem final : public HelperSystem {
public:
    bool hasRootRights() override { return root; }
    bool startedBySudo() override { return bySudo; }
    std::optional<std::string> executableFolder() override { return folder; }
    int processId() override { return kOwnPid; }
    FileInfo lstat(const std::string& path) override {
        return touch("lstat", path, files.contains(path) ? files[path] : failure(ENOENT));
    }
    int makeDirectory(const std::string& path) override {
        files[path] = directory(kVolumesDevice);
        return touch("mkdir", path, 0);
    }
    int removeDirectory(const std::string& path) override {
        return touch("rmdir", path, files.erase(path) == 1 ? 0 : ENOENT);
    }
    int checkEmptyDirectory(const std::string& path) override {
        auto next = files.upper_bound(path + "/");
        return next != files.end() && next->first.starts_with(path + "/") ? ENOTEMPTY : 0;
    }
    DeviceBytes readStart(const std::string& path, std::size_t count) override {
        if (!devices.contains(path)) return touch("read", path, DeviceBytes{ENOENT, {}});
        return touch("read", path, DeviceBytes{0, devices[path].substr(0, count)});
    }
    int openForWriting(const std::string& path) override { return touch("write", path, writeError); }
    LockTest testWriteLock(const std::string& path) override { return touch("lock", path, locks[path]); }
    int readAlignedBlock(const std::string& path) override { return touch("block", path, readError); }
    int flushDevice(const std::string& path) override { return touch("flush", path, readError); }
    VolumeMode volumeMode(const std::string& path) override { return touch("statvfs", path, mode); }
    ProgramRun run(const std::string& path, const std::vector<std::string>& arguments,
                   std::chrono::milliseconds timeLimit) override {
        ProgramRun run = programs.runToCompletion(path, arguments, timeLimit);
        if (run.timedOut) elapsed += timeLimit;  // killed at its limit
        return run;
    }
    int signal(int pid, Signal signal) override {
        signals.emplace_back(pid, signal);
        if (onSignal) onSignal(pid, signal);
        return 0;
    }
    Clock::time_point now() override { return Clock::time_point() + elapsed; }
    void pause(std::chrono::milliseconds duration) override { elapsed += duration; }
    void endProcessAfter(std::chrono::milliseconds limit, int, const std::string&) override { watchdog = limit; }

    bool root = true, bySudo = true;
    std::optional<std::string> folder = kToolFolder;
    std::map<std::string, FileInfo> files;
    std::map<std::string, std::string> devices;  // what each device holds
    std::map<std::string, LockTest> locks;
    int readError = 0, writeError = 0;
    VolumeMode mode;
    drivelark::testing::ScriptedProcesses programs;
    std::function<void(int, Signal)> onSignal;

    std::map<std::string, std::vector<std::string>> touched;  // "lstat", "mkdir", "read", ...: the paths, in order
    std::vector<std::pair<int, Signal>> signals;
    std::chrono::milliseconds elapsed{0};
    std::optional<std::chrono::milliseconds> watchdog;

private:
    template <class Result>
    Result touch(const char* call, const std::string& path, Result result) {
        touched[call].push_back(path);
        return result;
    }
};

// disk4s1, an NTFS volume that the disk utility describes and the system has mounted read-only
// at /Volumes/Data, with the ntfs-3g tools installed root-only beside the helper. The mount
// program, ps, diskutil, umount and the ntfs-3g tools answer from this model; ntfs-3g's mount is
// FUSE-T's, served by a root ntfs-3g that ends with its mount unless it was stopped or hangs.
class HelperMachine {
public:
    HelperMachine() {
        system.files[kToolFolder] = directory(1);
        for (const char* tool : {kNtfs3g, kNtfsfix, kProbe}) system.files[tool] = regularFile();
        system.files["/Volumes"] = directory(kVolumesDevice);
        system.devices["/dev/disk4s1"] = ntfsBootSector();
        auto& programs = system.programs;
        programs.answerAll(kDiskutil, [this](const ProgramCall& call) { return diskutil(call.arguments); });
        programs.answerAll(kMount, [this](const ProgramCall&) { return mountListing ? *mountListing : listMounts(); });
        programs.answerAll(kPs, [this](const ProgramCall& call) { return listProcesses(call.arguments); });
        programs.answerAll(kNtfs3g, [this](const ProgramCall& call) {
            if (ntfs3gMounts) mountNtfs3g(call.arguments.at(1));
            return ntfs3g;
        });
        programs.answerAll(kProbe, [this](const ProgramCall&) { return probe; });
        programs.answerAll(kNtfsfix, [this](const ProgramCall&) { return ntfsfix; });
        programs.answerAll(kUmount, [this](const ProgramCall& call) { return unmountFuse(call.arguments.back()); });
        system.onSignal = [this](int pid, Signal signal) {
            resumed = resumed || signal == Signal::resume;
            if (pid == kNtfs3gPid && (signal == Signal::kill || (signal == Signal::terminate && resumed && !hung)))
                endNtfs3g();
        };
    }

    void mountNtfs3g(const std::string& mountPoint) {
        fuseMount = mountPoint;
        processes.push_back({kNtfs3gPid, 1, 0, "/usr/local/bin/ntfs-3g /dev/disk4s1 " + mountPoint +
                                                   " -o volname=Data,local,noowners,noatime"});
    }
    void endNtfs3g() { std::erase_if(processes, [](const Process& p) { return p.pid == kNtfs3gPid; }); }
    bool ntfs3gRuns() const { return std::ranges::any_of(processes, [](auto& p) { return p.pid == kNtfs3gPid; }); }
    // How many programs were run whose "path arg arg ..." begins with `prefix`.
    std::size_t runsOf(const std::string& prefix) const {
        return std::ranges::count_if(system.programs.calls(), [&](const ProgramCall& call) {
            std::string line = call.path;
            for (const std::string& argument : call.arguments) line += " " + argument;
            return line.starts_with(prefix);
        });
    }

    FakeHelperSystem system;
    std::vector<std::string> descriptions{description(kIdentity.substr(7))};  // one per look; the last stays
    std::string systemMountOptions = "ntfs, local, nodev, nosuid, read-only, noowners";
    std::vector<std::string> otherMounts;  // lines of the mount listing besides "/", the system's and ntfs-3g's
    std::vector<Process> processes{{1, 0, 0, "/sbin/launchd"}, {321, 1, 501, "/usr/bin/sudo -n"}};
    bool systemMount = true, systemUnmounts = true, ntfs3gMounts = true, fuseReadOnly = false;
    bool fuseUnmounts = true, ntfs3gEndsWithMount = true, hung = false, resumed = false;
    std::string fuseMount;  // where ntfs-3g's mount is, if anywhere
    std::optional<ProgramRun> mountListing, processListing;  // instead of the model's
    ProgramRun ntfs3g = exited(0), probe = exited(0);
    ProgramRun ntfsfix = exited(0, "NTFS partition /dev/disk4s1 was processed successfully.\n");

private:
    ProgramRun diskutil(const std::vector<std::string>& arguments) {
        const std::string& target = arguments.back();
        if (arguments.front() == "info") return exited(0, descriptions[std::min(looks++, descriptions.size() - 1)]);
        if (arguments.front() == "mount") return systemMount = true, exited(0, "Volume Data on disk4s1 mounted\n");
        if (target.starts_with("/Volumes/")) return unmountFuse(target);
        if (!systemUnmounts || !systemMount) return exited(1, "Volume Data on disk4s1 failed to unmount\n");
        systemMount = false;
        return exited(0, "Volume Data on disk4s1 force-unmounted\n");
    }
    ProgramRun unmountFuse(const std::string& mountPoint) {
        if (!fuseUnmounts || mountPoint != fuseMount) return exited(1, "Unmount failed for " + mountPoint + "\n");
        fuseMount.clear();
        if (ntfs3gEndsWithMount) endNtfs3g();
        return exited(0, "Unmount successful for " + mountPoint + "\n");
    }
    ProgramRun listMounts() {
        std::string listing = "/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)\n";
        if (systemMount) listing += "/dev/disk4s1 on /Volumes/Data (" + systemMountOptions + ")\n";
        if (!fuseMount.empty())
            listing += "fuse-t:/Data on " + fuseMount + " (nfs, nodev, nosuid" + (fuseReadOnly ? ", read-only" : "") +
                       ", mounted by root)\n";
        for (const std::string& line : otherMounts) listing += line + "\n";
        return exited(0, listing);
    }
    ProgramRun listProcesses(const std::vector<std::string>& arguments) {
        if (processListing) return *processListing;
        std::vector<Process> all{{kOwnPid, 321, 0, std::string(kToolFolder) + "/drivelark-mount unmount /Volumes/X"}};
        all.insert(all.end(), processes.begin(), processes.end());
        std::string listing;
        for (const Process& p : all) {
            if (arguments[1] != "-p" || arguments[2] == std::to_string(p.pid))
                listing += std::to_string(p.pid) + " " + std::to_string(p.parent) + " " + std::to_string(p.owner) +
                           " " + p.arguments + "\n";
        }
        return exited(listing.empty() ? 1 : 0, listing);
    }

    std::size_t looks = 0;
};

}  // namespace drivelark::helper::testing
