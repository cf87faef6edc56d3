#pragma once

// The helper tool's system calls on Linux and macOS.

#include "platform/helper_system.h"

namespace drivelark::helper {

class PosixHelperSystem final : public HelperSystem {
public:
    // Makes the process safe to run as root for whoever started it: the three standard
    // descriptors open, a minimal environment of its own, umask 022.
    PosixHelperSystem();

    bool hasRootRights() override;
    bool startedBySudo() override { return startedBySudo_; }
    std::optional<std::string> executableFolder() override;
    int processId() override;
    Status lstat(const std::string& path, FileInfo* info) override;
    Status makeDirectory(const std::string& path) override;
    Status removeDirectory(const std::string& path) override;
    Status checkEmptyDirectory(const std::string& path) override;
    Status readStart(const std::string& path, std::size_t count, std::string* bytes) override;
    Status openForWriting(const std::string& path) override;
    Status testWriteLock(const std::string& path, bool* lockedByOther) override;
    Status readAlignedBlock(const std::string& path) override;
    Status flushDevice(const std::string& path) override;
    Status volumeMode(const std::string& path, bool* readOnly) override;
    ProgramRun run(const std::string& path, const std::vector<std::string>& arguments,
                   std::chrono::milliseconds timeLimit) override;
    Status signal(int pid, Signal signal) override;
    Clock::time_point now() override;
    void pause(std::chrono::milliseconds duration) override;
    void endProcessAfter(std::chrono::milliseconds limit, int status, const std::string& message) override;

private:
    bool startedBySudo_;
};

}  // namespace drivelark::helper
