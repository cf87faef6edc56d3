#pragma once

// The ntfs-3g tools the helper runs as root: only the copies installed beside it, and only while
// nobody but root can change them or their folder. A tool taken from a folder a user can write
// would run that user's code as root.

#include <optional>
#include <string>

#include "helper/helper_system.h"

namespace drivelark::helper {

// True when `info` describes something owned by root that neither its group nor others may write.
bool isRootOnly(const FileInfo& info);

struct TrustedTool {
    std::optional<std::string> path;
    std::string problem;  // why the tool may not run, when there is no path
};

// The tool `name` (such as "ntfs-3g") in the running executable's own folder, when the folder
// is a root-only directory and the tool a root-only regular file.
TrustedTool trustedTool(HelperSystem& system, const std::string& name);

}  // namespace drivelark::helper
