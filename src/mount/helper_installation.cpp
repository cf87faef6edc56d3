// Setting up the password-free channel once per run: the installer behind one password prompt.

#include <atomic>

#include "foundation/app_log.h"
#include "foundation/text.h"
#include "mount/mount_manager.h"
#include "mount/root_commands.h"
#include "platform/platform.h"

namespace drivelark::MountManager {

void ensureHelperInstalled(std::function<void()> installed) {
    static std::atomic<bool> helperInstallAttempted{false};
    if (helperInstallAttempted.exchange(true)) return;
    if (freePasswordWorks()) return;

    Platform& services = platform();
    std::optional<std::string> resources = services.bundle.resourceDirectory();
    std::optional<std::string> executables = services.bundle.executableDirectory();
    if (!resources || !executables || !services.files.exists(*resources + "/install_helper.sh") ||
        !services.files.exists(*executables + "/ntfs-3g")) {
        AppLog::line("免密通道缺失且安装资源不全，降级为逐次管理员授权模式");
        return;
    }
    AppLog::line("免密通道未配置，请求一次管理员授权以自动安装");
    std::string command = "/bin/bash " + shellQuoted(*resources + "/install_helper.sh") + " " +
                          shellQuoted(*executables) + " " + shellQuoted(*resources);
    runAsRoot(command, [installed = std::move(installed)](bool ok, const std::string& out) {
        if (ok && contains(out, "HELPER_INSTALL_OK")) {
            AppLog::line("免密通道自动安装成功，后续挂载不再需要密码");
            installed();
        } else {
            AppLog::line("免密通道自动安装未完成（用户取消或失败），降级为逐次授权: " + trimmed(out));
        }
    });
}

}  // namespace drivelark::MountManager
