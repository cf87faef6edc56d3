#include "mount/root_commands.h"

#include <vector>

#include "mount/mount_manager.h"

namespace drivelark {

namespace {

// The write probe: open the raw device for writing and write nothing. The marker goes to standard
// error: when a command fails, the prompt reports its standard error, and only when that is empty
// its standard output, so a marker on standard output is lost behind any earlier complaint.
std::string writeProbe(const std::string& deviceID) {
    return "dd if=/dev/zero of=/dev/r" + deviceID + " bs=1 count=0 2>/dev/null || { echo " +
           MountManager::writeDeniedMarker + " >&2; exit 1; }";
}

std::string joined(const std::vector<std::string>& segments, const std::string& separator) {
    std::string command;
    for (const std::string& segment : segments) {
        if (!command.empty()) command += separator;
        command += segment;
    }
    return command;
}

}  // namespace

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string administratorScript(const std::string& command) {
    std::string literal;
    for (char c : command) {
        if (c == '\\' || c == '"') literal += '\\';
        literal += c;
    }
    return "do shell script \"" + literal + "\" with administrator privileges";
}

std::string remountCommand(const std::string& deviceID, const std::string& mountPoint, const std::string& volumeName,
                           const std::string& ntfs3g) {
    const std::string device = shellQuoted(deviceID);
    const std::string target = shellQuoted(mountPoint);
    return joined(
        {
            "/usr/sbin/diskutil unmount force " + device + " || /usr/sbin/diskutil unmount " + device,
            "/usr/sbin/diskutil unmount force " + target,
            "/bin/mkdir -p " + target,
            writeProbe(deviceID),
            "out=$(" + shellQuoted(ntfs3g) + " " + shellQuoted("/dev/" + deviceID) + " " + target +
                " -o volname=" + shellQuoted(volumeName) + ",local,noowners,noatime 2>&1)",
            "status=$?",
            "case \"$out\" in *read-only*) /usr/sbin/diskutil unmount force " + target +
                " >/dev/null 2>&1 ; status=1 ;; esac",
            "printf '%s\\n' \"$out\" >&2",
            "exit $status",
        },
        " ; ");
}

std::string repairCommand(const std::string& deviceID, const std::string& ntfsfix, const std::string& probe) {
    const std::string device = shellQuoted("/dev/" + deviceID);
    return joined(
        {
            writeProbe(deviceID),
            "! /sbin/mount | /usr/bin/grep -q '^/dev/" + deviceID + " on ' || { echo '" + deviceID +
                " is mounted: not repairing it under the mount'; exit 1; }",
            "case \"$(" + shellQuoted(probe) + " --readwrite " + device +
                " 2>&1)\" in *hibernated*) echo 'Windows is hibernated, refused to repair: resume Windows and shut "
                "it down fully first'; exit 1 ;; esac",
            shellQuoted(ntfsfix) + " -d " + device + " 2>&1",
        },
        "; ");
}

}  // namespace drivelark
