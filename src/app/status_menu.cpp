#include "app/status_menu.h"

#include <algorithm>
#include <cstdio>

namespace drivelark {

namespace {

MenuEntry separator() { return MenuEntry{}; }

MenuEntry entry(std::string title, MenuAction action, bool checked = false, std::string key = {}) {
    return MenuEntry{MenuRow{std::move(title), true, checked, std::move(key)}, action, std::nullopt};
}

MenuEntry inProgress(std::string title) {
    return MenuEntry{MenuRow{std::move(title), false, false, {}}, MenuAction::none, std::nullopt};
}

MenuEntry volumeEntry(std::string title, MenuAction action, const VolumeInfo& volume) {
    return MenuEntry{MenuRow{std::move(title), true, false, {}}, action, volume};
}

std::string readWriteState(const VolumeCheck& check) {
    if (check.healthy()) return " ✓ 读写中，剩余 " + byteCount(check.availableBytes) + " — 点击弹出磁盘";
    if (check.dead()) return " ✓ 读写中，无响应 — 点击弹出磁盘";
    return " ✓ 读写中，剩余空间读取中 — 点击弹出磁盘";
}

}  // namespace

std::string byteCount(std::uint64_t bytes) {
    constexpr std::pair<double, const char*> kUnits[] = {{1e12, "TB"}, {1e9, "GB"}, {1e6, "MB"}, {1e3, "KB"}};
    for (auto [size, unit] : kUnits) {
        if (static_cast<double>(bytes) >= size) {
            char text[32];
            std::snprintf(text, sizeof text, "%.1f %s", static_cast<double>(bytes) / size, unit);
            return text;
        }
    }
    return std::to_string(bytes) + " 字节";
}

std::vector<MenuEntry> buildStatusMenu(const MenuVolumes& volumes, const MenuSettings& settings) {
    std::vector<const VolumeInfo*> shown;
    for (const VolumeInfo& volume : volumes.mounted) {
        if (volume.isNTFS() && !volumes.converting.contains(volume.deviceID)) shown.push_back(&volume);
    }
    std::map<std::string, int> uses;  // of each name, so that clashing rows can name their devices
    for (const VolumeInfo* volume : shown) ++uses[volume->name];
    for (const auto& [device, name] : volumes.converting) ++uses[name];
    auto quoted = [&](const std::string& name, const std::string& device) {
        return "「" + name + "」" + (uses[name] > 1 && !device.empty() ? " (" + device + ")" : "");
    };

    std::vector<MenuEntry> menu;
    for (const VolumeInfo* volume : shown) {
        const std::string name = quoted(volume->name, volume->deviceID);
        if (volume->kind == VolumeInfo::Kind::ntfsReadWrite) {
            if (volumes.ejecting.contains(volume->mountPoint)) {
                menu.push_back(inProgress(name + " 正在弹出…"));
                continue;
            }
            menu.push_back(volumeEntry(name + readWriteState(volume->check), MenuAction::ejectVolume, *volume));
        } else if (settings.keptReadOnly(*volume)) {
            menu.push_back(volumeEntry(name + " 只读（Windows 未完全关机）— 点击查看原因", MenuAction::mountReadWrite, *volume));
        } else {
            menu.push_back(volumeEntry(name + " 当前只读 — 点击转为读写", MenuAction::mountReadWrite, *volume));
        }
    }
    for (const auto& [device, name] : volumes.converting) menu.push_back(inProgress(quoted(name, device) + " 正在转为读写…"));
    if (menu.empty()) menu.push_back(inProgress(volumes.known ? "未检测到 NTFS 磁盘" : "正在检查磁盘…"));
    menu.push_back(separator());
    menu.push_back(entry("插入 NTFS 磁盘时自动转为读写", MenuAction::toggleAuto, settings.autoMount));
    menu.push_back(entry("登录时自动启动", MenuAction::toggleLaunch, settings.launchAtLogin));
    menu.push_back(separator());
    menu.push_back(entry("产品主页（教程与下载）", MenuAction::openProductPage));
    menu.push_back(entry("查看日志…", MenuAction::showLog));
    menu.push_back(entry("关于 Drivelark", MenuAction::about));
    menu.push_back(separator());
    menu.push_back(entry("退出", MenuAction::quit, false, "q"));
    return menu;
}

StatusIcon statusIcon(const std::vector<VolumeInfo>& volumes) {
    auto any = [&](VolumeInfo::Kind kind) {
        return std::any_of(volumes.begin(), volumes.end(), [kind](const VolumeInfo& v) { return v.kind == kind; });
    };
    if (any(VolumeInfo::Kind::ntfsReadWrite)) return {"externaldrive.badge.timemachine", "有读写卷"};
    if (any(VolumeInfo::Kind::ntfsReadOnly)) return {"externaldrive.fill", "无读写卷（有只读 NTFS 卷）"};
    return {"externaldrive", "无读写卷"};
}

}  // namespace drivelark
