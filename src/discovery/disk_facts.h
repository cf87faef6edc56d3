#pragma once

// What one pass knows about the disks: read off the main thread, each reading with a time limit,
// and decided on in the main thread. Nothing here touches a mount point: the mount table, the disk
// listing and the process listing come from programs, and each volume's own answer from a check
// that is abandoned when the volume does not answer.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "discovery/managed_volumes.h"
#include "discovery/mount_table.h"
#include "discovery/process_list.h"
#include "discovery/ntfs_partition.h"
#include "platform/clock.h"

namespace drivelark {

// How a mounted volume answered its check (statvfs).
struct VolumeCheck {
    enum class State {
        unchecked,  // not asked this time (too many checks still outstanding)
        silent,     // no answer within the time limit, now or from an earlier check still outstanding
        answered,
    };
    State state = State::unchecked;
    bool ok = false;  // answered: the call succeeded and the file system reported blocks
    std::uint64_t availableBytes = 0;

    // A volume that does not answer, or answers that it has nothing, is a dead mount.
    bool dead() const { return state == State::silent || (state == State::answered && !ok); }
    bool healthy() const { return state == State::answered && ok; }
    bool operator==(const VolumeCheck&) const = default;
};

struct DiskFacts {
    // False when the disk listing or the mount table could not be read: nothing is known then.
    bool readable = false;
    Date readAt;               // when the reading started
    std::uint64_t changes = 0;  // how many of its own mount changes Drivelark had made by then
    std::vector<NTFSPartition> partitions;  // the NTFS partitions, in listing order
    // Partitions listed whose file system could not be told this time (their description did not
    // come): neither NTFS nor gone.
    std::set<std::string> undecidedKeys;
    MountTable mounts;
    // The registry as it was when the reading started.
    std::vector<ManagedMount> managed;
    // The running programs, read only when a mount may have to be recognised by its ntfs-3g.
    std::vector<Process> processes;
    // The registry's mounts, by mount point, as they answered.
    std::map<std::string, VolumeCheck> checks;

    // The listed partition on `deviceID`, if any.
    const NTFSPartition* partitionOn(const std::string& deviceID) const;
};

}  // namespace drivelark
