#pragma once

// Reading the running ntfs-3g programs out of the process listing ("ps -A -ww -o pid=,uid=,args=").
// Through FUSE-T an ntfs-3g mount shows in the mount table as "fuse-t:/NAME", not as its device:
// only the arguments of the ntfs-3g serving it tell which device it is. Drivelark always starts
// ntfs-3g as "<folder>/ntfs-3g /dev/<device> <mount point> -o volname=...".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drivelark {

// The listing's arguments for "/bin/ps" (kPsPath).
inline const std::vector<std::string> kPsArguments = {"-A", "-ww", "-o", "pid=,uid=,args="};

struct Ntfs3gProcess {
    int pid = 0;
    unsigned uid = 0;
    std::string device;      // "disk4s1", from "/dev/disk4s1" or "/dev/rdisk4s1"
    std::string mountPoint;  // the argument after the device, up to " -o"; empty when there is none

    bool operator==(const Ntfs3gProcess&) const = default;
};

// The ntfs-3g processes of a listing, read as raw bytes. None unless the listing names the
// process `ownPid`, as every real listing of all processes does: a listing that was cut short or
// could not be read must not pass for "no ntfs-3g runs".
std::optional<std::vector<Ntfs3gProcess>> parseNtfs3gProcesses(std::string_view listing, int ownPid);

}  // namespace drivelark
