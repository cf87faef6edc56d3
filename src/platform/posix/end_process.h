#pragma once

// Ending the process once the application's event loop is over. Safe from any thread.

#include <cstdio>
#include <cstdlib>

namespace drivelark {

// Flushes standard output and error and ends the process with `status` without running any
// static destructor: background jobs may still be running and must never meet a destroyed object.
[[noreturn]] inline void endProcess(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace drivelark
