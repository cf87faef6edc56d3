#pragma once

// Where a remount puts a volume. Names are everyday ("Untitled", "NO NAME", "DATA"), so two disks
// often share one; a remount must never take the place of another disk's mount, nor follow a
// link in /Volumes (macOS ships "/Volumes/Macintosh HD" -> "/"). Looks at /Volumes: background
// threads only. A place in the mount table is judged by the table alone, never looked at, since a
// mount whose file system stopped answering would hang the look.

#include <optional>
#include <set>
#include <string>

#include "discovery/mount_table.h"
#include "platform/files.h"

namespace drivelark {

// `preferred` when it holds this device's own mount or nothing at all, else the first of
// "/Volumes/<name>", "/Volumes/<name> 1", "/Volumes/<name> 2", ..., as macOS numbers clashing names,
// that does so (nothing: absent, or an empty real folder) and that no remount under way has
// `claimed`. None when /Volumes is not a real folder or every candidate is taken.
std::optional<std::string> chooseMountPoint(Files& files, const std::string& deviceID, const std::string& safeName,
                                            const MountTable& mounts, const std::set<std::string>& claimed,
                                            const std::optional<std::string>& preferred = std::nullopt);

}  // namespace drivelark
