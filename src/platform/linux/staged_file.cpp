#include "platform/linux/staged_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/posix/files_posix.h"

namespace drivelark {

namespace {

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

StagedFile::StagedFile(std::string path, std::string temporaryPath)
    : path_(std::move(path)), temporaryPath_(std::move(temporaryPath)) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::move(other.path_)), temporaryPath_(std::move(other.temporaryPath_)) {
    other.temporaryPath_.clear();
}

StagedFile::~StagedFile() {
    if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
}

std::optional<StagedFile> StagedFile::stage(const std::string& path, std::string_view bytes) {
    std::string pattern = path + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    StagedFile staged(path, name.data());
    bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written) return std::nullopt;  // the destructor removes the file
    return staged;
}

bool StagedFile::commit() {
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) return false;
    temporaryPath_.clear();
    // Make the rename itself durable.
    int directory = ::open(directoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return true;
}

bool replaceFile(const std::string& path, std::string_view bytes) {
    std::optional<StagedFile> staged = StagedFile::stage(path, bytes);
    return staged && staged->commit();
}

}  // namespace drivelark
