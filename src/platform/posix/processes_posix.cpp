#include "platform/posix/processes_posix.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "platform/posix/program_runner.h"

namespace drivelark {

namespace {

// Reaps a child that is still running whenever it ends, without blocking the caller.
void reapWhenEnded(pid_t pid) {
    try {
        std::thread([pid] {
            int waitStatus = 0;
            waitRetrying(pid, waitStatus, 0);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: better a zombie than the end of the program.
    }
}

class PosixChild final : public ChildProcess {
public:
    explicit PosixChild(pid_t pid) : pid_(pid) {}
    ~PosixChild() override {
        if (!reaped_ && isRunning()) reapWhenEnded(pid_);
    }
    int pid() const override { return pid_; }
    bool isRunning() override {
        if (reaped_) return false;
        int waitStatus = 0;
        pid_t result = waitRetrying(pid_, waitStatus, WNOHANG);
        if (result == 0) return true;
        reaped_ = true;
        return false;
    }
    void terminate() override {
        if (!reaped_) ::kill(pid_, SIGTERM);
    }

private:
    pid_t pid_;
    bool reaped_ = false;
};

}  // namespace

ProgramRun PosixProcesses::runToCompletion(const std::string& path, const std::vector<std::string>& arguments,
                                           std::optional<std::chrono::milliseconds> timeLimit) {
    pid_t unreaped = 0;
    ProgramRun run = runProgram(path, arguments, timeLimit, unreaped);
    if (unreaped != 0) reapWhenEnded(unreaped);
    return run;
}

Status PosixProcesses::start(const std::string& path, const std::vector<std::string>& arguments,
                             std::unique_ptr<ChildProcess>* child) {
    SpawnSettings settings;
    settings.inputFromNullDevice();
    settings.outputToNullDevice();
    pid_t pid = 0;
    Status started = settings.spawn(pid, path, arguments);
    if (started.ok()) *child = std::make_unique<PosixChild>(pid);
    return started;
}

int PosixProcesses::ownProcessId() { return static_cast<int>(::getpid()); }

}  // namespace drivelark
