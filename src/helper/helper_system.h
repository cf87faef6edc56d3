#pragma once

// The system calls the helper tool makes besides running programs. Every result carries the
// errno value of a failed call, because the tool's decisions depend on why a call failed.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace drivelark::helper {

struct FileInfo {
    int error = 0;  // 0 when the fields below describe the file
    bool isDirectory = false;
    bool isRegularFile = false;
    bool isSymbolicLink = false;
    std::uint64_t device = 0;
    std::uint32_t owner = 0;
    std::uint32_t mode = 0;  // permission bits only
};

struct DeviceBytes {
    int error = 0;
    std::string bytes;  // fewer than asked for when the device is shorter
};

struct VolumeMode {
    int error = 0;
    bool readOnly = false;
};

struct LockTest {
    int error = 0;
    bool lockedByOther = false;  // another process holds a POSIX lock on some part of it
};

class HelperSystem {
public:
    virtual ~HelperSystem() = default;

    virtual bool hasRootRights() = 0;  // effective user id 0
    // Whether sudo started the tool (sudo always says so in the environment it hands over), as
    // opposed to a root shell that an administrator authorised with a password.
    virtual bool startedBySudo() = 0;
    // The folder of the running executable, every symbolic link resolved.
    virtual std::optional<std::string> executableFolder() = 0;

    // `lstat` describes a final symbolic link itself; `stat` follows it.
    virtual FileInfo lstat(const std::string& path) = 0;
    virtual FileInfo stat(const std::string& path) = 0;
    // 0 or the errno value. The new directory has mode 0755.
    virtual int makeDirectory(const std::string& path) = 0;
    virtual int removeDirectory(const std::string& path) = 0;
    // 0 when `path` is a directory with no entries besides "." and ".."; ENOTEMPTY when it has
    // some; otherwise the errno value of opening it.
    virtual int checkEmptyDirectory(const std::string& path) = 0;

    // Reads up to `count` bytes from the start of `path`, following symbolic links; read-only.
    virtual DeviceBytes readStart(const std::string& path, std::size_t count) = 0;
    // Opens `path` for writing, without creating or truncating it, writes nothing and closes it.
    // 0 or the errno value of the open.
    virtual int openForWriting(const std::string& path) = 0;
    // Tests, on a descriptor open for reading and writing, whether a write lock on the whole of
    // `path` would conflict with another process's lock.
    virtual LockTest testWriteLock(const std::string& path) = 0;
    // Reads one aligned 4096-byte block from the start of a raw device. 0 or the errno value.
    virtual int readAlignedBlock(const std::string& path) = 0;
    // Has the device write back its caches to the medium (opened read-only). 0 or the errno value.
    virtual int flushDevice(const std::string& path) = 0;

    virtual VolumeMode volumeMode(const std::string& path) = 0;  // statvfs
    virtual void pause(std::chrono::milliseconds duration) = 0;
};

}  // namespace drivelark::helper
