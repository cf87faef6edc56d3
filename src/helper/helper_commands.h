#pragma once

// The helper tool's work, from its command line to what it prints and its exit status.

#include <string>
#include <vector>

#include "platform/helper_system.h"
#include "helper/outcome.h"

namespace drivelark::helper {

// `arguments` are the command line after the program's own name.
Outcome runHelper(HelperSystem& system, const std::vector<std::string>& arguments);

}  // namespace drivelark::helper
