#pragma once

// Port: the system's power management: an assertion that keeps disks from idle sleep, and the
// notices before the system sleeps and after it wakes. Main thread only.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/status.h"

namespace drivelark {

class Power {
public:
    virtual ~Power() = default;
    // Creates an assertion named `name` that keeps the disks from idle sleep (on macOS the
    // PreventDiskIdle type), known by `id` from then on.
    virtual Status createNoDiskSleepAssertion(const std::string& name, std::uint32_t* id) = 0;
    virtual void releaseAssertion(std::uint32_t id) = 0;
    // From now on calls `willSleep` on the main thread before the system sleeps, with a callback
    // to call once Drivelark is ready, and `didWake` after it woke. Called once. The system waits
    // for `ready` only so long (30 s on macOS): the core calls it within its own write-back limit.
    virtual void watchSleep(std::function<void(std::function<void()> ready)> willSleep,
                            std::function<void()> didWake) = 0;
};

}  // namespace drivelark
