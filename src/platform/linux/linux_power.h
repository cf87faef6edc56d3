#pragma once

// Power management on Linux. There is no assertion that keeps disks from idle sleep to create.
// The notices of sleep and wake are logind's PrepareForSleep signals on the system bus, and the
// system waits for Drivelark through a delay inhibitor lock that it holds while awake. Without
// a system bus there are no notices; without logind, notices but no lock. Main thread only.

#include <asio/io_context.hpp>
#include <cerrno>
#include <memory>

#include "platform/linux/system_bus_asio.h"
#include "platform/posix/descriptor.h"
#include "platform/power.h"

namespace drivelark {

class LinuxPower final : public Power {
public:
    explicit LinuxPower(asio::io_context& mainLoop) : mainLoop_(mainLoop) {}

    Status createNoDiskSleepAssertion(const std::string& name, std::uint32_t*) override {
        return Status("power assertion " + name, ENOTSUP);
    }
    void releaseAssertion(std::uint32_t) override {}
    void watchSleep(std::function<void(std::function<void()> ready)> willSleep,
                    std::function<void()> didWake) override;

private:
    static int prepareForSleep(sd_bus_message* signal, void* self, sd_bus_error*);
    static int inhibited(sd_bus_message* reply, void* self, sd_bus_error*);
    void takeInhibitorLock();

    asio::io_context& mainLoop_;
    std::function<void(std::function<void()>)> willSleep_;
    std::function<void()> didWake_;
    std::unique_ptr<Descriptor> inhibitor_;  // the delay lock, while logind granted one
    std::unique_ptr<SystemBusAsio> bus_;      // last: gone first, with the callbacks into this object
};

}  // namespace drivelark
