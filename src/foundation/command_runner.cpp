#include "foundation/command_runner.h"

#include <cstdio>

#include "foundation/text.h"

namespace drivelark {

namespace {

CommandResult resultOf(ProgramRun run) {
    if (!run.launch.ok()) return CommandResult{run.launch, 0, run.launch.toString()};
    if (!isValidUtf8(run.output)) run.output.clear();
    return CommandResult{Status(), run.status, std::move(run.output)};
}

}  // namespace

CommandResult runCommand(Processes& processes, const std::string& path, const std::vector<std::string>& arguments,
                         std::chrono::milliseconds timeLimit) {
    ProgramRun run = runProgram(processes, path, arguments, timeLimit);
    if (!run.timedOut) return resultOf(std::move(run));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", std::chrono::duration<double>(timeLimit).count());
    Status late(path + " did not finish within " + seconds + " s");
    return CommandResult{late, 0, late.toString()};
}

ProgramRun runProgram(Processes& processes, const std::string& path, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds timeLimit) {
    return processes.runToCompletion(path, arguments, timeLimit);
}

}  // namespace drivelark
