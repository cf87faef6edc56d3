#pragma once

// The status menu and icon, built as plain data from the facts of the last reading and from the
// work under way, so that opening the menu waits for nothing.

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "discovery/volume_info.h"
#include "platform/user_interface.h"

namespace drivelark {

enum class MenuAction { none, mountReadWrite, ejectVolume, toggleAuto, toggleLaunch, openProductPage, showLog, about, quit };

// One row of the menu with what choosing it does.
struct MenuEntry {
    MenuRow row;
    MenuAction action = MenuAction::none;
    std::optional<VolumeInfo> volume;  // the volume behind a volume row
};

// What the volume rows are made of.
struct MenuVolumes {
    bool known = false;               // false until the disks were read once
    std::vector<VolumeInfo> mounted;  // the scanner's volumes
    std::map<std::string, std::string> converting;  // device -> volume name, conversions under way
    std::set<std::string> ejecting;                 // mount points of ejects under way
};

struct MenuSettings {
    bool autoMount = true;
    bool launchAtLogin = false;
    // Volumes that stay read-only because Windows is hibernated on them.
    std::function<bool(const VolumeInfo&)> keptReadOnly = [](const VolumeInfo&) { return false; };
};

// A row per NTFS volume and per volume being converted or ejected (or one saying there is none, or
// that the disks are still being read), the two settings, the product page, the log, About and
// Quit, with separators between the groups. Volumes that share a name are told apart by device.
std::vector<MenuEntry> buildStatusMenu(const MenuVolumes& volumes, const MenuSettings& settings);

// A read-write volume: "externaldrive.badge.timemachine"; else a read-only one:
// "externaldrive.fill"; else "externaldrive".
StatusIcon statusIcon(const std::vector<VolumeInfo>& volumes);

// Bytes as the Finder counts them (powers of 1000): "512 KB", "3.4 GB".
std::string byteCount(std::uint64_t bytes);

}  // namespace drivelark
