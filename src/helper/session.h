#pragma once

// One run of a subcommand: the system it works on and the time it has left. Every program it
// runs and every wait it makes ends by its deadline, so that the tool stops within its budget.

#include <chrono>
#include <string>
#include <vector>

#include "platform/helper_system.h"

namespace drivelark::helper {

class Session {
public:
    Session(HelperSystem& system, std::chrono::milliseconds budget)
        : system(system), deadline_(system.now() + budget) {}

    // `path` with `arguments`, stopped at `limit` or at the deadline, whichever comes first; not
    // started at all once the time is up.
    ProgramRun run(const std::string& path, const std::vector<std::string>& arguments,
                   std::chrono::milliseconds limit);
    // Waits `duration`; false, without waiting, when that would pass the deadline.
    bool pause(std::chrono::milliseconds duration);
    std::chrono::milliseconds left();

    HelperSystem& system;

private:
    HelperSystem::Clock::time_point deadline_;
};

}  // namespace drivelark::helper
