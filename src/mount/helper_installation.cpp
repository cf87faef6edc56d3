// Setting up the password-free channel once per run: the installer behind one password prompt.

#include "foundation/app_log.h"
#include <utility>
#include "foundation/text.h"
#include "mount/mount_manager.h"
#include "mount/root_commands.h"

namespace drivelark {

namespace {

constexpr std::chrono::seconds kInstallerBudget{60};

// The installer's command, when the application carries the installer and the tools it installs.
// Looks at the application's folders: off the main thread, since they may be on a mounted volume.
std::optional<std::string> installerCommand(Bundle& bundle, Files& files) {
    std::optional<std::string> resources = bundle.resourceDirectory();
    std::optional<std::string> executables = bundle.executableDirectory();
    if (!resources || !executables || !files.exists(*resources + "/install_helper.sh") ||
        !files.exists(*executables + "/ntfs-3g"))
        return std::nullopt;
    return "/bin/bash " + shellQuoted(*resources + "/install_helper.sh") + " " + shellQuoted(*executables) + " " +
           shellQuoted(*resources);
}

}  // namespace

void MountManager::ensureHelperInstalled(std::function<void()> installed) {
    if (std::exchange(helperInstallAttempted_, true)) return;
    platform_.dispatcher.runInBackground(QualityOfService::utility, [self = shared_from_this(), installed = std::move(installed)] {
        if (self->freePasswordWorks()) return;
        std::optional<std::string> command = installerCommand(self->platform_.bundle, self->platform_.files);
        self->platform_.dispatcher.runOnMain([self, command, installed] {
            if (!command) return self->log_.line("免密通道缺失且安装资源不全，降级为逐次管理员授权模式");
            self->log_.line("免密通道未配置，请求一次管理员授权以自动安装");
            self->runAsRoot(*command, kInstallerBudget, [self, installed](bool ok, const std::string& out) {
                if (ok && contains(out, "HELPER_INSTALL_OK")) {
                    self->log_.line("免密通道自动安装成功，后续挂载不再需要密码");
                    installed();
                } else {
                    self->log_.line("免密通道自动安装未完成（用户取消或失败），降级为逐次授权: " + trimmed(out));
                }
            });
        });
    });
}

}  // namespace drivelark
