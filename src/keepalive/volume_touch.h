#pragma once

// A little real activity on a mounted volume, so that neither the disk nor its FUSE mount sits
// idle: its metadata, and one entry picked at random. Reads only. Blocks; off the main thread.

#include <cstddef>
#include <string>

#include "platform/files.h"

namespace drivelark {

inline constexpr std::size_t kMostNamesTouched = 64;

// Touches the volume at `mountPoint`. Fails when its listing failed. On macOS a FUSE-T volume is
// a network volume: a refusal (Status::isRefusal) means the user has not let Drivelark into
// network volumes, and no touch of it will work until they do.
Status touchVolume(Files& files, const std::string& mountPoint);

}  // namespace drivelark
