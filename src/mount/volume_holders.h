#pragma once

// Who holds a volume: the processes with a file, a folder or their working directory on the file
// system mounted at a mount point, as lsof lists them. lsof runs as the user and sees the user's
// own processes.

#include <string>
#include <string_view>
#include <vector>

namespace drivelark {

struct VolumeHolder {
    int pid = 0;
    std::string command;  // the name the system keeps for the process (macOS cuts it at 16 bytes)

    bool operator==(const VolumeHolder&) const = default;
};

// Arguments of lsof (kLsofPath) that print the process id and command name of every process with an
// open file on the file system mounted at `mountPoint`. lsof exits 1 both when there is none (no
// output) and when `mountPoint` is not a mount point (a message).
std::vector<std::string> volumeHolderArguments(const std::string& mountPoint);

// The processes of lsof's field output, in its order. Lines other than a process id ("p123") and
// its command name ("cbash") are passed over, file lines ("fcwd") and messages included.
std::vector<VolumeHolder> parseVolumeHolders(std::string_view output);

}  // namespace drivelark
