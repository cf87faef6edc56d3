#pragma once

// The system's wall clock and local time zone, shared by Linux and macOS. Thread-safe.

#include "platform/clock.h"

namespace drivelark {

class PosixClock final : public Clock {
public:
    Date now() override;
    LocalDateTime localDateTime(Date date) override;
};

}  // namespace drivelark
