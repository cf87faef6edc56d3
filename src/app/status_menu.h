#pragma once

// The status menu and icon, built from the mounted volumes as plain data.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "discovery/volume_info.h"
#include "platform/user_interface.h"

namespace drivelark {

enum class MenuAction { none, mountReadWrite, ejectVolume, toggleAuto, toggleLaunch, openProductPage, about, quit };

// One row of the menu with what choosing it does.
struct MenuEntry {
    MenuRow row;
    MenuAction action = MenuAction::none;
    std::optional<VolumeInfo> volume;  // the volume behind a volume row
};

struct MenuSettings {
    bool autoMount = true;
    bool launchAtLogin = false;
    // Volumes that stay read-only because Windows left them hibernated.
    std::function<bool(const VolumeInfo&)> keptReadOnly = [](const VolumeInfo&) { return false; };
};

// A row per NTFS volume (or one saying there is none), the two settings, the product page,
// About and Quit, with separators between the groups.
std::vector<MenuEntry> buildStatusMenu(const std::vector<VolumeInfo>& volumes, const MenuSettings& settings);

// "externaldrive.badge.timemachine" with a read-write NTFS volume, else "externaldrive.fill" with a
// read-only one, else "externaldrive".
std::string statusSymbol(const std::vector<VolumeInfo>& volumes);

}  // namespace drivelark
