#pragma once

// Port: the helper tool's one boundary to the operating system: the files, devices and programs
// it works on, its own process, and time. Every result carries the errno value of a failed call,
// because the tool's decisions depend on why a call failed. Single-threaded.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/program_run.h"

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

enum class Signal { resume, terminate, kill };  // SIGCONT, SIGTERM, SIGKILL

class HelperSystem {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~HelperSystem() = default;

    virtual bool hasRootRights() = 0;  // effective user id 0
    // Whether sudo started the tool (sudo always says so in the environment it hands over), as
    // opposed to a root shell that an administrator authorised with a password.
    virtual bool startedBySudo() = 0;
    // The folder of the running executable, every symbolic link resolved.
    virtual std::optional<std::string> executableFolder() = 0;
    virtual int processId() = 0;

    // Describes a final symbolic link itself. Asks the file system that holds `path`: never call
    // it on a mount point or below one, whose file system may have stopped answering.
    virtual FileInfo lstat(const std::string& path) = 0;
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
    // statvfs: only for a mount the tool has just made, whose file system answers.
    virtual VolumeMode volumeMode(const std::string& path) = 0;

    // Runs `path` (no search, no shell) with `arguments`, standard input from the null device,
    // and returns its standard output and error as raw bytes. A program still running at
    // `timeLimit` is killed and reported as timed out.
    virtual ProgramRun run(const std::string& path, const std::vector<std::string>& arguments,
                           std::chrono::milliseconds timeLimit) = 0;
    // 0 or the errno value of kill().
    virtual int signal(int pid, Signal signal) = 0;

    virtual Clock::time_point now() = 0;
    virtual void pause(std::chrono::milliseconds duration) = 0;
    // Once `limit` has passed, whatever the process is doing then, writes `message` to standard
    // output and ends it with `status`: a call that a stalled disk keeps waiting cannot be
    // interrupted otherwise.
    virtual void endProcessAfter(std::chrono::milliseconds limit, int status, const std::string& message) = 0;
};

}  // namespace drivelark::helper
