#pragma once

// Recognising an NTFS volume by its boot sector, before anything is allowed to write to it:
// tools pointed at the wrong device have destroyed FAT volumes.

#include <cstddef>
#include <string_view>

namespace drivelark::helper {

inline constexpr std::size_t kBootSectorSize = 512;

// True when `sector` (the first bytes of the device) has the OEM name "NTFS    " at offset 3
// and the signature 0x55 0xAA at offset 510.
bool isNtfsBootSector(std::string_view sector);

}  // namespace drivelark::helper
