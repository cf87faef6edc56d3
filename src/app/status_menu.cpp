#include "app/status_menu.h"

#include <algorithm>

namespace drivelark {

namespace {

MenuEntry separator() { return MenuEntry{}; }

MenuEntry entry(std::string title, MenuAction action, bool checked = false, std::string key = {}) {
    return MenuEntry{MenuRow{std::move(title), true, checked, std::move(key)}, action, std::nullopt};
}

MenuEntry volumeRow(const VolumeInfo& volume, bool keptReadOnly) {
    const std::string name = "「" + volume.name + "」";
    if (volume.kind == VolumeInfo::Kind::ntfsReadWrite)
        return MenuEntry{{name + " ✓ 读写中 — 点击弹出磁盘"}, MenuAction::ejectVolume, volume};
    if (keptReadOnly)
        return MenuEntry{{name + " 只读（Windows 未完全关机）— 点击查看原因"}, MenuAction::mountReadWrite, volume};
    return MenuEntry{{name + " 当前只读 — 点击转为读写"}, MenuAction::mountReadWrite, volume};
}

}  // namespace

std::vector<MenuEntry> buildStatusMenu(const std::vector<VolumeInfo>& volumes, const MenuSettings& settings) {
    std::vector<MenuEntry> menu;
    for (const VolumeInfo& volume : volumes) {
        if (volume.isNTFS()) menu.push_back(volumeRow(volume, settings.keptReadOnly(volume)));
    }
    if (menu.empty()) menu.push_back(MenuEntry{{"未检测到 NTFS 磁盘", false}, MenuAction::none, std::nullopt});
    menu.push_back(separator());
    menu.push_back(entry("插入 NTFS 磁盘时自动转为读写", MenuAction::toggleAuto, settings.autoMount));
    menu.push_back(entry("登录时自动启动", MenuAction::toggleLaunch, settings.launchAtLogin));
    menu.push_back(separator());
    menu.push_back(entry("产品主页（教程与下载）", MenuAction::openProductPage));
    menu.push_back(entry("关于 Drivelark", MenuAction::about));
    menu.push_back(separator());
    menu.push_back(entry("退出", MenuAction::quit, false, "q"));
    return menu;
}

std::string statusSymbol(const std::vector<VolumeInfo>& volumes) {
    auto any = [&](VolumeInfo::Kind kind) {
        return std::any_of(volumes.begin(), volumes.end(), [kind](const VolumeInfo& v) { return v.kind == kind; });
    };
    if (any(VolumeInfo::Kind::ntfsReadWrite)) return "externaldrive.badge.timemachine";
    if (any(VolumeInfo::Kind::ntfsReadOnly)) return "externaldrive.fill";
    return "externaldrive";
}

}  // namespace drivelark
