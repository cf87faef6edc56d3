#pragma once

// The texts of every alert, exactly as the user reads them.

#include <string>

#include "mount/volume_holders.h"
#include "platform/user_interface.h"

namespace drivelark::AlertTexts {

Alert mountFailure(const std::string& name);
Alert fullDiskAccess();
Alert unsafeState(const std::string& name);
Alert repairFailure();
// Why a volume stays read-only: Windows left it hibernated, and the repair does not touch that.
Alert keptReadOnly(const std::string& name);
// A volume the user ejected is still mounted: `reason` is what the disk utility said, `holders` the
// processes found using it.
Alert ejectFailure(const std::string& name, const std::string& reason, const std::vector<VolumeHolder>& holders);
// The disk was swapped for another under the same device name before the operation could start.
Alert volumeChanged(const std::string& name);
Alert about();
Alert loginItemFailure(const std::string& localizedDescription);

inline constexpr const char* kFullDiskAccessSettings =
    "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";

}  // namespace drivelark::AlertTexts
