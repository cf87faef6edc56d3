#pragma once

// Programs started with posix_spawn, shared by Linux and macOS. Thread-safe.

#include "platform/processes.h"

namespace drivelark {

class PosixProcesses final : public Processes {
public:
    ProgramRun runToCompletion(const std::string& path, const std::vector<std::string>& arguments,
                               std::optional<std::chrono::milliseconds> timeLimit) override;
    Status start(const std::string& path, const std::vector<std::string>& arguments,
                 std::unique_ptr<ChildProcess>* child) override;
    int ownProcessId() override;
};

}  // namespace drivelark
