#pragma once

// The helper tool's world in tests: a Mac modelled as a double of HelperSystem. disk4s1 holds an
// NTFS volume that the disk utility describes and the system has mounted read-only at
// /Volumes/Data; the ntfs-3g tools lie root-only beside the helper. The mount program, ps,
// diskutil, umount and the ntfs-3g tools answer from the model: ntfs-3g's mount is FUSE-T's,
// served by a root ntfs-3g that ends with its mount unless it hangs. The clock moves only when
// the tool pauses or a program runs into its time limit. It records every path the tool looks at,
// creates, removes, reads, locks or opens for writing, and everything it does to the machine.
// Tests change one thing at a time from this machine, on which the work can succeed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "discovery/process_list.h"
#include "doubles/scripted_processes.h"
#include "helper/outcome.h"
#include "platform/helper_system.h"
#include "unit/mount_programs.h"

namespace drivelark::helper::testing {

using namespace drivelark::testing;  // ProgramCall, exited, notStarted, timedOut, kDiskutil, kMount, plist, key
using namespace std::chrono_literals;

inline const std::string kToolFolder = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark";
inline const std::string kNtfs3g = kToolFolder + "/ntfs-3g", kNtfsfix = kToolFolder + "/ntfsfix",
                         kProbe = kToolFolder + "/ntfs-3g.probe";
inline constexpr const char *kPs = "/bin/ps", *kUmount = "/sbin/umount";
inline constexpr int kOwnPid = 4242, kNtfs3gPid = 808;
inline const std::string kIdentity = "volume:5C6D2B1E-8F04-4F0A-9E43-0D7A1B2C3D4E";
// The first sector of a volume made by mkntfs, reduced to what identifies it.
inline const std::string kNtfsBootSector = std::string("\xEB\x52\x90NTFS    ") + std::string(499, '\0') + "\x55\xAA";

inline FileInfo directory(std::uint32_t owner = 0, std::uint32_t mode = 0755) {
    return {.isDirectory = true, .device = 1, .owner = owner, .mode = mode};
}
inline FileInfo regularFile(std::uint32_t owner = 0, std::uint32_t mode = 0755) {
    return {.isRegularFile = true, .device = 1, .owner = owner, .mode = mode};
}

// What "diskutil info -plist disk4s1" says of a volume with this UUID.
inline std::string description(const std::string& volumeUUID) {
    return plist(key("DeviceIdentifier", "disk4s1") + key("VolumeName", "Data") + key("VolumeUUID", volumeUUID)) + "\n";
}

class HelperMachine final : public HelperSystem {
public:
    bool hasRootRights() override { return root; }
    bool startedBySudo() override { return bySudo; }
    std::optional<std::string> executableFolder() override { return folder; }
    int processId() override { return kOwnPid; }
    Status lstat(const std::string& path, FileInfo* info) override {
        if (files.contains(path)) *info = files[path];
        return record("lstat", path, files.contains(path) ? 0 : ENOENT);
    }
    Status makeDirectory(const std::string& path) override {
        files[path] = directory();
        return record("mkdir", path);
    }
    Status removeDirectory(const std::string& path) override {
        return record("rmdir", path, files.erase(path) ? 0 : ENOENT);
    }
    Status checkEmptyDirectory(const std::string& path) override {
        bool empty = std::ranges::none_of(files, [&](auto& f) { return f.first.starts_with(path + "/"); });
        return empty ? Status() : Status(path, ENOTEMPTY);
    }
    Status readStart(const std::string& path, std::size_t count, std::string* bytes) override {
        *bytes = kNtfsBootSector.substr(0, count);
        return record("read", path, path == "/dev/disk4s1" ? 0 : ENOENT);
    }
    Status openForWriting(const std::string& path) override { return record("write", path); }
    Status testWriteLock(const std::string& path, bool* held) override { return *held = locked, record("lock", path); }
    Status readAlignedBlock(const std::string& path) override { return record("block", path); }
    Status flushDevice(const std::string& path) override { return record("flush", path); }
    Status volumeMode(const std::string& path, bool* ro) override { return *ro = readOnly, record("statvfs", path); }
    ProgramRun run(const std::string& path, const std::vector<std::string>& arguments,
                   std::chrono::milliseconds timeLimit) override {
        calls.push_back({path, arguments});
        actions += actionOf(path, arguments);
        ProgramRun run = answers.contains(calls.back()) ? answers[calls.back()] : answer(path, arguments);
        if (run.timedOut) elapsed += timeLimit;  // killed at its limit
        return run;
    }
    Status signal(int pid, Signal signal) override {
        actions += pid == kNtfs3gPid ? "CTK"[static_cast<int>(signal)] : '!';
        if (pid == kNtfs3gPid && (signal == Signal::kill || (signal == Signal::terminate && !hung))) endNtfs3g();
        return Status();
    }
    Clock::time_point now() override { return Clock::time_point() + elapsed; }
    void pause(std::chrono::milliseconds duration) override { elapsed += duration; }
    void endProcessAfter(std::chrono::milliseconds limit, int, const std::string&) override { watchdog = limit; }

    void mountNtfs3g(const std::string& mountPoint) {
        fuseMount = mountPoint;
        processes.push_back({kNtfs3gPid, 1, 0, "/usr/local/bin/ntfs-3g /dev/disk4s1 " + mountPoint +
                                                   " -o volname=Data,local,noowners,noatime"});
    }
    void endNtfs3g() { std::erase_if(processes, [](const Process& p) { return p.pid == kNtfs3gPid; }); }

