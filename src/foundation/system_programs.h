#pragma once

// The system programs Drivelark runs, by the absolute paths they have on macOS.

namespace drivelark {

inline constexpr const char* kDiskutilPath = "/usr/sbin/diskutil";
inline constexpr const char* kMountPath = "/sbin/mount";
inline constexpr const char* kPsPath = "/bin/ps";

}  // namespace drivelark
