#include "platform/posix/bundle_posix.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace drivelark {

std::optional<std::string> runningExecutablePath() {
    char path[PATH_MAX];
#if defined(__APPLE__)
    uint32_t size = sizeof path;
    if (_NSGetExecutablePath(path, &size) != 0) return std::nullopt;
#else
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return std::nullopt;
    path[length] = '\0';
#endif
    char resolved[PATH_MAX];
    if (::realpath(path, resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
}

std::optional<std::string> ExecutableBundle::executableDirectory() {
    std::optional<std::string> executable = runningExecutablePath();
    if (!executable) return std::nullopt;
    return executable->substr(0, executable->rfind('/'));
}

std::optional<std::string> ExecutableBundle::resourceDirectory() {
    std::optional<std::string> directory = executableDirectory();
    size_t slash = directory ? directory->rfind('/') : std::string::npos;
    if (slash == std::string::npos) return std::nullopt;
    return directory->substr(0, slash) + "/Resources";
}

}  // namespace drivelark
