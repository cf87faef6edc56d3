#pragma once

// The helper tool's world in tests: a double of its system calls (a small table of files and
// devices, recording every path it creates, removes, reads, locks, flushes or opens for writing),
// and a machine on which its work can succeed. Tests change one thing at a time from there.

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "doubles/test_platform.h"
#include "helper/helper_system.h"
#include "helper/outcome.h"

namespace drivelark::helper::testing {

using drivelark::testing::exited;
using drivelark::testing::notStarted;
using drivelark::testing::ProgramCall;

inline constexpr const char* kToolFolder = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark";
inline constexpr const char* kNtfs3g = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/ntfs-3g";
inline constexpr const char* kNtfsfix = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/ntfsfix";
inline constexpr const char* kProbe = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/ntfs-3g.probe";
inline constexpr const char* kDiskutil = "/usr/sbin/diskutil";
inline constexpr const char* kMount = "/sbin/mount";
inline constexpr const char* kPs = "/bin/ps";
inline constexpr std::uint64_t kVolumesDevice = 1;

// FileInfo{error, isDirectory, isRegularFile, isSymbolicLink, device, owner, mode}
inline FileInfo directory(std::uint64_t device, std::uint32_t owner = 0, std::uint32_t mode = 0755) {
    return FileInfo{0, true, false, false, device, owner, mode};
}
inline FileInfo regularFile(std::uint32_t owner = 0, std::uint32_t mode = 0755) {
    return FileInfo{0, false, true, false, 1, owner, mode};
}
inline FileInfo symbolicLink() { return FileInfo{0, false, false, true, 1, 0, 0777}; }
inline FileInfo failure(int error) { return FileInfo{error, false, false, false, 0, 0, 0}; }

// The first sector of a volume made by mkntfs, reduced to what identifies it.
inline std::string ntfsBootSector() {
    std::string sector(512, '\0');
    sector.replace(0, 11, "\xEB\x52\x90NTFS    ");
    sector[510] = '\x55', sector[511] = '\xAA';
    return sector;
}

class FakeHelperSystem final : public HelperSystem {
public:
    bool hasRootRights() override { return root; }
    bool startedBySudo() override { return bySudo; }
    std::optional<std::string> executableFolder() override { return folder; }
    FileInfo lstat(const std::string& path) override { return files.contains(path) ? files[path] : failure(ENOENT); }
    FileInfo stat(const std::string& path) override { return lstat(path); }
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
    int openForWriting(const std::string& path) override { return touch("write", path, 0); }
    LockTest testWriteLock(const std::string& path) override { return touch("lock", path, locks[path]); }
    int readAlignedBlock(const std::string& path) override { return touch("block", path, readError); }
    int flushDevice(const std::string& path) override { return touch("flush", path, readError); }
    VolumeMode volumeMode(const std::string&) override { return mode; }
    void pause(std::chrono::milliseconds duration) override { paused += duration; }

    bool root = true;
    bool bySudo = true;
    std::optional<std::string> folder = kToolFolder;
    std::map<std::string, FileInfo> files;
    std::map<std::string, std::string> devices;  // what each device holds
    std::map<std::string, LockTest> locks;
    int readError = 0;
    VolumeMode mode;

    std::map<std::string, std::vector<std::string>> touched;  // "mkdir", "read", "write", ...: the paths, in order
    std::chrono::milliseconds paused{0};

private:
    template <class Result>
    Result touch(const char* call, const std::string& path, Result result) {
        touched[call].push_back(path);
        return result;
    }
};

// disk4s1, an external NTFS partition that the disk utility knows and the system has mounted
// read-only at /Volumes/Data, with the ntfs-3g tools installed root-only beside the helper. The
// mount program, ps, diskutil and the ntfs-3g tools answer from this model.
class HelperMachine {
public:
    static constexpr std::uint64_t kFuseDevice = 2, kSystemMountDevice = 3;
    static constexpr const char* kUnmountFailure = "Volume Data on disk4s1 failed to unmount\n";

