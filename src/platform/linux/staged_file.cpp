#include "platform/linux/staged_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
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

Status StagedFile::stage(const std::string& path, std::string_view bytes, std::optional<StagedFile>* staged) {
    std::string pattern = path + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return Status("mkostemp " + pattern, errno);
    StagedFile file(path, name.data());  // removed again unless it is staged
    Status written;
    if (!writeAll(fd, bytes))
        written = Status("write " + file.temporaryPath_, errno);
    else if (::fsync(fd) != 0)
        written = Status("fsync " + file.temporaryPath_, errno);
    if (::close(fd) != 0 && written.ok()) written = Status("close " + file.temporaryPath_, errno);
    if (written.ok()) staged->emplace(std::move(file));
    return written;
}

Status StagedFile::commit() {
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) return Status("rename to " + path_, errno);
    temporaryPath_.clear();
    // Make the rename itself durable.
    int directory = ::open(directoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return Status();
}

Status replaceFile(const std::string& path, std::string_view bytes) {
    std::optional<StagedFile> staged;
    Status status = StagedFile::stage(path, bytes, &staged);
    return status.ok() ? staged->commit() : status;
}

}  // namespace drivelark
