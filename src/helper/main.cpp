// drivelark-mount: the privileged helper tool. sudo lets the console user run it as root without
// a password, so whoever starts it may be hostile: it keeps nothing of its caller's environment
// and checks every argument before it acts.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "helper/helper_commands.h"
#include "helper/helper_system_posix.h"
#include "platform/native_platform.h"

extern char** environ;

namespace {

// With a standard descriptor closed by the caller, the next device we open would take its
// number, and our messages would be written to the device.
void keepStandardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) ::_exit(1);
    }
}

// Children (diskutil, ntfs-3g, ...) see this environment and nothing the caller chose.
void useMinimalEnvironment() {
    static char path[] = "PATH=/usr/bin:/bin:/usr/sbin:/sbin";
    static char* minimal[] = {path, nullptr};
    environ = minimal;
    ::umask(022);
}

}  // namespace

int main(int argc, char** argv) {
    keepStandardDescriptorsOpen();
    const bool startedBySudo = std::getenv("SUDO_UID") != nullptr;
    useMinimalEnvironment();
    drivelark::helper::Outcome outcome;
    try {
        std::vector<std::string> arguments(argc > 0 ? argv + 1 : argv, argv + argc);
        auto native = drivelark::makeNativePlatform();
        drivelark::installPlatform(&native->services());
        drivelark::helper::PosixHelperSystem system(startedBySudo);
        outcome = drivelark::helper::runHelper(system, arguments);
    } catch (const std::exception& error) {
        outcome = drivelark::helper::failed(std::string("internal error: ") + error.what());
    }
    std::fwrite(outcome.text.data(), 1, outcome.text.size(), stdout);
    std::fflush(stdout);
    return outcome.status;
}
