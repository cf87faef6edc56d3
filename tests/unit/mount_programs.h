#pragma once

// The programs the mount operations run, as the tests expect to see them called.

namespace drivelark::testing {

inline constexpr const char* kSudo = "/usr/bin/sudo";
inline constexpr const char* kHelper = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/drivelark-mount";
inline constexpr const char* kOsascript = "/usr/bin/osascript";
inline constexpr const char* kDiskutil = "/usr/sbin/diskutil";
inline constexpr const char* kMount = "/sbin/mount";
// The mount table of a Mac where the system has mounted disk4s1 read-only at /Volumes/Data.
inline constexpr const char* kMountTable =
    "/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)\n"
    "/dev/disk4s1 on /Volumes/Data (ntfs, local, nodev, nosuid, read-only, noowners)\n";

}  // namespace drivelark::testing
