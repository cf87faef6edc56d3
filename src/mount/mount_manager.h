#pragma once

// Everything that changes a mount. The root work is done by the helper tool, drivelark-mount,
// which checks its target before it acts: either the installed copy, which sudo lets the user
// run without a password, or else the application's own copy run behind the system's
// administrator password prompt. Operations are started on the main thread and report on it.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "discovery/volume_info.h"
#include "foundation/command_runner.h"
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

// Where the installer puts the helper tool and the ntfs-3g tools it runs: a folder that only
// root can change, as macOS keeps privileged helpers.
inline constexpr const char* helperFolder = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark";
inline constexpr const char* helperPath = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/drivelark-mount";

// The helper tool exists and the user may run it; checked afresh on every call.
bool helperAvailable();
// True when "sudo -n <helper> selftest" succeeds. Blocks; call it off the main thread.
bool freePasswordWorks();
// The helper tool exists and sudo runs it as root without a password. A tool without its sudo
// rule, or whose rule no longer matches it, counts as no tool. Blocks; call it off the main thread.
bool helperUsable();
// Runs the helper through "sudo -n" with `arguments`. None when the helper is not usable or the
// channel could not run it at all (status 126 or 127). Blocks; call it off the main thread.
std::optional<CommandOutcome> runViaHelper(const std::vector<std::string>& arguments);
// Runs the shell `command` as root behind the administrator password prompt, in the background;
// `completion` runs on the main thread.
void runAsRoot(const std::string& command, MountCompletion completion);
// The shell command that runs the application's own copy of the helper tool with `arguments`,
// for the administrator prompt. None when the application's folder cannot be found.
std::optional<std::string> bundledHelperCommand(const std::vector<std::string>& arguments);

// Once per run, at start-up: when the password-free channel does not work, installs it through one
// administrator prompt and calls `installed` on the main thread when that succeeded. Blocks; call
// it off the main thread.
void ensureHelperInstalled(std::function<void()> installed);

// --- Read-write remount ---

inline constexpr const char* writeDeniedMarker = "__WRITE_DENIED__";

// Replaces the system's read-only mount of `deviceID` by a read-write ntfs-3g mount at
// /Volumes/<safe name>, or at "/Volumes/<safe name> 1", ... when another disk holds that place,
// and records it in the managed-volume registry. A remount that fails leaves the disk mounted
// read-only as it was. `completion` runs on the main thread, or at once when `deviceID` is empty
// or unusable.
void remountReadWrite(const std::string& deviceID, const std::string& volumeName, MountCompletion completion);
// A refusal of a volume that Windows left hibernated or fast-started.
bool isUnsafeStateError(const std::string& text);
// A raw device the system's privacy protection would not open for writing.
bool isWriteDeniedError(const std::string& text);

// --- Unsafe-state repair ---

// Clears the in-use mark Windows left on `deviceID` with "ntfsfix -d". The system's read-only
// mount is taken away for it, and put back if the repair fails. `completion` runs on the main
// thread.
void fixUnsafeState(const std::string& deviceID, MountCompletion completion);

// --- Unmount ---

// Unmounts a read-write volume at the user's request, with the user's own rights, and forgets it
// in the registry. `completion` runs on the main thread.
void unmount(const VolumeInfo& volume, MountCompletion completion);
// Unmounts whatever is mounted at `mountPoint` by force, as root through the helper when it is
// usable, else through the disk utility with the user's rights. Blocks; call it off the main thread.
CommandResult forceUnmount(const std::string& mountPoint);
// --- Keeping disks awake, and sleep ---

// Reads a block of the device through the helper so that the disk does not spin down. Blocks; off
// the main thread. Failures are of no consequence.
void keepDeviceAwake(const std::string& deviceID);
// Before the system sleeps: writes back everything written to Drivelark's read-write volumes, the
// file systems' caches and then their devices' (through the helper where it is usable).
// `completion` gets the number of volumes on the main thread.
void flushBeforeSleep(std::function<void(std::size_t volumes)> completion);

// When Drivelark last started an unmount of its own; the distant past before the first.
// Main thread only.
Date lastInternalUnmount();
void markInternalUnmount();

}  // namespace MountManager

}  // namespace drivelark
