#include "platform/posix/files_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace drivelark {

namespace {

FileError lastError() { return FileError(errno, std::generic_category()); }

// A directory opened with opendir, or the failure of that open.
class PosixDirectoryStream final : public DirectoryStream {
public:
    explicit PosixDirectoryStream(const std::string& path) : directory_(::opendir(path.c_str())) {
        if (directory_ == nullptr) failure_ = lastError();
    }
    ~PosixDirectoryStream() override {
        if (directory_ != nullptr) ::closedir(directory_);
    }
    std::optional<std::string> next() override {
        if (directory_ == nullptr) return std::nullopt;
        errno = 0;  // readdir leaves it alone at the end
        struct dirent* entry = ::readdir(directory_);
        if (entry != nullptr) return std::string(entry->d_name);
        if (errno != 0) failure_ = lastError();
        return std::nullopt;
    }
    FileError failure() const override { return failure_; }

private:
    DIR* directory_;
    FileError failure_;
};

FileStatus statusFrom(const struct stat& info) {
    FileStatus status;
    status.isDirectory = S_ISDIR(info.st_mode);
    status.isSymbolicLink = S_ISLNK(info.st_mode);
    status.device = static_cast<std::uint64_t>(info.st_dev);
    return status;
}

}  // namespace

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

std::string PosixFiles::homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->pw_dir;
    return "/";
}

bool PosixFiles::createDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PosixFiles::appendToFile(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool written = writeAll(fd, bytes);
    return (::close(fd) == 0) && written;
}

std::optional<std::vector<std::string>> PosixFiles::listDirectory(const std::string& path) {
    PosixDirectoryStream stream(path);
    std::vector<std::string> names;
    while (std::optional<std::string> name = stream.next()) {
        if (*name != "." && *name != "..") names.push_back(std::move(*name));
    }
    if (stream.failure()) return std::nullopt;
    return names;
}

std::unique_ptr<DirectoryStream> PosixFiles::openDirectory(const std::string& path) {
    return std::make_unique<PosixDirectoryStream>(path);
}

std::optional<FileStatus> PosixFiles::lstat(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
    return statusFrom(info);
}

std::optional<FileStatus> PosixFiles::stat(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return statusFrom(info);
}

std::optional<VolumeStatus> PosixFiles::statvfs(const std::string& path) {
    struct statvfs info;
    if (::statvfs(path.c_str(), &info) != 0) return std::nullopt;
    return VolumeStatus{static_cast<std::uint64_t>(info.f_blocks),
                        static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize)};
}

FileError PosixFiles::syncFileSystem(const std::string& path) {
#if defined(__APPLE__)
    // sync() only schedules the writes on macOS; this waits for them and flushes the disk's cache.
    int error = ::sync_volume_np(path.c_str(), SYNC_VOLUME_FULLSYNC | SYNC_VOLUME_WAIT);
    return FileError(error, std::generic_category());
#else
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return lastError();
    FileError error = ::syncfs(fd) == 0 ? FileError() : lastError();
    ::close(fd);
    return error;
#endif
}

bool PosixFiles::exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool PosixFiles::isExecutable(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}


}  // namespace drivelark
