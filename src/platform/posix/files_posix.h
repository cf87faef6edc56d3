#pragma once

// File-system calls through POSIX, shared by Linux and macOS. Thread-safe.

#include "platform/files.h"

namespace drivelark {

class PosixFiles final : public Files {
public:
    std::string homeDirectory() override;
    Status createDirectories(const std::string& path) override;
    Status appendToFile(const std::string& path, std::string_view bytes) override;
    Status listDirectory(const std::string& path, std::vector<std::string>* names) override;
    std::unique_ptr<DirectoryStream> openDirectory(const std::string& path) override;
    Status lstat(const std::string& path, FileStatus* status) override;
    Status stat(const std::string& path, FileStatus* status) override;
    Status statvfs(const std::string& path, VolumeStatus* status) override;
    Status syncFileSystem(const std::string& path) override;
    bool exists(const std::string& path) override;
    bool isExecutable(const std::string& path) override;
};

// Writes all of `bytes` to `fd`, retrying after interruptions and short writes.
bool writeAll(int fd, std::string_view bytes);

}  // namespace drivelark
