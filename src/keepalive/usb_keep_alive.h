#pragma once

// Keeps the machine and the disks of Drivelark's read-write volumes from idle sleep while any of
// them is mounted: caffeinate (or a power assertion when it cannot start), and on every pulse a
// little real activity on each volume and its device. Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/processes.h"

namespace drivelark {

class USBKeepAlive : public std::enable_shared_from_this<USBKeepAlive> {
public:
    static constexpr double kPulseInterval = 5.0;
    static constexpr double kIdleLogInterval = 300.0;

    // The one controller of the application, created on first use and kept for the process.
    static std::shared_ptr<USBKeepAlive> shared();

    // Starts the pulse: the first one 5 s from now, then every 5 s.
    void start();

private:
    void pulse();
    void pulseFinished(const std::vector<std::string>& active);
    void ensureCaffeinate();
    void stopKeepingAwake();
    void devicePulse(const std::vector<std::string>& mountPoints);

    std::shared_ptr<RepeatingTimer> timer_;
    std::uint32_t assertionID_ = 0;
    bool assertionActive_ = false;
    Date lastIdleLog_ = Date::distantPast();
    std::unique_ptr<ChildProcess> caffeinate_;
    // A volume that stops answering blocks its check; the next pulses wait for it rather than
    // piling up behind it.
    bool checking_ = false;
};

}  // namespace drivelark
