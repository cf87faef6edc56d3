#pragma once

// The helper tool's system calls on Linux and macOS.

#include "helper/helper_system.h"

namespace drivelark::helper {

class PosixHelperSystem final : public HelperSystem {
public:
    // `startedBySudo`: what the environment said before the tool replaced it.
    explicit PosixHelperSystem(bool startedBySudo) : startedBySudo_(startedBySudo) {}

    bool hasRootRights() override;
    bool startedBySudo() override { return startedBySudo_; }
    std::optional<std::string> executableFolder() override;
    FileInfo lstat(const std::string& path) override;
    FileInfo stat(const std::string& path) override;
    int makeDirectory(const std::string& path) override;
    int removeDirectory(const std::string& path) override;
    int checkEmptyDirectory(const std::string& path) override;
    DeviceBytes readStart(const std::string& path, std::size_t count) override;
    int openForWriting(const std::string& path) override;
    LockTest testWriteLock(const std::string& path) override;
    int readAlignedBlock(const std::string& path) override;
    int flushDevice(const std::string& path) override;
    VolumeMode volumeMode(const std::string& path) override;
    void pause(std::chrono::milliseconds duration) override;

private:
    bool startedBySudo_;
};

}  // namespace drivelark::helper
