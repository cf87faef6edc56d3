// The two ways to root: the installed helper tool under "sudo -n", and the application's own
// copy of it behind the administrator password prompt of osascript.

#include "foundation/command_runner.h"
#include "mount/mount_manager.h"
#include "mount/root_commands.h"
#include "mount/system_tools.h"
#include "platform/platform.h"

namespace drivelark::MountManager {

bool helperAvailable() { return platform().files.isExecutable(helperPath); }

bool freePasswordWorks() { return runCommand(kSudoPath, {"-n", helperPath, "selftest"}).exit == 0; }

bool helperUsable() { return helperAvailable() && freePasswordWorks(); }

std::optional<CommandOutcome> runViaHelper(const std::vector<std::string>& arguments) {
    if (!helperUsable()) return std::nullopt;
    std::vector<std::string> sudoArguments = {"-n", helperPath};
    sudoArguments.insert(sudoArguments.end(), arguments.begin(), arguments.end());
    CommandResult result = runCommand(kSudoPath, sudoArguments);
    if (channelCouldNotRun(result.exit)) return std::nullopt;
    return CommandOutcome{result.exit == 0, std::move(result.out)};
}

void runAsRoot(const std::string& command, MountCompletion completion) {
    platform().dispatcher.runInBackground(QualityOfService::userInitiated, [command, completion = std::move(completion)] {
        CommandResult result = runCommand(kOsascriptPath, administratorScriptArguments(command));
        platform().dispatcher.runOnMain([completion, result] { completion(result.exit == 0, result.out); });
    });
}

std::optional<std::string> bundledHelperCommand(const std::vector<std::string>& arguments) {
    std::optional<std::string> folder = platform().bundle.executableDirectory();
    if (!folder) return std::nullopt;
    return shellCommandLine(*folder + "/drivelark-mount", arguments);
}

}  // namespace drivelark::MountManager
