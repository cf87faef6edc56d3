#pragma once

// Port: where the application's own files are (the application bundle on macOS).
// Thread-safe.

#include <optional>
#include <string>

namespace drivelark {

class Bundle {
public:
    virtual ~Bundle() = default;
    // The folder holding the application's executable (Drivelark.app/Contents/MacOS).
    virtual std::optional<std::string> executableDirectory() = 0;
    // The folder of the bundle's resources (Drivelark.app/Contents/Resources).
    virtual std::optional<std::string> resourceDirectory() = 0;
};

}  // namespace drivelark
