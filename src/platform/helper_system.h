#pragma once

// Port: the helper tool's one boundary to the operating system: the files, devices and programs
// it works on, its own process, and time. A failed call's Status carries its errno value, because
// the tool's decisions depend on why a call failed. Single-threaded.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/program_run.h"

namespace drivelark::helper {

struct FileInfo {
    bool isDirectory = false;
    bool isRegularFile = false;
    bool isSymbolicLink = false;
    std::uint64_t device = 0;
    std::uint32_t owner = 0;
    std::uint32_t mode = 0;  // permission bits only
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
    virtual Status lstat(const std::string& path, FileInfo* info) = 0;
    // The new directory has mode 0755.
    virtual Status makeDirectory(const std::string& path) = 0;
    virtual Status removeDirectory(const std::string& path) = 0;
    // Succeeds when `path` is a directory with no entries besides "." and ".."; fails with
    // ENOTEMPTY when it has some, otherwise with the errno value of opening it.
    virtual Status checkEmptyDirectory(const std::string& path) = 0;

    // Reads up to `count` bytes from the start of `path`, following symbolic links; read-only.
    // `bytes` are fewer than asked for when the device is shorter.
    virtual Status readStart(const std::string& path, std::size_t count, std::string* bytes) = 0;
    // Opens `path` for writing, without creating or truncating it, writes nothing and closes it.
    virtual Status openForWriting(const std::string& path) = 0;
    // Tests, on a descriptor open for reading and writing, whether a write lock on the whole of
    // `path` would conflict with another process's lock (on some part of it).
    virtual Status testWriteLock(const std::string& path, bool* lockedByOther) = 0;
    // Reads one aligned 4096-byte block from the start of a raw device.
    virtual Status readAlignedBlock(const std::string& path) = 0;
    // Has the device write back its caches to the medium (opened read-only).
    virtual Status flushDevice(const std::string& path) = 0;
    // statvfs: only for a mount the tool has just made, whose file system answers.
    virtual Status volumeMode(const std::string& path, bool* readOnly) = 0;

    // Runs `path` (no search, no shell) with `arguments`, standard input from the null device,
    // and returns its standard output and error as raw bytes. A program still running at
    // `timeLimit` is killed and reported as timed out.
    virtual ProgramRun run(const std::string& path, const std::vector<std::string>& arguments,
                           std::chrono::milliseconds timeLimit) = 0;
    virtual Status signal(int pid, Signal signal) = 0;

    virtual Clock::time_point now() = 0;
    virtual void pause(std::chrono::milliseconds duration) = 0;
    // Once `limit` has passed, whatever the process is doing then, writes `message` to standard
    // output and ends it with `status`: a call that a stalled disk keeps waiting cannot be
    // interrupted otherwise.
    virtual void endProcessAfter(std::chrono::milliseconds limit, int status, const std::string& message) = 0;
};

}  // namespace drivelark::helper
