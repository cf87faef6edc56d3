#pragma once

// The programs the mount operations run, as the tests expect to see them called.

namespace drivelark::testing {

inline constexpr const char* kSudo = "/usr/bin/sudo";
inline constexpr const char* kHelper = "/usr/local/lib/drivelark/bin/drivelark-mount";
inline constexpr const char* kOsascript = "/usr/bin/osascript";

}  // namespace drivelark::testing
