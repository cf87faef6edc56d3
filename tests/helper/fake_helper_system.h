#pragma once

// Test double for the helper tool's system calls: a small table of files and devices, and a
// record of what was created, opened for writing, read and flushed.

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "helper/helper_system.h"

namespace drivelark::helper::testing {

// FileInfo{error, isDirectory, isRegularFile, isSymbolicLink, device, owner, mode}
inline FileInfo directory(std::uint64_t device, std::uint32_t owner = 0, std::uint32_t mode = 0755) {
    return FileInfo{0, true, false, false, device, owner, mode};
}
inline FileInfo regularFile(std::uint32_t owner = 0, std::uint32_t mode = 0755) {
    return FileInfo{0, false, true, false, 1, owner, mode};
}
inline FileInfo symbolicLink() { return FileInfo{0, false, false, true, 1, 0, 0777}; }
inline FileInfo failure(int error) { return FileInfo{error, false, false, false, 0, 0, 0}; }

class FakeHelperSystem final : public HelperSystem {
public:
    static constexpr std::uint64_t kVolumesDevice = 1;

    bool hasRootRights() override { return root; }
    bool startedBySudo() override { return bySudo; }
    std::optional<std::string> executableFolder() override { return folder; }
    FileInfo lstat(const std::string& path) override {
        auto found = files.find(path);
        return found == files.end() ? failure(ENOENT) : found->second;
    }
    FileInfo stat(const std::string& path) override { return lstat(path); }
    int makeDirectory(const std::string& path) override {
        created.push_back(path);
        files[path] = directory(kVolumesDevice);
        return 0;
    }
    int removeDirectory(const std::string& path) override { return files.erase(path) == 1 ? 0 : ENOENT; }
    int checkEmptyDirectory(const std::string& path) override {
        auto next = files.upper_bound(path + "/");
        return next != files.end() && next->first.starts_with(path + "/") ? ENOTEMPTY : 0;
    }
    DeviceBytes readStart(const std::string& path, std::size_t count) override {
        auto found = devices.find(path);
        if (found == devices.end()) return DeviceBytes{ENOENT, {}};
        return DeviceBytes{found->second.error, found->second.bytes.substr(0, count)};
    }
    int openForWriting(const std::string& path) override {
        openedForWriting.push_back(path);
        return writeErrors.contains(path) ? writeErrors[path] : 0;
    }
    LockTest testWriteLock(const std::string& path) override { return locks.contains(path) ? locks[path] : LockTest{}; }
    int flushDevice(const std::string& path) override {
        flushed.push_back(path);
        return readError;
    }
    int readAlignedBlock(const std::string& path) override {
        blocksRead.push_back(path);
        return readError;
    }
    VolumeMode volumeMode(const std::string&) override { return mode; }
    void pause(std::chrono::milliseconds duration) override { paused += duration; }

    bool root = true;
    bool bySudo = true;
    std::optional<std::string> folder = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark";
    std::map<std::string, FileInfo> files;
    std::map<std::string, DeviceBytes> devices;
    std::map<std::string, int> writeErrors;
    std::map<std::string, LockTest> locks;
    int readError = 0;
    VolumeMode mode;

    std::vector<std::string> created, openedForWriting, blocksRead, flushed;
    std::chrono::milliseconds paused{0};
};

}  // namespace drivelark::helper::testing
