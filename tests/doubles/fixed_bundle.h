#pragma once

// Test double for the Bundle port: an application at /Applications/Drivelark.app.

#include "platform/bundle.h"

namespace drivelark::testing {

class FixedBundle final : public Bundle {
public:
    std::optional<std::string> executableDirectory() override { return "/Applications/Drivelark.app/Contents/MacOS"; }
    std::optional<std::string> resourceDirectory() override { return "/Applications/Drivelark.app/Contents/Resources"; }
};

}  // namespace drivelark::testing
