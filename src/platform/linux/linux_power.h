#pragma once

// Power management on Linux. There is no assertion that keeps disks from idle sleep to create,
// and no notice of sleep yet. Main thread only.

#include "platform/power.h"

namespace drivelark {

class LinuxPower final : public Power {
public:
    // The result code of an assertion the system does not have.
    static constexpr int kUnsupported = -1;

    int createNoDiskSleepAssertion(const std::string&, std::uint32_t&) override { return kUnsupported; }
    void releaseAssertion(std::uint32_t) override {}
    void watchSleep(std::function<void(std::function<void()>)>, std::function<void()>) override {}
};

}  // namespace drivelark
