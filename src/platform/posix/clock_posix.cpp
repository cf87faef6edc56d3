#include "platform/posix/clock_posix.h"

#include <cmath>
#include <ctime>

namespace drivelark {

Date PosixClock::now() {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Date{static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9};
}

LocalDateTime PosixClock::localDateTime(Date date) {
    std::time_t seconds = static_cast<std::time_t>(std::floor(date.secondsSince1970));
    struct tm local {};
    ::localtime_r(&seconds, &local);
    return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace drivelark
