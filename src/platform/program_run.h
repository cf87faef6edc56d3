#pragma once

// What happened to a program that was run to completion.

#include <string>

namespace drivelark {

struct ProgramRun {
    bool launched = false;     // false: the program never started; `launchError` says why
    std::string launchError;
    int status = 0;            // exit status; 128 + signal number when a signal ended it
    std::string output;        // raw bytes of standard output and standard error, in arrival order
    bool timedOut = false;     // true: killed at its time limit; `status` is then 128 + SIGKILL
};

}  // namespace drivelark
