#pragma once

// The application's folders, found from the running executable's own path: the executable
// sits in Contents/MacOS of the bundle, its resources in Contents/Resources.

#include "platform/bundle.h"

namespace drivelark {

class ExecutableBundle final : public Bundle {
public:
    std::optional<std::string> executableDirectory() override;
    std::optional<std::string> resourceDirectory() override;
};

// The absolute path of the running executable with every symbolic link resolved.
std::optional<std::string> runningExecutablePath();

}  // namespace drivelark
