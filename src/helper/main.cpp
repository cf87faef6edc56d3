// drivelark-mount: the privileged helper tool. sudo lets the console user run it as root without
// a password, so whoever starts it may be hostile: it keeps nothing of its caller's environment
// and checks every argument before it acts.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "helper/helper_commands.h"
#include "platform/posix/helper_system_posix.h"

int main(int argc, char** argv) {
    drivelark::helper::PosixHelperSystem system;
    drivelark::helper::Outcome outcome;
    try {
        std::vector<std::string> arguments(argc > 0 ? argv + 1 : argv, argv + argc);
        outcome = drivelark::helper::runHelper(system, arguments);
    } catch (const std::exception& error) {
        outcome = drivelark::helper::failed(std::string("internal error: ") + error.what());
    }
    std::fwrite(outcome.text.data(), 1, outcome.text.size(), stdout);
    std::fflush(stdout);
    return outcome.status;
}
