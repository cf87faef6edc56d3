#pragma once

// Power management on macOS: IOKit's power assertions and its sleep and wake notices. Main
// thread only.

#include "platform/power.h"

namespace drivelark {

class MacPower final : public Power {
public:
    Status createNoDiskSleepAssertion(const std::string& name, std::uint32_t* id) override;
    void releaseAssertion(std::uint32_t id) override;
    void watchSleep(std::function<void(std::function<void()> ready)> willSleep,
                    std::function<void()> didWake) override;
};

}  // namespace drivelark
