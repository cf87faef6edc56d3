#pragma once

// The system programs Drivelark runs, by the absolute paths they have on macOS.

namespace drivelark {

inline constexpr const char* kDiskutilPath = "/usr/sbin/diskutil";
inline constexpr const char* kMountPath = "/sbin/mount";
inline constexpr const char* kPsPath = "/bin/ps";
inline constexpr const char* kLsofPath = "/usr/sbin/lsof";
inline constexpr const char* kSudoPath = "/usr/bin/sudo";
inline constexpr const char* kOsascriptPath = "/usr/bin/osascript";

}  // namespace drivelark
