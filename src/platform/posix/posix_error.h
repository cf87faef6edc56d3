#pragma once

#include <cstring>
#include <string>

namespace drivelark {

// The system's description of an errno value, safe on any thread.
inline std::string errorText(int error) {
    char buffer[256] = {};
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    return ::strerror_r(error, buffer, sizeof buffer);
#else
    ::strerror_r(error, buffer, sizeof buffer);
    return buffer;
#endif
}

}  // namespace drivelark
