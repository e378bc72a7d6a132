// The fuzz targets' entry points. The libFuzzer programs call them on every
// input; the unit tests call them on the committed seeds and on every input
// that once made a target fail. Each returns normally or aborts: a broken
// invariant of its own is reported through abort(), a memory fault or
// undefined behaviour through the sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lv::fuzz {

// The input as a whole disk image: the standard partition scan, once
// without and once with GPT.
void PartitionScan(const uint8_t* data, size_t size);

// A small real NTFS volume with parts replaced by the input. Byte 0 picks
// the mode (a low nibble of 0 is a deep scan, anything else standard);
// then come chunks of one selector byte and up to 1024 bytes: selector
// 0xFF overwrites the boot sector with the chunk's first 512 bytes, any
// other selects MFT record (selector % records) and overwrites it. The scan
// runs to its end and every file is saved into a fresh temporary folder,
// which must be all that changed.
void NtfsVolume(const uint8_t* data, size_t size);

// A small real FAT volume with parts replaced by the input. Byte 0: bit 0
// picks the volume (0: a FAT12 floppy, the FAT16 engine; 1: the first
// 2 MiB of a FAT32 volume), bit 1 sets FormattedDriveMode. Then chunks of
// one selector byte and up to 512 bytes: selector 0xFF overwrites the boot
// sector, any other one of the volume's table, root directory and first data
// sectors (selector % their count). The scan runs to its end and every file
// is saved into a fresh temporary folder, which must be all that changed.
void FatVolume(const uint8_t* data, size_t size);

// A small real exFAT volume (the exfat-small fixture) with parts replaced
// by the input. Bit 0 of byte 0 sets FormattedDriveMode for the run; then
// come chunks of one selector byte and up to 512 bytes: selector 0xFF
// overwrites the boot sector, 0xFE the allocation table's first sector,
// any other the heap cluster 2 + (selector % 128). The scan runs to its end
// and every file is saved into a fresh temporary folder, which must be all
// that changed.
void ExfatVolume(const uint8_t* data, size_t size);

// LZNT1 decompression of the input into a 64 KiB buffer.
void Lznt1(const uint8_t* data, size_t size);

// The unpacked base volume of NtfsVolume, loaded on first use from the
// gzip file named by LV_FUZZ_BASE_IMAGE (or the environment variable of
// that name).
const std::vector<uint8_t>& BaseVolume();
// The FAT fixture images FatVolume and ExfatVolume start from are
// unpacked on first use from the folder named by LV_FUZZ_FAT_BASE_DIR (or
// the environment variable of that name); exfat-small.img.gz is
// ExfatVolume's.
const std::vector<uint8_t>& ExfatBaseVolume();

}  // namespace lv::fuzz
