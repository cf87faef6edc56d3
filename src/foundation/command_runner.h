#pragma once

// The one way Drivelark runs an external program: to completion, without a shell, and never for
// longer than a time limit, since a program stuck on a dead disk would otherwise hold its caller
// for ever.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace drivelark {

struct CommandResult {
    Status run;             // failed when the program could not be started or did not finish in time
    std::int32_t exit = 0;  // the program's exit status, once it ran to its end
    // Standard output and error together, as UTF-8; empty when not valid UTF-8. When the run
    // failed: the status described, for the caller to report.
    std::string out;

    bool succeeded() const { return run.ok() && exit == 0; }
};

// How long the disk utility and the mount program may take to list what they know.
inline constexpr std::chrono::milliseconds kListingTimeLimit{5000};

// Runs `path` with `arguments`, each passed as one argument exactly as given. Blocks the calling
// thread (never the main thread) until the program has exited and closed its output, or until
// `timeLimit`, when it is killed and its run fails: "<path> did not finish within N s". Safe from
// any thread.
CommandResult runCommand(Processes& processes, const std::string& path, const std::vector<std::string>& arguments,
                         std::chrono::milliseconds timeLimit);

// The same, with the program's raw bytes, for readers that must not lose a listing to one line
// that is not UTF-8.
ProgramRun runProgram(Processes& processes, const std::string& path, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds timeLimit);

}  // namespace drivelark
