#pragma once

// The running programs as ps lists them ("ps -A -ww -o pid=,ppid=,uid=,args="), read as raw bytes:
// anybody's program may carry any bytes in its arguments. Through FUSE-T an ntfs-3g mount shows
// in the mount table as "fuse-t:/NAME", not as its device, and ntfs-3g drops its lock on the
// device once it runs in the background: only its arguments tell what it serves.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drivelark {

struct Process {
    int pid = 0;
    int parent = 0;
    unsigned owner = 0;     // user id
    std::string arguments;  // the command line, its words joined by blanks

    bool operator==(const Process&) const = default;
};

inline const std::vector<std::string> kProcessListArguments = {"-A", "-ww", "-o", "pid=,ppid=,uid=,args="};

// The processes of a listing. None when it is not one that ps printed for its reader: every real
// listing has the reader's own process (`ownPid`) once, and no process twice. Lines that do not
// begin with three numbers belong to an argument that holds a line break, and are skipped.
std::optional<std::vector<Process>> parseProcessList(std::string_view listing, int ownPid);

// What an ntfs-3g started the way Drivelark starts it serves:
// "<folder>/ntfs-3g /dev/<device> <mount point> -o volname=<name>,local,noowners,noatime".
struct Ntfs3gStart {
    std::string device;
    std::string mountPoint;
};
std::optional<Ntfs3gStart> ntfs3gStartOf(const Process& process);

// The process id of an ntfs-3g that has /dev/<device> or /dev/r<device> among its arguments.
std::optional<int> ntfs3gServing(const std::vector<Process>& processes, std::string_view device);

// True for an ntfs-3g owned by root that was started for `mountPoint` as above.
bool isRootNtfs3gFor(const Process& process, std::string_view mountPoint);

// True when the process names `mountPoint` or a path below it in its arguments. An ntfs-3g started
// as above names only its own mount point, however its name begins.
bool namesMountPoint(const Process& process, std::string_view mountPoint);

// `ownPid` and the processes it descends from.
std::vector<int> ownLineage(const std::vector<Process>& processes, int ownPid);

}  // namespace drivelark
