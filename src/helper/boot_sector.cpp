#include "helper/boot_sector.h"

namespace drivelark::helper {

bool isNtfsBootSector(std::string_view sector) {
    return sector.size() >= kBootSectorSize && sector.substr(3, 8) == "NTFS    " &&
           static_cast<unsigned char>(sector[510]) == 0x55 && static_cast<unsigned char>(sector[511]) == 0xAA;
}

}  // namespace drivelark::helper
