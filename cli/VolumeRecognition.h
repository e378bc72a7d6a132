// Recognition of the file system of a volume from its first sectors, for a
// source given as one whole volume.
#pragma once

#include <cstdint>
#include <string>

#include "disk/Reader.h"

namespace lv::cli {

// The file-system text the scan job knows ("NTFS", "FAT12", "FAT16",
// "FAT32", "FAT64", "extX", "HFS+"), or "Unknown". The volume starts at
// startSector and holds sectorCount sectors; an NTFS volume whose boot
// sector is damaged is still recognised by the backup boot sector in its
// last sector. The reader's baseOffset is left at 0.
std::wstring RecognizeFileSystem(readWriteInterface& reader, int64_t startSector, int64_t sectorCount);

}  // namespace lv::cli
