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

// A directory opened with opendir, or the failure of that open.
class PosixDirectoryStream final : public DirectoryStream {
public:
    explicit PosixDirectoryStream(const std::string& path) : path_(path), directory_(::opendir(path.c_str())) {
        if (directory_ == nullptr) status_ = Status("opendir " + path, errno);
    }
    ~PosixDirectoryStream() override {
        if (directory_ != nullptr) ::closedir(directory_);
    }
    std::optional<std::string> next() override {
        if (directory_ == nullptr) return std::nullopt;
        errno = 0;  // readdir leaves it alone at the end
        struct dirent* entry = ::readdir(directory_);
        if (entry != nullptr) return std::string(entry->d_name);
        if (errno != 0) status_ = Status("readdir " + path_, errno);
        return std::nullopt;
    }
    Status status() const override { return status_; }

private:
    std::string path_;
    DIR* directory_;
    Status status_;
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

Status PosixFiles::createDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
            return Status("mkdir " + prefix, errno);
        if (slash == std::string::npos) break;
    }
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return Status("stat " + path, errno);
    return S_ISDIR(info.st_mode) ? Status() : Status("mkdir " + path, ENOTDIR);
}

Status PosixFiles::appendToFile(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return Status("open " + path, errno);
    Status written = writeAll(fd, bytes) ? Status() : Status("write " + path, errno);
    if (::close(fd) != 0 && written.ok()) return Status("close " + path, errno);
    return written;
}

Status PosixFiles::listDirectory(const std::string& path, std::vector<std::string>* names) {
    PosixDirectoryStream stream(path);
    names->clear();
    while (std::optional<std::string> name = stream.next()) {
        if (*name != "." && *name != "..") names->push_back(std::move(*name));
    }
    return stream.status();
}

std::unique_ptr<DirectoryStream> PosixFiles::openDirectory(const std::string& path) {
    return std::make_unique<PosixDirectoryStream>(path);
}

Status PosixFiles::lstat(const std::string& path, FileStatus* status) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return Status("lstat " + path, errno);
    *status = statusFrom(info);
    return Status();
}

Status PosixFiles::stat(const std::string& path, FileStatus* status) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return Status("stat " + path, errno);
    *status = statusFrom(info);
    return Status();
}

Status PosixFiles::statvfs(const std::string& path, VolumeStatus* status) {
    struct statvfs info;
    if (::statvfs(path.c_str(), &info) != 0) return Status("statvfs " + path, errno);
    *status = VolumeStatus{static_cast<std::uint64_t>(info.f_blocks),
                           static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize)};
    return Status();
}

Status PosixFiles::syncFileSystem(const std::string& path) {
#if defined(__APPLE__)
    // sync() only schedules the writes on macOS; this waits for them and flushes the disk's cache.
    int error = ::sync_volume_np(path.c_str(), SYNC_VOLUME_FULLSYNC | SYNC_VOLUME_WAIT);
    return error == 0 ? Status() : Status("sync_volume_np " + path, error);
#else
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status("open " + path, errno);
    Status synced = ::syncfs(fd) == 0 ? Status() : Status("syncfs " + path, errno);
    ::close(fd);
    return synced;
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
