// The two ways to root: the installed helper tool under "sudo -n", and the application's own
// copy of it behind the administrator password prompt of osascript.

#include "foundation/app_log.h"
#include "foundation/command_runner.h"
#include "foundation/system_programs.h"
#include "mount/mount_manager.h"
#include "mount/root_commands.h"

namespace drivelark {

namespace {

std::chrono::milliseconds callerLimit(std::chrono::seconds budget) { return budget + HelperProtocol::kCallerMargin; }

// sudo's 126 and 127: the password-free channel could not run the command at all (sudo or the
// tool missing or not executable), as opposed to the command failing.
bool channelCouldNotRun(int status) { return status == 126 || status == 127; }

// osascript reports a failed command as "<start>:<end>: execution error: <output> (<status>)",
// with the output's line feeds turned into carriage returns: the command's own output is taken
// back out of that, so that its marker lines stand on lines of their own.
std::string commandOutputOfPrompt(std::string_view report) {
    auto skipDigits = [](std::string_view& text) {
        size_t digits = text.find_first_not_of("0123456789");
        if (digits == 0 || digits == std::string_view::npos) return false;
        text.remove_prefix(digits);
        return true;
    };
    std::string_view rest = report;
    constexpr std::string_view kError = ": execution error: ";
    bool framed = skipDigits(rest) && rest.starts_with(':') && (rest.remove_prefix(1), skipDigits(rest)) &&
                  rest.starts_with(kError);
    if (framed) {
        rest.remove_prefix(kError.size());
        size_t end = rest.find_last_not_of(" \t\r\n");
        size_t open = end == std::string_view::npos ? end : rest.rfind(" (", end);
        framed = open != std::string_view::npos && rest[end] == ')';
        if (framed) rest = rest.substr(0, open);
    }
    std::string output(framed ? rest : report);
    for (char& c : output) {
        if (c == '\r') c = '\n';
    }
    return output;
}

// The shell command that runs the application's own copy of the helper tool with `arguments`, for
// the administrator prompt. None when the application's folder cannot be found.
std::optional<std::string> bundledHelperCommand(Bundle& bundle, const std::vector<std::string>& arguments) {
    std::optional<std::string> folder = bundle.executableDirectory();
    if (!folder) return std::nullopt;
    return shellCommandLine(*folder + "/drivelark-mount", arguments);
}

}  // namespace

MountManager::MountManager(Platform& platform, AppLog& log) : platform_(platform), log_(log), registry_(platform.defaults, log) {}

bool MountManager::helperAvailable() const { return platform_.files.isExecutable(helperPath); }

CommandResult MountManager::runHelper(const std::vector<std::string>& arguments, std::chrono::seconds budget) const {
    std::vector<std::string> sudoArguments = {"-n", helperPath};
    sudoArguments.insert(sudoArguments.end(), arguments.begin(), arguments.end());
    return runCommand(platform_.processes, kSudoPath, sudoArguments, callerLimit(budget));
}

bool MountManager::freePasswordWorks() const { return runHelper({"selftest"}, HelperProtocol::kSelftestBudget).succeeded(); }

bool MountManager::helperRunsWithoutPassword() const { return helperAvailable() && freePasswordWorks(); }

std::optional<CommandResult> MountManager::runViaHelper(const std::vector<std::string>& arguments,
                                                        std::chrono::seconds budget) const {
    if (!helperRunsWithoutPassword()) return std::nullopt;
    CommandResult result = runHelper(arguments, budget);
    if (result.run.ok() && channelCouldNotRun(result.exit)) return std::nullopt;
    return result;
}

void MountManager::runAsRoot(const std::string& command, std::chrono::seconds budget, MountCompletion completion) {
    platform_.dispatcher.runInBackground(QualityOfService::userInitiated, [self = shared_from_this(), command, budget,
                                                                          completion = std::move(completion)] {
        CommandResult result = runCommand(self->platform_.processes, kOsascriptPath, administratorScriptArguments(command),
                                          kPromptTimeLimit + budget);
        std::string output = commandOutputOfPrompt(result.out);
        self->platform_.dispatcher.runOnMain([completion, ok = result.succeeded(), output] { completion(ok, output); });
    });
}

// The helper tool with `arguments`: through sudo when it is usable, else the application's own copy
// behind the password prompt. `completion` learns which channel ran it.
void MountManager::runTool(const std::vector<std::string>& arguments, std::chrono::seconds budget,
                           std::function<void(bool ok, const std::string& out, bool passwordFree)> completion) {
    auto viaPrompt = [self = shared_from_this(), arguments, budget, completion] {
        std::optional<std::string> command = bundledHelperCommand(self->platform_.bundle, arguments);
        if (!command) return completion(false, "找不到应用自带的 drivelark-mount", false);
        self->runAsRoot(*command, budget, [completion](bool ok, const std::string& out) { completion(ok, out, false); });
    };
    if (!helperAvailable()) return viaPrompt();
    platform_.dispatcher.runInBackground(QualityOfService::userInitiated, [self = shared_from_this(), arguments, budget,
                                                                          completion, viaPrompt] {
        std::optional<CommandResult> result = self->runViaHelper(arguments, budget);
        self->platform_.dispatcher.runOnMain([self, result, completion, viaPrompt] {
            if (!result) {
                self->log_.line("免密通道不可用，改走管理员授权");
                return viaPrompt();
            }
            completion(result->succeeded(), result->out, true);
        });
    });
}

bool MountManager::isUnsafeStateError(const std::string& out) {
    return HelperProtocol::hasMarkerLine(out, HelperProtocol::kUnsafeState) || isHibernated(out);
}

bool MountManager::isHibernated(const std::string& out) {
    return HelperProtocol::hasMarkerLine(out, HelperProtocol::kHibernated);
}

bool MountManager::isWriteDeniedError(const std::string& out) {
    return HelperProtocol::hasMarkerLine(out, HelperProtocol::kWriteDenied);
}

bool MountManager::isVolumeChanged(const std::string& out) {
    return HelperProtocol::hasMarkerLine(out, HelperProtocol::kVolumeChangedMarker);
}

}  // namespace drivelark
