#pragma once

// Test double for the Bundle port: an application at /Applications/Drivelark.app, or one whose
// folders cannot be found.

#include "platform/bundle.h"

namespace drivelark::testing {

class FixedBundle final : public Bundle {
public:
    static constexpr const char* kExecutableDirectory = "/Applications/Drivelark.app/Contents/MacOS";
    static constexpr const char* kResourceDirectory = "/Applications/Drivelark.app/Contents/Resources";

    std::optional<std::string> executableDirectory() override { return executable; }
    std::optional<std::string> resourceDirectory() override { return resources; }

    std::optional<std::string> executable = kExecutableDirectory;
    std::optional<std::string> resources = kResourceDirectory;
};

}  // namespace drivelark::testing
