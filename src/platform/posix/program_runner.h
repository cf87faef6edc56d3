#pragma once

// Starting programs with posix_spawn, shared by the application's Processes and the helper tool.
// Thread-safe.

#include <spawn.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/program_run.h"

namespace drivelark {

// Spawn settings for every child: default signal handling, nothing blocked, and no descriptor of
// ours beyond the three standard ones, so that a child (or a grandchild it leaves running) never
// holds another caller's pipe open.
class SpawnSettings {
public:
    SpawnSettings();
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
    ~SpawnSettings();

    void inputFromNullDevice();
    void outputTo(int fd);
    void outputToNullDevice();
    Status spawn(pid_t& pid, const std::string& path, const std::vector<std::string>& arguments);

private:
    posix_spawnattr_t attributes_;
    posix_spawn_file_actions_t actions_;
};

// waitpid() that carries on after a signal interrupts it.
pid_t waitRetrying(pid_t pid, int& waitStatus, int options);

// Runs `path` to completion as Processes::runToCompletion says. A child killed at its time limit
// that the kernel has not let die yet is not waited for: `unreaped` is then its pid (0 otherwise),
// for the caller to reap or to leave to the system.
ProgramRun runProgram(const std::string& path, const std::vector<std::string>& arguments,
                      std::optional<std::chrono::milliseconds> timeLimit, pid_t& unreaped);

}  // namespace drivelark
