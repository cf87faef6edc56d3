#pragma once

// Port: the wall clock. Implementations are safe to call from any thread.

#include <compare>

namespace drivelark {

// A wall-clock instant as seconds since 1970-01-01 00:00:00 UTC, in double precision.
struct Date {
    double secondsSince1970 = 0;

    // Seconds from `earlier` to this date (negative when this one is earlier).
    double secondsSince(Date earlier) const { return secondsSince1970 - earlier.secondsSince1970; }
    Date adding(double seconds) const { return Date{secondsSince1970 + seconds}; }
    auto operator<=>(const Date&) const = default;

    // 0001-01-01 00:00:00 UTC: earlier than any real event.
    static Date distantPast() { return Date{-62135596800.0}; }
};

// A date as a calendar shows it in the local time zone.
struct LocalDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual Date now() = 0;
    virtual LocalDateTime localDateTime(Date date) = 0;
};

}  // namespace drivelark
