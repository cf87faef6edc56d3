#pragma once

// The one way Drivelark runs an external program: to completion, without a shell.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace drivelark {

struct CommandResult {
    std::int32_t exit = 0;  // the program's status; 127 when it could not be started
    std::string out;        // standard output and error together, as UTF-8; empty when not valid UTF-8
};

// Runs `path` with `arguments`, each passed as one argument exactly as given. Blocks the
// calling thread until the program has exited and closed its output. Safe from any thread.
CommandResult runCommand(const std::string& path, const std::vector<std::string>& arguments);
// The same, but a program still running after `timeLimit` is killed and reported as a failure:
// `exit` 137 and `out` "<path> did not finish within N s".
CommandResult runCommand(const std::string& path, const std::vector<std::string>& arguments,
                         std::chrono::milliseconds timeLimit);

// How long a program run on the main thread may take: a hung one would freeze the menu.
inline constexpr std::chrono::milliseconds kMainThreadTimeLimit{5000};

}  // namespace drivelark
