#pragma once

// Port: the file system calls the core makes. Implementations are safe to call from any thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace drivelark {

struct FileStatus {
    bool isDirectory = false;
    bool isSymbolicLink = false;
    std::uint64_t device = 0;
};

struct VolumeStatus {
    std::uint64_t totalBlocks = 0;
    std::uint64_t availableBytes = 0;  // free to an ordinary user
};

// An open directory, read one entry at a time; closed when destroyed.
class DirectoryStream {
public:
    virtual ~DirectoryStream() = default;
    // The next entry name ("." and ".." included, as the system returns them), or none at the end
    // and when reading fails.
    virtual std::optional<std::string> next() = 0;
    // Why the stream ended before the directory's end: the open or a read failed. macOS's privacy
    // checks may refuse a listing at its first read rather than at the open.
    virtual Status status() const = 0;
};

class Files {
public:
    virtual ~Files() = default;

    virtual std::string homeDirectory() = 0;
    // Creates `path` and its missing parents. Succeeds when the directory exists afterwards.
    virtual Status createDirectories(const std::string& path) = 0;
    // Appends `bytes` with one write, creating the file (not its folder) if needed.
    virtual Status appendToFile(const std::string& path, std::string_view bytes) = 0;
    // Entry names of a directory, hidden ones included, without "." and "..".
    virtual Status listDirectory(const std::string& path, std::vector<std::string>* names) = 0;
    // Never null: a directory that cannot be opened gives a stream that ends at once and says why.
    virtual std::unique_ptr<DirectoryStream> openDirectory(const std::string& path) = 0;

    // `lstat` does not follow a final symbolic link; `stat` does.
    virtual Status lstat(const std::string& path, FileStatus* status) = 0;
    virtual Status stat(const std::string& path, FileStatus* status) = 0;
    virtual Status statvfs(const std::string& path, VolumeStatus* status) = 0;

    // Writes back what the file system mounted at `path` holds in its caches and returns once it
    // is written. Blocks, possibly long.
    virtual Status syncFileSystem(const std::string& path) = 0;

    virtual bool exists(const std::string& path) = 0;
    virtual bool isExecutable(const std::string& path) = 0;  // by the current user
};

}  // namespace drivelark
