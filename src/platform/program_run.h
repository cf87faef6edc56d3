#pragma once

// What happened to a program that was run to completion.

#include <string>

#include "platform/status.h"

namespace drivelark {

struct ProgramRun {
    Status launch;          // why the program never started; the fields below then say nothing
    int status = 0;         // exit status; 128 + signal number when a signal ended it
    std::string output;     // raw bytes of standard output and standard error, in arrival order
    bool timedOut = false;  // true: killed at its time limit; `status` is then 128 + SIGKILL
};

}  // namespace drivelark
