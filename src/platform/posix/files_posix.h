#pragma once

// File-system calls through POSIX, shared by Linux and macOS. Thread-safe.

#include "platform/files.h"

namespace drivelark {

class PosixFiles final : public Files {
public:
    std::string homeDirectory() override;
    bool createDirectories(const std::string& path) override;
    bool appendToFile(const std::string& path, std::string_view bytes) override;
    std::optional<std::vector<std::string>> listDirectory(const std::string& path) override;
    std::unique_ptr<DirectoryStream> openDirectory(const std::string& path) override;
    std::optional<FileStatus> lstat(const std::string& path) override;
    std::optional<FileStatus> stat(const std::string& path) override;
    std::optional<VolumeStatus> statvfs(const std::string& path) override;
    FileError syncFileSystem(const std::string& path) override;
    bool exists(const std::string& path) override;
    bool isExecutable(const std::string& path) override;
};

// Writes all of `bytes` to `fd`, retrying after interruptions and short writes.
bool writeAll(int fd, std::string_view bytes);

}  // namespace drivelark
