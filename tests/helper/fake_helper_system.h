#pragma once

// Test double for the helper tool's system calls: a small table of files and devices, and a
// record of what was opened, created and removed.

#include <cerrno>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "helper/helper_system.h"

namespace drivelark::helper::testing {

inline FileInfo directory(std::uint64_t device, std::uint32_t owner = 0, std::uint32_t mode = 0755) {
    FileInfo info;
    info.isDirectory = true;
    info.device = device;
    info.owner = owner;
    info.mode = mode;
    return info;
}

inline FileInfo regularFile(std::uint32_t owner = 0, std::uint32_t mode = 0755) {
    FileInfo info;
    info.isRegularFile = true;
    info.device = 1;
    info.owner = owner;
    info.mode = mode;
    return info;
}

inline FileInfo symbolicLink() {
    FileInfo info;
    info.isSymbolicLink = true;
    info.device = 1;
    info.mode = 0777;
    return info;
}

inline FileInfo failure(int error) {
    FileInfo info;
    info.error = error;
    return info;
}

class FakeHelperSystem final : public HelperSystem {
public:
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
        if (makeDirectoryError == 0) files[path] = directory(kVolumesDevice);
        return makeDirectoryError;
    }
    int removeDirectory(const std::string& path) override {
        removed.push_back(path);
        files.erase(path);
        return 0;
    }
    int checkEmptyDirectory(const std::string& path) override {
        auto found = files.find(path);
        if (found == files.end()) return ENOENT;
        if (!found->second.isDirectory || found->second.isSymbolicLink) return ENOTDIR;
        auto next = files.upper_bound(path + "/");
        return next != files.end() && next->first.starts_with(path + "/") ? ENOTEMPTY : 0;
    }
    DeviceBytes readStart(const std::string& path, std::size_t count) override {
        auto found = devices.find(path);
        if (found == devices.end()) return DeviceBytes{ENOENT, {}};
        DeviceBytes result = found->second;
        result.bytes = result.bytes.substr(0, count);
        return result;
    }
    int openForWriting(const std::string& path) override {
        openedForWriting.push_back(path);
        return writeErrors.contains(path) ? writeErrors[path] : 0;
    }
    LockTest testWriteLock(const std::string& path) override {
        lockTested.push_back(path);
        return locks.contains(path) ? locks[path] : LockTest{};
    }
    int flushDevice(const std::string& path) override {
        flushed.push_back(path);
        return readError;
    }
    int readAlignedBlock(const std::string& path) override {
        blocksRead.push_back(path);
        return readError;
    }
    VolumeMode volumeMode(const std::string& path) override {
        modeAsked.push_back(path);
        return mode;
    }
    void pause(std::chrono::milliseconds duration) override {
        paused += duration;
        if (onPause) onPause();
    }

    static constexpr std::uint64_t kVolumesDevice = 1;

    bool root = true;
    bool bySudo = true;
    std::optional<std::string> folder = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark";
    std::map<std::string, FileInfo> files;
    std::map<std::string, DeviceBytes> devices;
    int makeDirectoryError = 0;
    std::map<std::string, int> writeErrors;
    std::map<std::string, LockTest> locks;
    int readError = 0;
    VolumeMode mode;
    std::function<void()> onPause;

    std::vector<std::string> created, removed, openedForWriting, lockTested, blocksRead, modeAsked, flushed;
    std::chrono::milliseconds paused{0};
};

}  // namespace drivelark::helper::testing
