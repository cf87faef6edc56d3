#include "app/alert_texts.h"

#include "app/product_links.h"
#include "foundation/text.h"

namespace drivelark::AlertTexts {

Alert mountFailure(const std::string& name) {
    return {Alert::Style::warning, "挂载失败", "「" + name + "」未能转为读写模式，点菜单栏图标查看日志。", {}};
}

Alert fullDiskAccess() {
    return {Alert::Style::warning, "需要授予磁盘访问权限",
            "macOS 的隐私保护拦截了本工具对磁盘的写入，即使是管理员身份也会被拒绝。\n\n"
            "请授权一次（约 30 秒）：\n"
            "1. 点下方按钮打开系统设置\n"
            "2. 在「完全磁盘访问权限」列表里找到「Drivelark」并打开开关\n"
            "   （列表里没有就点 +，从「应用程序」里添加）\n"
            "3. 重新插拔一次磁盘即可\n\n"
            "这是 macOS 的安全机制，授权只影响本工具读写你的外接磁盘。",
            {"打开系统设置", "稍后再说"}};
}

Alert unsafeState(const std::string& name) {
    return {Alert::Style::warning, "磁盘处于「不安全状态」",
            "「" + name +
                "」上次在 Windows 上是通过「快速启动」或「睡眠」断开的，NTFS 卷上留有使用中标记，直接读写有数据风险。\n\n"
                "可以自动清理这个标记（只清标志位，不删除、不修改任何文件），清理后即可正常读写。\n\n"
                "更彻底的做法：把盘插回 Windows 完全关机（不是睡眠/快速启动）后再拔下来。",
            {"清理标记并挂载", "取消"}};
}

Alert repairFailure() {
    return {Alert::Style::warning, "修复失败",
            "标记清理未成功，建议插回 Windows 完全关机后再试，或换一条 USB 线/接口。", {}};
}

Alert keptReadOnly(const std::string& name) {
    return {Alert::Style::warning, "只能只读",
            "「" + name +
                "」所在的 Windows 处于休眠状态（或上次没有完全关机），强行写入会让 Windows 恢复时丢失数据，"
                "所以保持只读。\n\n请把盘插回 Windows，完全关机（不是睡眠/快速启动）后再插回来。",
            {"好", "仍然重试"}};
}

Alert ejectFailure(const std::string& name, const std::string& reason, const std::vector<VolumeHolder>& holders) {
    std::string users;
    for (const VolumeHolder& holder : holders)
        users += (users.empty() ? "" : "、") + holder.command + "（进程 " + std::to_string(holder.pid) + "）";
    return {Alert::Style::warning, "无法弹出「" + name + "」",
            "磁盘仍在使用中，没有弹出，也没有强行卸载，请不要拔下它。\n\n" + trimmed(reason) +
                (users.empty() ? "" : "\n\n正在使用它的程序：" + users) + "\n\n请先关闭正在使用这个磁盘上文件的程序，再重试。",
            {"重试", "取消"}};
}

Alert volumeChanged(const std::string& name) {
    return {Alert::Style::warning, "磁盘已更换",
            "「" + name + "」所在的设备上已经是另一块磁盘，本次没有做任何改动。请在菜单中重新选择。", {}};
}

Alert about() {
    return {Alert::Style::informational, "Drivelark v1.4.0",
            "让 macOS 直接读写 NTFS 磁盘的菜单栏工具。\n\n"
            "引擎：ntfs-3g + FUSE-T 已内置于本应用，\n无需安装任何额外组件，拖入「应用程序」即可使用。\n\n"
            "使用：插入 NTFS 磁盘后几秒内自动转为读写，无需任何操作。\n日志：~/Library/Logs/Drivelark.log\n\n"
            "────────────────────\n"
            "作者：" + std::string(ProductLinks::kAuthor) + "\n"
            "产品主页：" + ProductLinks::kHost + "/ntfs\n"
            "博客：" + ProductLinks::kHost,
            {"打开产品主页", "打开作者博客", "好"}};
}

Alert loginItemFailure(const std::string& localizedDescription) {
    return {Alert::Style::warning, "设置失败", localizedDescription, {}};
}

}  // namespace drivelark::AlertTexts
