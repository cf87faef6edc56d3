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

class PosixDirectoryStream final : public DirectoryStream {
public:
    explicit PosixDirectoryStream(DIR* directory) : directory_(directory) {}
    ~PosixDirectoryStream() override { ::closedir(directory_); }
    std::optional<std::string> next() override {
        struct dirent* entry = ::readdir(directory_);
        if (entry == nullptr) return std::nullopt;
        return std::string(entry->d_name);
    }

private:
    DIR* directory_;
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
    DIR* directory = ::opendir(path.c_str());
    if (directory == nullptr) return std::nullopt;
    PosixDirectoryStream stream(directory);
    std::vector<std::string> names;
    while (std::optional<std::string> name = stream.next()) {
        if (*name != "." && *name != "..") names.push_back(std::move(*name));
    }
    return names;
}

std::unique_ptr<DirectoryStream> PosixFiles::openDirectory(const std::string& path) {
    DIR* directory = ::opendir(path.c_str());
    if (directory == nullptr) return nullptr;
    return std::make_unique<PosixDirectoryStream>(directory);
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

bool PosixFiles::syncFileSystem(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
#if defined(__linux__)
    bool synced = ::syncfs(fd) == 0;
#else
    ::sync();  // macOS has no per-file-system sync
    bool synced = true;
#endif
    ::close(fd);
    return synced;
}

bool PosixFiles::exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool PosixFiles::isExecutable(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool PosixFiles::isReadable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

}  // namespace drivelark
