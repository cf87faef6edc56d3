#include "platform/posix/helper_system_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>

#include "platform/posix/bundle_posix.h"
#include "platform/posix/descriptor.h"
#include "platform/posix/program_runner.h"

extern char** environ;

namespace drivelark::helper {

namespace {

// What the watchdog says and the status it ends the process with, set before it is armed.
std::string watchdogMessage;
int watchdogStatus = 1;

void endOnAlarm(int) {
    ssize_t ignored = ::write(1, watchdogMessage.data(), watchdogMessage.size());
    (void)ignored;
    ::_exit(watchdogStatus);
}

// With a standard descriptor closed by the caller, the next device we open would take its
// number, and our messages would be written to the device.
void keepStandardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) ::_exit(1);
    }
}

int openRetrying(const std::string& path, int flags) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

FileInfo describe(const struct stat& status) {
    FileInfo info;
    info.isDirectory = S_ISDIR(status.st_mode);
    info.isRegularFile = S_ISREG(status.st_mode);
    info.isSymbolicLink = S_ISLNK(status.st_mode);
    info.device = static_cast<std::uint64_t>(status.st_dev);
    info.owner = static_cast<std::uint32_t>(status.st_uid);
    info.mode = static_cast<std::uint32_t>(status.st_mode & 07777);
    return info;
}

}  // namespace

PosixHelperSystem::PosixHelperSystem() {
    keepStandardDescriptorsOpen();
    startedBySudo_ = std::getenv("SUDO_UID") != nullptr;
    // Children (diskutil, ntfs-3g, ...) see this environment and nothing the caller chose.
    static char path[] = "PATH=/usr/bin:/bin:/usr/sbin:/sbin";
    static char* minimal[] = {path, nullptr};
    environ = minimal;
    ::umask(022);
}

bool PosixHelperSystem::hasRootRights() { return ::geteuid() == 0; }

std::optional<std::string> PosixHelperSystem::executableFolder() {
    std::optional<std::string> executable = runningExecutablePath();
    if (!executable) return std::nullopt;
    size_t slash = executable->rfind('/');
    if (slash == std::string::npos) return std::nullopt;
    return slash == 0 ? std::string("/") : executable->substr(0, slash);
}

int PosixHelperSystem::processId() { return static_cast<int>(::getpid()); }

Status PosixHelperSystem::lstat(const std::string& path, FileInfo* info) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) return Status("lstat " + path, errno);
    *info = describe(status);
    return Status();
}

Status PosixHelperSystem::makeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 ? Status() : Status("mkdir " + path, errno);
}

Status PosixHelperSystem::removeDirectory(const std::string& path) {
    return ::rmdir(path.c_str()) == 0 ? Status() : Status("rmdir " + path, errno);
}

Status PosixHelperSystem::checkEmptyDirectory(const std::string& path) {
    int fd = openRetrying(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) return Status("open " + path, errno);
    DIR* directory = ::fdopendir(fd);
    if (directory == nullptr) {
        Status failed("fdopendir " + path, errno);
        ::close(fd);
        return failed;
    }
    Status result;
    while (struct dirent* entry = ::readdir(directory)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            result = Status("entries of " + path, ENOTEMPTY);
            break;
        }
    }
    ::closedir(directory);
    return result;
}

Status PosixHelperSystem::readStart(const std::string& path, std::size_t count, std::string* bytes) {
    Descriptor fd(openRetrying(path, O_RDONLY));
    if (fd.get() < 0) return Status("open " + path, errno);
    bytes->assign(count, '\0');
    std::size_t filled = 0;
    while (filled < count) {
        ssize_t got = ::read(fd.get(), bytes->data() + filled, count - filled);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return Status("read " + path, errno);
        }
        filled += static_cast<std::size_t>(got);
    }
    bytes->resize(filled);
    return Status();
}

Status PosixHelperSystem::openForWriting(const std::string& path) {
    Descriptor fd(openRetrying(path, O_WRONLY));
    return fd.get() < 0 ? Status("open " + path, errno) : Status();
}

Status PosixHelperSystem::testWriteLock(const std::string& path, bool* lockedByOther) {
    Descriptor fd(openRetrying(path, O_RDWR));
    if (fd.get() < 0) return Status("open " + path, errno);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // the whole file
    if (::fcntl(fd.get(), F_GETLK, &lock) != 0) return Status("F_GETLK " + path, errno);
    *lockedByOther = lock.l_type != F_UNLCK;
    return Status();
}

Status PosixHelperSystem::readAlignedBlock(const std::string& path) {
    constexpr std::size_t kBlock = 4096;
    Descriptor fd(openRetrying(path, O_RDONLY));
    if (fd.get() < 0) return Status("open " + path, errno);
    // Raw devices take only transfers aligned in memory and on the device.
    void* memory = nullptr;
    if (::posix_memalign(&memory, kBlock, kBlock) != 0) return Status("posix_memalign", ENOMEM);
    std::unique_ptr<void, decltype(&std::free)> buffer(memory, &std::free);
    ssize_t got;
    do {
        got = ::pread(fd.get(), buffer.get(), kBlock, 0);
    } while (got < 0 && errno == EINTR);
    return got < 0 ? Status("pread " + path, errno) : Status();
}

Status PosixHelperSystem::flushDevice(const std::string& path) {
    Descriptor fd(openRetrying(path, O_RDONLY));
    if (fd.get() < 0) return Status("open " + path, errno);
#if defined(__APPLE__)
    // fsync leaves the drive's own cache alone on macOS; F_FULLFSYNC asks the drive too.
    if (::fcntl(fd.get(), F_FULLFSYNC) == 0) return Status();
#endif
    return ::fsync(fd.get()) == 0 ? Status() : Status("fsync " + path, errno);
}

Status PosixHelperSystem::volumeMode(const std::string& path, bool* readOnly) {
    struct statvfs status;
    if (::statvfs(path.c_str(), &status) != 0) return Status("statvfs " + path, errno);
    *readOnly = (status.f_flag & ST_RDONLY) != 0;
    return Status();
}

ProgramRun PosixHelperSystem::run(const std::string& path, const std::vector<std::string>& arguments,
                                  std::chrono::milliseconds timeLimit) {
    // A child killed at its limit that the kernel holds on to is left to the system, which reaps
    // it once this short-lived process has ended.
    pid_t unreaped = 0;
    return runProgram(path, arguments, timeLimit, unreaped);
}

Status PosixHelperSystem::signal(int pid, Signal signal) {
    int number = signal == Signal::resume ? SIGCONT : signal == Signal::terminate ? SIGTERM : SIGKILL;
    return ::kill(static_cast<pid_t>(pid), number) == 0 ? Status() : Status("kill " + std::to_string(pid), errno);
}

HelperSystem::Clock::time_point PosixHelperSystem::now() { return Clock::now(); }

void PosixHelperSystem::pause(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

void PosixHelperSystem::endProcessAfter(std::chrono::milliseconds limit, int status, const std::string& message) {
    watchdogMessage = message;
    watchdogStatus = status;
    struct sigaction action = {};
    action.sa_handler = endOnAlarm;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, nullptr);
    struct itimerval timer = {};
    timer.it_value.tv_sec = static_cast<time_t>(limit.count() / 1000);
    timer.it_value.tv_usec = static_cast<suseconds_t>(limit.count() % 1000 * 1000);
    ::setitimer(ITIMER_REAL, &timer, nullptr);
}

}  // namespace drivelark::helper
