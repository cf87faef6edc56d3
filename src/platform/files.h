#pragma once

// Port: the file system calls the core makes. Implementations are safe to call from any thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

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

// Why a file-system call failed: the system's error number (errno) in the generic category.
// Empty (false) on success.
using FileError = std::error_code;

// The system's access control said no: file permissions, or on macOS a privacy setting (a volume
// the user did not let Drivelark into). Not a missing file or a failing disk.
inline bool isRefusal(FileError error) {
    return error == std::errc::permission_denied || error == std::errc::operation_not_permitted;
}

// An open directory, read one entry at a time; closed when destroyed.
class DirectoryStream {
public:
    virtual ~DirectoryStream() = default;
    // The next entry name ("." and ".." included, as the system returns them), or none at the end
    // and when reading fails.
    virtual std::optional<std::string> next() = 0;
    // Why the stream ended before the directory's end: the open or a read failed. macOS's privacy
    // checks may refuse a listing at its first read rather than at the open.
    virtual FileError failure() const = 0;
};

class Files {
public:
    virtual ~Files() = default;

    virtual std::string homeDirectory() = 0;
    // Creates `path` and its missing parents. True when the directory exists afterwards.
    virtual bool createDirectories(const std::string& path) = 0;
    // Appends `bytes` with one write, creating the file if needed. False when nothing was written.
    virtual bool appendToFile(const std::string& path, std::string_view bytes) = 0;
    // Entry names of a directory, hidden ones included, without "." and "..". None on failure.
    virtual std::optional<std::vector<std::string>> listDirectory(const std::string& path) = 0;
    // Never null: a directory that cannot be opened gives a stream that ends at once and says why.
    virtual std::unique_ptr<DirectoryStream> openDirectory(const std::string& path) = 0;

    // None when the call fails. `lstat` does not follow a final symbolic link; `stat` does.
    virtual std::optional<FileStatus> lstat(const std::string& path) = 0;
    virtual std::optional<FileStatus> stat(const std::string& path) = 0;
    virtual std::optional<VolumeStatus> statvfs(const std::string& path) = 0;

    // Writes back what the file system mounted at `path` holds in its caches and returns once it
    // is written, or why it could not be. Blocks, possibly long.
    virtual FileError syncFileSystem(const std::string& path) = 0;

    virtual bool exists(const std::string& path) = 0;
    virtual bool isExecutable(const std::string& path) = 0;  // by the current user
};

}  // namespace drivelark
