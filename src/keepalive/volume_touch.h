#pragma once

// A little real activity on a mounted volume, so that neither the disk nor its FUSE mount sits
// idle: its metadata, and one entry picked at random. Reads only. Blocks; off the main thread.

#include <cstddef>
#include <string>

namespace drivelark {

inline constexpr std::size_t kMostNamesTouched = 64;

void touchVolume(const std::string& mountPoint);

}  // namespace drivelark
