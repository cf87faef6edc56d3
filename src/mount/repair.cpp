// Unsafe-state repair: "ntfsfix -d" clears the in-use mark that Windows leaves behind.

#include "foundation/app_log.h"
#include "foundation/command_runner.h"
#include "foundation/text.h"
#include "mount/mount_manager.h"
#include "mount/mount_target.h"
#include "mount/system_tools.h"
#include "platform/platform.h"

namespace drivelark::MountManager {

namespace {

void finish(bool ok, const std::string& outcome, const std::string& out, const MountCompletion& completion) {
    AppLog::line("脏标记清理" + outcome + ": " + trimmed(out));
    completion(ok, out);
}

void fixViaPrompt(const std::string& deviceID, MountCompletion completion) {
    std::optional<std::string> command = bundledHelperCommand({"fix", deviceID});
    if (!command) return finish(false, "失败", "找不到应用自带的 drivelark-mount", completion);
    runAsRoot(*command, [completion](bool ok, const std::string& out) { finish(ok, ok ? "完成" : "失败", out, completion); });
}

}  // namespace

void fixUnsafeState(const std::string& deviceID, MountCompletion completion) {
    AppLog::line("清理脏标记 ntfsfix -d /dev/" + deviceID);
    Dispatcher& dispatcher = platform().dispatcher;
    if (!isDeviceIdentifier(deviceID)) {
        dispatcher.runOnMain([completion = std::move(completion)] {
            finish(false, "失败", "设备标识不能安全地用于修复", completion);
        });
        return;
    }
    // The repair takes the system's read-only mount away while it works.
    markInternalUnmount();
    dispatcher.runInBackground(QualityOfService::userInitiated, [deviceID, completion = std::move(completion)] {
        if (!helperUsable()) {
            platform().dispatcher.runOnMain([deviceID, completion] { fixViaPrompt(deviceID, completion); });
            return;
        }
        CommandResult result = runCommand(kSudoPath, {"-n", helperPath, "fix", deviceID});
        platform().dispatcher.runOnMain([completion, result] {
            bool ok = result.exit == 0;
            finish(ok, ok ? "完成(免密通道)" : "失败", result.out, completion);
        });
    });
}

}  // namespace drivelark::MountManager
