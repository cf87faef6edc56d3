#pragma once

// Checks that a device is what the caller says before root touches it: a disk the disk utility
// knows by that name, holding NTFS, whose raw node the system lets us write.

#include <optional>
#include <string>
#include <string_view>

#include "helper/helper_system.h"
#include "helper/outcome.h"

namespace drivelark::helper {

// Refuses unless the disk utility describes `device` under that very name and its boot sector
// says NTFS.
std::optional<Outcome> stopUnlessNtfsDevice(HelperSystem& system, const std::string& device);

// True for the errors with which the system refuses raw writes (privacy settings, read-only media).
bool isWriteDenial(int error);

// Opens /dev/r<device> for writing and writes nothing: when the system refuses, ntfs-3g could
// not write either, and the output carries __WRITE_DENIED__ for the caller.
std::optional<Outcome> stopIfWritesRefused(HelperSystem& system, const std::string& device);

}  // namespace drivelark::helper
