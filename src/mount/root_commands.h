#pragma once

// The shell commands run as root behind the administrator prompt, and the quoting that makes
// every operand reach its program as exactly one word.

#include <string>

namespace drivelark {

// `text` in single quotes, each embedded single quote written as '\''.
std::string shellQuoted(const std::string& text);

// An AppleScript statement that runs `command` as root: backslashes and double quotes are
// escaped for the string literal, so the shell sees exactly `command`.
std::string administratorScript(const std::string& command);

// Unmounts the system's mount of the device and anything at the mount point, creates the mount
// point, checks that the raw device may be written, then mounts it read-write with ntfs-3g.
// ntfs-3g does not fail on a fast-started or hibernated volume: it mounts it read-only and
// exits 0, saying so only on standard error, which the prompt drops on success. So its output
// is kept, and a read-only fall-back is unmounted again and reported as a failure that carries
// ntfs-3g's own words.
std::string remountCommand(const std::string& deviceID, const std::string& mountPoint, const std::string& volumeName,
                           const std::string& ntfs3g);

// Checks that the raw device may be written (on failure "__WRITE_DENIED__" goes to standard error,
// where the prompt reports it) and clears the in-use mark with "ntfsfix -d". It
// refuses a device that is still mounted (ntfsfix would change it under the mount) and a
// hibernated Windows volume (ntfsfix empties its journal before giving up).
std::string repairCommand(const std::string& deviceID, const std::string& ntfsfix, const std::string& probe);

}  // namespace drivelark
