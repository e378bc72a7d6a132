// One volume, as every volume list, page and engine passes it around.
#pragma once

#include <cstdint>
#include <string>

namespace lv {

struct VolumeEntry {
  // "NTFS", "FAT12", "FAT16", "FAT32", "FAT64" (exFAT), "extX", "HFS+",
  // "Unknown", a GPT partition name, or the kind a mounted volume reports.
  // Compared without regard to case.
  std::wstring fileSystem;
  // Tree label of a mounted volume (its mount point ending in "/"); empty
  // in rows made by partition scans.
  std::wstring label;
  // Device path of a mounted volume, or a partition row's number as text.
  std::wstring name;
  // The size as shown; its format depends on where the row was made.
  std::wstring sizeText;
  // First sector (512 bytes) from the start of the opened device.
  int64_t startSector = 0;
};

}  // namespace lv
