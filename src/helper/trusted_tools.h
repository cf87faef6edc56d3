#pragma once

// The ntfs-3g tools the helper runs as root: only the copies beside it. Started by sudo, which
// lets a user run it without a password, it also requires that nobody but root can change them or
// their folder: a tool from a folder a user can write would run that user's code as root. Started
// otherwise, an administrator has just authorised the application's own copy with a password, and
// its tools beside it with it.

#include <string>

#include "helper/outcome.h"
#include "platform/helper_system.h"

namespace drivelark::helper {

// True when `info` describes something owned by root that neither its group nor others may write.
bool isRootOnly(const FileInfo& info);

// Sets `path` to the tool `name` (such as "ntfs-3g") in the running executable's own folder: a
// regular file, and under sudo a root-only one in a root-only folder. Refuses otherwise.
Outcome trustedTool(HelperSystem& system, const std::string& name, std::string* path);

}  // namespace drivelark::helper
