#pragma once

// Everything that changes a mount, run as root through one of two channels: the helper tool
// that sudo lets the user run without a password, or else a shell command behind the system's
// administrator password prompt. Operations are started on the main thread and report on it.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "discovery/volume_info.h"
#include "platform/clock.h"

namespace drivelark {

// The outcome of a mount operation: success, and the untrimmed output of what did the work.
struct CommandOutcome {
    bool ok = false;
    std::string out;
};
using MountCompletion = std::function<void(bool ok, const std::string& out)>;

namespace MountManager {

// --- The privileged channels ---

inline constexpr const char* helperPath = "/usr/local/lib/drivelark/bin/drivelark-mount";

// The helper tool exists and the user may run it; checked afresh on every call.
bool helperAvailable();
// True when "sudo -n <helper> selftest" succeeds. Blocks; call it off the main thread.
bool freePasswordWorks();
// Runs the helper through "sudo -n" with `arguments`. None when the tool is absent or the
// channel could not run it at all (status 126 or 127). Blocks; call it off the main thread.
std::optional<CommandOutcome> runViaHelper(const std::vector<std::string>& arguments);
// Runs the shell `command` as root behind the administrator password prompt, in the background;
// `completion` runs on the main thread.
void runAsRoot(const std::string& command, MountCompletion completion);

// --- Read-write remount ---

inline constexpr const char* writeDeniedMarker = "__WRITE_DENIED__";

// Replaces the system's read-only mount of `deviceID` by a read-write ntfs-3g mount at
// /Volumes/<safe name>, recording it in the managed-volume registry. `completion` runs on the
// main thread, or at once when `deviceID` is empty or unusable.
void remountReadWrite(const std::string& deviceID, const std::string& volumeName, MountCompletion completion);
// A refusal of a volume that Windows left hibernated or fast-started.
bool isUnsafeStateError(const std::string& text);
// A raw device the system's privacy protection would not open for writing.
bool isWriteDeniedError(const std::string& text);

// The tools, from the application bundle when it carries them, else from /usr/local/bin.
std::string ntfs3gPath();
std::string ntfsfixPath();
std::string ntfs3gProbePath();

// --- Unsafe-state repair ---

// Clears the in-use mark Windows left on `deviceID` with "ntfsfix -d"; neither mounts nor
// unmounts. `completion` runs on the main thread.
void fixUnsafeState(const std::string& deviceID, MountCompletion completion);

// --- Unmount ---

// Unmounts a read-write volume at the user's request, with the user's own rights, and forgets it
// in the registry. `completion` runs on the main thread.
void unmount(const VolumeInfo& volume, MountCompletion completion);
// When Drivelark last started an unmount of its own; the distant past before the first.
// Main thread only.
Date lastInternalUnmount();
void markInternalUnmount();

}  // namespace MountManager

}  // namespace drivelark
