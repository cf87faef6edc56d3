#pragma once

// The shapes of what a root command may be pointed at. Everything handed to a privileged
// command passes these checks first.

#include <string_view>

namespace drivelark {

// A BSD device name without "/dev/": "disk" + digits, optionally "s" + digits (disk4, disk4s1).
bool isDeviceIdentifier(std::string_view text);

// "/Volumes/" followed by exactly one path component that is neither "." nor ".." and holds no
// control character (which would let it forge lines of the mount table).
bool isVolumesMountPoint(std::string_view path);

// A name ntfs-3g can carry in its option list ("volname=<name>,local,..."): not empty, no
// comma that would start another option, no backslash that FUSE would read as an escape, no
// slash, no control character.
bool isSafeVolumeName(std::string_view name);

}  // namespace drivelark
