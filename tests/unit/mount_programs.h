#pragma once

// The programs the core runs, as the tests expect to see them called, and builders of what the
// disk utility prints.

#include <string>
#include <vector>

namespace drivelark::testing {

inline constexpr const char* kSudo = "/usr/bin/sudo";
inline constexpr const char* kHelper = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/drivelark-mount";
inline constexpr const char* kOsascript = "/usr/bin/osascript";
inline constexpr const char* kDiskutil = "/usr/sbin/diskutil";
inline constexpr const char* kMount = "/sbin/mount";
inline const std::vector<std::string> kList = {"list", "-plist"};
// A property list whose root dictionary holds `keys`; a dictionary; a key with a text value.
inline std::string plist(std::string keys) { return "<plist version=\"1.0\"><dict>" + keys + "</dict></plist>"; }
inline std::string dict(std::string keys) { return "<dict>" + keys + "</dict>"; }
inline auto key(std::string name, std::string text) { return "<key>" + name + "</key><string>" + text + "</string>"; }
// The disk listing of "diskutil list -plist" with these disks.
inline auto listing(std::string disks) { return plist("<key>AllDisksAndPartitions</key><array>" + disks + "</array>"); }

}  // namespace drivelark::testing
