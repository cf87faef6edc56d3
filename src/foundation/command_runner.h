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
    std::int32_t exit = 0;  // the program's status; 127 when it could not be started
    std::string out;        // standard output and error together, as UTF-8; empty when not valid UTF-8
};

// How long the disk utility and the mount program may take to list what they know.
inline constexpr std::chrono::milliseconds kListingTimeLimit{5000};

// Runs `path` with `arguments`, each passed as one argument exactly as given. Blocks the calling
// thread (never the main thread) until the program has exited and closed its output, or until
// `timeLimit`, when it is killed and reported as a failure: `exit` 137 and `out`
// "<path> did not finish within N s". Safe from any thread.
CommandResult runCommand(Processes& processes, const std::string& path, const std::vector<std::string>& arguments,
                         std::chrono::milliseconds timeLimit);

// The same, with the program's raw bytes, for readers that must not lose a listing to one line
// that is not UTF-8.
ProgramRun runProgram(Processes& processes, const std::string& path, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds timeLimit);

}  // namespace drivelark
