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
    FileInfo lstat(const std::string& path) override;
    int makeDirectory(const std::string& path) override;
    int removeDirectory(const std::string& path) override;
    int checkEmptyDirectory(const std::string& path) override;
    DeviceBytes readStart(const std::string& path, std::size_t count) override;
    int openForWriting(const std::string& path) override;
    LockTest testWriteLock(const std::string& path) override;
    int readAlignedBlock(const std::string& path) override;
    int flushDevice(const std::string& path) override;
    VolumeMode volumeMode(const std::string& path) override;
    ProgramRun run(const std::string& path, const std::vector<std::string>& arguments,
                   std::chrono::milliseconds timeLimit) override;
    int signal(int pid, Signal signal) override;
    Clock::time_point now() override;
    void pause(std::chrono::milliseconds duration) override;
    void endProcessAfter(std::chrono::milliseconds limit, int status, const std::string& message) override;

private:
    bool startedBySudo_;
};

}  // namespace drivelark::helper