    bool root = true, bySudo = true;
    std::optional<std::string> folder = kToolFolder;
    std::map<std::string, FileInfo> files{{kToolFolder, directory()}, {kNtfs3g, regularFile()},
                                          {kNtfsfix, regularFile()},  {kProbe, regularFile()},
                                          {"/Volumes", directory()}};
    std::map<std::pair<std::string, std::string>, int> failing;  // {"lstat", path}: the errno value it fails with
    bool locked = false, readOnly = false;  // /dev/disk4s1, by another program; the new mount, by statvfs
    std::map<ProgramCall, ProgramRun> answers;  // instead of the model's
    std::vector<std::string> descriptions{description(kIdentity.substr(7))};  // one per look; the last stays
    std::vector<std::string> otherMounts;  // lines of the mount listing besides "/", the system's and ntfs-3g's
    std::vector<Process> processes{{1, 0, 0, "/sbin/launchd"},  // the tool's callers name its operands too
                                   {320, 1, 501, "/bin/sh -c sudo -n drivelark-mount unmount /Volumes/Data"},
                                   {321, 320, 0, "/usr/bin/sudo -n drivelark-mount unmount /Volumes/Data"},
                                   {kOwnPid, 321, 0, kToolFolder + "/drivelark-mount unmount /Volumes/Data"}};
    bool systemMount = true, systemUnmounts = true, ntfs3gMounts = true, fuseReadOnly = false, fuseUnmounts = true;
    bool hung = false;     // ntfs-3g neither ends with its mount nor on SIGTERM
    std::string fuseMount;  // where ntfs-3g's mount is, if anywhere
    ProgramRun ntfs3g = exited(0), probe = exited(0), ntfsfix = exited(0);

    std::vector<ProgramCall> calls;
    std::map<std::string, std::vector<std::string>> touched;  // "lstat", "mkdir", "read", ...: the paths, in order
    // u/m: diskutil took away/put back disk4s1's mount; d/x: diskutil/umount unmounted a mount point;
    // n/f: ntfs-3g/ntfsfix ran; C/T/K: ntfs-3g was sent SIGCONT/SIGTERM/SIGKILL, ! a signal to another.
    std::string actions;
    std::chrono::milliseconds elapsed{0};
    std::optional<std::chrono::milliseconds> watchdog;

private:
    static std::string actionOf(const std::string& path, const std::vector<std::string>& arguments) {
        if (path == kDiskutil && arguments.front() != "info")
            return arguments.front() == "mount" ? "m" : arguments.back().starts_with("/") ? "d" : "u";
        return path == kUmount ? "x" : path == kNtfs3g ? "n" : path == kNtfsfix ? "f" : "";
    }
    ProgramRun answer(const std::string& path, const std::vector<std::string>& arguments) {
        if (path == kDiskutil) return diskutil(arguments);
        if (path == kMount) return listMounts();
        if (path == kPs) return listProcesses(arguments);
        if (path == kUmount) return unmountFuse(arguments.back());
        if (path == kNtfs3g && ntfs3gMounts) mountNtfs3g(arguments.at(1));
        return path == kNtfs3g ? ntfs3g : path == kNtfsfix ? ntfsfix : path == kProbe ? probe : notStarted(path);
    }
    Status record(const char* call, const std::string& path, int error = 0) {
        touched[call].push_back(path);
        error = failing.contains({call, path}) ? failing[{call, path}] : error;
        return error == 0 ? Status() : Status(path, error);
    }
    ProgramRun diskutil(const std::vector<std::string>& arguments) {
        if (arguments.front() == "info") return exited(0, descriptions[std::min(looks++, descriptions.size() - 1)]);
        if (arguments.front() == "mount") return systemMount = true, exited(0, "Volume Data on disk4s1 mounted\n");
        if (arguments.back().starts_with("/Volumes/")) return unmountFuse(arguments.back());
        if (!systemUnmounts || !systemMount) return exited(1, "Volume Data on disk4s1 failed to unmount\n");
        systemMount = false;
        return exited(0, "Volume Data on disk4s1 force-unmounted\n");
    }
    ProgramRun unmountFuse(const std::string& mountPoint) {
        if (!fuseUnmounts || mountPoint != fuseMount) return exited(1, "Unmount failed for " + mountPoint + "\n");
        fuseMount.clear();
        if (!hung) endNtfs3g();
        return exited(0, "Unmount successful for " + mountPoint + "\n");
    }
    ProgramRun listMounts() {
        std::string listing = "/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)\n";
        if (systemMount) listing += "/dev/disk4s1 on /Volumes/Data (ntfs, local, nodev, nosuid, read-only, noowners)\n";
        if (!fuseMount.empty())
            listing += "fuse-t:/Data on " + fuseMount + " (nfs, nodev, nosuid" + (fuseReadOnly ? ", read-only" : "") +
                       ", mounted by root)\n";
        for (const std::string& line : otherMounts) listing += line + "\n";
        return exited(0, listing);
    }
    ProgramRun listProcesses(const std::vector<std::string>& arguments) {  // all, or "-p <pid>"
        std::string listing;
        for (const Process& p : processes)
            if (arguments[1] != "-p" || arguments[2] == std::to_string(p.pid))
                listing += std::to_string(p.pid) + " " + std::to_string(p.parent) + " " + std::to_string(p.owner) +
                           " " + p.arguments + "\n";
        return exited(listing.empty() ? 1 : 0, listing);
    }

    std::size_t looks = 0;
};

}  // namespace drivelark::helper::testing
