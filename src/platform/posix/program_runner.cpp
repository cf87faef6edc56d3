#include "platform/posix/program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <thread>

#include "platform/posix/descriptor.h"

extern char** environ;

namespace drivelark {

namespace {

using SteadyClock = std::chrono::steady_clock;
using Deadline = std::optional<SteadyClock::time_point>;

bool makePipe(int fds[2]) {
#if defined(__APPLE__)
    if (::pipe(fds) != 0) return false;
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    return true;
#else
    return ::pipe2(fds, O_CLOEXEC) == 0;
#endif
}

int statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return 1;
}

// Milliseconds from now to `deadline` for poll(): -1 (no limit) without one.
int pollTimeout(const Deadline& deadline) {
    if (!deadline) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - SteadyClock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

// Reads `fd` to end of file. False when the deadline came first.
bool readToEnd(int fd, std::string& output, const Deadline& deadline) {
    char buffer[16384];
    for (;;) {
        struct pollfd readable = {fd, POLLIN, 0};
        int ready = ::poll(&readable, 1, pollTimeout(deadline));
        if (ready == 0) return false;
        if (ready < 0 && errno == EINTR) continue;
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            output.append(buffer, static_cast<size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            return true;
        }
    }
}

// Waits for `pid` until `deadline`: returns `pid` once reaped, 0 while it still runs at the
// deadline, -1 when waiting fails.
pid_t waitUntil(pid_t pid, int& waitStatus, const Deadline& deadline) {
    if (!deadline) return waitRetrying(pid, waitStatus, 0);
    for (;;) {
        pid_t result = waitRetrying(pid, waitStatus, WNOHANG);
        if (result != 0 || SteadyClock::now() >= *deadline) return result;
        // Its output is closed, so it is most likely exiting: short naps, rarely needed, are simpler
        // than watching the process.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

SpawnSettings::SpawnSettings() {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#if defined(__APPLE__)
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
#endif
    posix_spawnattr_setflags(&attributes_, flags);
}

SpawnSettings::~SpawnSettings() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
}

void SpawnSettings::inputFromNullDevice() { posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0); }

void SpawnSettings::outputTo(int fd) {
    posix_spawn_file_actions_adddup2(&actions_, fd, 1);
    posix_spawn_file_actions_adddup2(&actions_, fd, 2);
}

void SpawnSettings::outputToNullDevice() {
    posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, 1, 2);
}

Status SpawnSettings::spawn(pid_t& pid, const std::string& path, const std::vector<std::string>& arguments) {
#if !defined(__APPLE__)
    posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
#endif
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int error = posix_spawn(&pid, path.c_str(), &actions_, &attributes_, argv.data(), environ);
    return error == 0 ? Status() : Status("start " + path, error);
}

ProgramRun runProgram(const std::string& path, const std::vector<std::string>& arguments,
                      std::optional<std::chrono::milliseconds> timeLimit, pid_t& unreaped) {
    unreaped = 0;
    ProgramRun run;
    int fds[2];
    if (!makePipe(fds)) {
        run.launch = Status("start " + path, errno);
        return run;
    }
    Descriptor readEnd(fds[0]);
    Descriptor writeEnd(fds[1]);

    SpawnSettings settings;
    settings.inputFromNullDevice();
    settings.outputTo(writeEnd.get());
    pid_t pid = 0;
    run.launch = settings.spawn(pid, path, arguments);
    writeEnd.reset();  // only the child may hold the write end, or end of file never comes
    if (!run.launch.ok()) return run;

    Deadline deadline;
    if (timeLimit) deadline = SteadyClock::now() + *timeLimit;
    int waitStatus = 0;
    pid_t waited = readToEnd(readEnd.get(), run.output, deadline) ? waitUntil(pid, waitStatus, deadline) : 0;
    if (waited == 0) {  // the time limit came first; the child is not reaped, so the pid is still ours
        ::kill(pid, SIGKILL);
        if (waitRetrying(pid, waitStatus, WNOHANG) == 0) unreaped = pid;  // stuck in the kernel
        run.timedOut = true;
        run.status = 128 + SIGKILL;
        return run;
    }
    run.status = waited == pid ? statusOf(waitStatus) : 1;
    return run;
}

pid_t waitRetrying(pid_t pid, int& waitStatus, int options) {
    pid_t result;
    do {
        result = ::waitpid(pid, &waitStatus, options);
    } while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace drivelark