    HelperMachine() {
        system.files[kToolFolder] = directory(1);
        for (const char* tool : {kNtfs3g, kNtfsfix, kProbe}) system.files[tool] = regularFile();
        system.files["/Volumes"] = directory(kVolumesDevice);
        system.devices["/dev/disk4s1"] = ntfsBootSector();
        mountSystem(true);
        auto& processes = platform.processes;
        processes.answer(kDiskutil, {"info", "-plist", "disk4s1"},
                         exited(0, "<plist version=\"1.0\"><dict><key>DeviceIdentifier</key><string>disk4s1</string>"
                                   "<key>FilesystemType</key><string>ntfs</string></dict></plist>\n"));
        processes.answerAll(kMount, [this](const ProgramCall&) {
            if (!mountTableReadable) return exited(1, "mount: busy\n");
            std::string system = systemMount ? "/dev/disk4s1 on /Volumes/Data (" + systemMountOptions + ")\n" : "";
            return exited(0, "/dev/disk3s1s1 on / (apfs, read-only)\n" + system);
        });
        processes.answerAll(kPs, [this](const ProgramCall&) { return runningPrograms; });
        processes.answerAll(kDiskutil, [this](const ProgramCall& call) {
            const std::string target = call.arguments.empty() ? "" : call.arguments.back();
            if (target.starts_with("/Volumes/")) {  // an ntfs-3g mount forced off
                if (!fuseUnmounts) return exited(1, kUnmountFailure);
                fuseMounted = false;
                system.files[target] = directory(kVolumesDevice);
            } else if (call.arguments == std::vector<std::string>{"mount", "disk4s1"}) {
                mountSystem(true);
            } else if (systemUnmounts && systemMount && target == "disk4s1") {
                mountSystem(false);
            } else {
                return exited(1, kUnmountFailure);
            }
            return exited(0);
        });
        processes.answerAll(kNtfs3g, [this](const ProgramCall& call) {
            fuseMounted = ntfs3gMounts;
            if (fuseMounted) system.files[call.arguments.at(1)] = directory(kFuseDevice);
            return ntfs3g;
        });
        processes.answerAll(kProbe, [this](const ProgramCall&) { return probe; });
        processes.answerAll(kNtfsfix, [this](const ProgramCall&) { return ntfsfix; });
    }

    void mountSystem(bool mounted) {
        systemMount = mounted;
        system.files.erase("/Volumes/Data");
        if (mounted) system.files["/Volumes/Data"] = directory(kSystemMountDevice);
    }
    // Every program run, as "path arg arg ...", in order.
    std::vector<std::string> programsRun() const {
        std::vector<std::string> lines;
        for (const ProgramCall& call : platform.processes.calls()) {
            lines.push_back(call.path);
            for (const std::string& argument : call.arguments) lines.back() += " " + argument;
        }
        return lines;
    }

    drivelark::testing::TestPlatform platform;
    FakeHelperSystem system;
    std::string systemMountOptions = "ntfs, local, nodev, nosuid, read-only, noowners";
    bool systemMount = false, fuseMounted = false;
    bool systemUnmounts = true, mountTableReadable = true, ntfs3gMounts = true, fuseUnmounts = true;
    ProgramRun runningPrograms = exited(0, "    1 /sbin/launchd\n  321 /usr/libexec/diskarbitrationd\n");
    ProgramRun ntfs3g = exited(0, "Mounted /dev/disk4s1 (Read-Write, label \"Data\", NTFS 3.1)\n");
    ProgramRun probe = exited(0);
    ProgramRun ntfsfix = exited(0, "NTFS partition /dev/disk4s1 was processed successfully.\n");
};

// A refusal: status 2 and exactly one line of the tool's own that says why.
inline void expectRefusal(const Outcome& outcome, const std::string& why) {
    EXPECT_EQ(outcome.status, kRefused) << outcome.text;
    EXPECT_TRUE(outcome.text.starts_with("drivelark-mount: ") && outcome.text.ends_with("\n")) << outcome.text;
    EXPECT_EQ(std::count(outcome.text.begin(), outcome.text.end(), '\n'), 1) << outcome.text;
    EXPECT_NE(outcome.text.find(why), std::string::npos) << outcome.text;
}

}  // namespace drivelark::helper::testing
