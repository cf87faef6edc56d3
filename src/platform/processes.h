#pragma once

// Port: starting external programs. Implementations are safe to call from any thread.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/program_run.h"

namespace drivelark {

// A long-lived child started with its output sent to the null device.
// Destroying the handle reaps the child once it has exited; it does not stop it.
class ChildProcess {
public:
    virtual ~ChildProcess() = default;
    virtual int pid() const = 0;
    virtual bool isRunning() = 0;
    virtual void terminate() = 0;  // SIGTERM
};

class Processes {
public:
    virtual ~Processes() = default;

    // Runs `path` (taken literally, no PATH search, no shell) with `arguments`, standard input
    // from the null device and one pipe for standard output and error; reads the pipe to end
    // of file, then waits. Blocks the calling thread. The child inherits no other descriptor.
    // With a `timeLimit`, a program that has not exited and closed its output within it is
    // killed with SIGKILL and the call returns at the limit with what had arrived, even while a
    // grandchild still holds the output open or the killed child has yet to die.
    virtual ProgramRun runToCompletion(const std::string& path, const std::vector<std::string>& arguments,
                                       std::optional<std::chrono::milliseconds> timeLimit) = 0;

    // Starts `path` without waiting; `child` is set once it started.
    virtual Status start(const std::string& path, const std::vector<std::string>& arguments,
                         std::unique_ptr<ChildProcess>* child) = 0;

    virtual int ownProcessId() = 0;
};

}  // namespace drivelark
