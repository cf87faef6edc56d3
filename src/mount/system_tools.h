#pragma once

// The programs through which mount operations reach root, and what their statuses mean.

#include "foundation/system_programs.h"

namespace drivelark {

inline constexpr const char* kSudoPath = "/usr/bin/sudo";
inline constexpr const char* kOsascriptPath = "/usr/bin/osascript";

// sudo exits 126 or 127 when the password-free channel could not run the command at all (the tool
// missing or not executable), as opposed to the command failing.
inline bool channelCouldNotRun(int status) { return status == 126 || status == 127; }

}  // namespace drivelark
