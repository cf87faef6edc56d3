#pragma once

// Everything that changes a mount. The root work is done by the helper tool, drivelark-mount,
// which checks its target before it acts: either the installed copy, which sudo lets the user
// run without a password, or else the application's own copy run behind the system's
// administrator password prompt. Every root action names the volume it was decided for, and the
// tool refuses it when the device no longer holds that volume. Operations are started on the main
// thread and report on it; nothing here waits on the main thread.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "discovery/managed_volumes.h"
#include "discovery/ntfs_partition.h"
#include "discovery/volume_info.h"
#include "foundation/app_log.h"
#include "foundation/command_runner.h"
#include "mount/helper_protocol.h"
#include "mount/volume_holders.h"
#include "platform/platform.h"

namespace drivelark {

// The outcome of a mount operation: success, and the untrimmed output of what did the work.
using MountCompletion = std::function<void(bool ok, const std::string& out)>;
// The outcome of the user's unmount, and when it failed, the processes that hold the volume.
using UnmountCompletion = std::function<void(bool ok, const std::string& out, const std::vector<VolumeHolder>& holders)>;

class MountManager : public std::enable_shared_from_this<MountManager> {
public:
    static constexpr const char* helperPath = HelperProtocol::kInstalledPath;
    // How long the administrator password dialog may stay open before the command is given up.
    static constexpr std::chrono::minutes kPromptTimeLimit{10};

    MountManager(Platform& platform, AppLog& log);

    // --- The privileged channels (those that block are for background threads) ---

    // The helper tool exists and the user may run it; checked afresh on every call.
    bool helperAvailable() const;
    // True when "sudo -n <helper> selftest" succeeds. Blocks.
    bool freePasswordWorks() const;
    // The helper tool exists and sudo runs it as root without a password. A tool without its sudo
    // rule, or whose rule no longer matches it, counts as no tool. Blocks.
    bool helperRunsWithoutPassword() const;
    // Runs the helper through "sudo -n" with `arguments`, waiting at most `budget` (and a margin):
    // the one way the helper is run without a password. Blocks.
    CommandResult runHelper(const std::vector<std::string>& arguments, std::chrono::seconds budget) const;
    // The same when the helper runs without a password. None when it does not, or when the channel
    // could not run it at all (sudo's exit status 126 or 127). Blocks.
    std::optional<CommandResult> runViaHelper(const std::vector<std::string>& arguments, std::chrono::seconds budget) const;
    // Runs the shell `command` as root behind the administrator password prompt, in the
    // background; `completion` gets the command's own output on the main thread.
    void runAsRoot(const std::string& command, std::chrono::seconds budget, MountCompletion completion);

    // --- What a failure says: the helper's marker lines, never words that may carry a name ---
    // Windows left the volume in use: fast-started (a repair can clear it) or hibernated.
    static bool isUnsafeStateError(const std::string& out);
    // Windows hibernated it: nothing may write to it, and a repair is not tried.
    static bool isHibernated(const std::string& out);
    // A raw device the system's privacy protection would not open for writing.
    static bool isWriteDeniedError(const std::string& out);
    // The device no longer holds the volume the action was decided for: nothing was done.
    static bool isVolumeChanged(const std::string& out);

    // --- Operations (main thread; completions on the main thread) ---

    // Replaces the system's read-only mount of the partition by a read-write ntfs-3g mount at
    // /Volumes/<safe name> (or at `preferredPlace` when that is free), or "/Volumes/<safe name> 1",
    // ... when another volume holds that place, and records it in the managed-volume registry. A
    // remount that fails leaves the disk mounted read-only as it was.
    void remountReadWrite(const NTFSPartition& partition, MountCompletion completion,
                          const std::optional<std::string>& preferredPlace = std::nullopt);
    // Clears the in-use mark Windows left on a fast-started volume with "ntfsfix -d".
    void fixUnsafeState(const NTFSPartition& partition, MountCompletion completion);
    // Unmounts a read-write volume at the user's request, with the user's own rights, never by
    // force, and forgets it in the registry. When it fails, finds out who holds the volume.
    void unmount(const VolumeInfo& volume, UnmountCompletion completion);
    // Removes a dead mount of Drivelark's by force: the helper tool when it is usable, else the
    // disk utility with the user's rights. `completion` gets the program's status and output.
    void forceUnmount(const std::string& mountPoint, std::function<void(const CommandResult&)> completion);
    // Before the system sleeps: writes back everything written to `volumes`, the file systems'
    // caches and then their devices' (through the helper when it is usable); `completion` gets
    // how many were written back, on the main thread, within kFlushTimeLimit whatever hangs.
    void flushBeforeSleep(const std::vector<ManagedMount>& volumes, std::function<void(std::size_t)> completion);
    // Reads a block of each device through the helper so that the disks do not spin down. Failures
    // are of no consequence.
    void keepDevicesAwake(const std::vector<std::string>& deviceIDs);
    // Once per run, at start-up: when the password-free channel does not work, installs it through
    // one administrator prompt and calls `installed` on the main thread when that succeeded.
    void ensureHelperInstalled(std::function<void()> installed);

    // --- State ---

    // When Drivelark last started an unmount of its own; the distant past before the first.
    Date lastInternalUnmount() const { return lastInternalUnmount_; }
    void markInternalUnmount();
    // How many mount operations have finished: facts read across one of them are read again.
    std::uint64_t changes() const { return changes_; }
    // Devices being converted, with their volume names, and mount points being ejected: the menu
    // shows them as work in progress from the start of the work until facts read after its end
    // show what it did (`factsRead` with the changes those facts were read after).
    std::map<std::string, std::string> converting() const;
    std::set<std::string> ejecting() const;
    void factsRead(std::uint64_t changesSeen);

    static constexpr double kFlushTimeLimit = 15.0;

private:
    struct Target;
    void mountChosen(const NTFSPartition& partition, std::optional<std::string> mountPoint, MountCompletion completion);
    void runTool(const std::vector<std::string>& arguments, std::chrono::seconds budget,
                 std::function<void(bool ok, const std::string& out, bool passwordFree)> completion);
    void restoreSystemMountIfGone(const NTFSPartition& partition);

    // A piece of work under way, or finished after `finishedAt` changes.
    struct Underway {
        std::string name;
        std::uint64_t finishedAt = 0;  // 0 while it runs
    };
    void finish(std::map<std::string, Underway>& work, const std::string& key);

    Platform& platform_;
    AppLog& log_;
    ManagedVolumes registry_;
    Date lastInternalUnmount_ = Date::distantPast();
    std::uint64_t changes_ = 0;
    std::map<std::string, Underway> converting_;  // by device
    std::map<std::string, Underway> ejecting_;    // by mount point
    bool helperInstallAttempted_ = false;
    // Mount points chosen by remounts still under way, so that disks that share a name and are
    // converted together do not pick the same free place. Chosen off the main thread.
    std::mutex claimsLock_;
    std::set<std::string> claimed_;
};

}  // namespace drivelark
