// The fuzz targets' entry points. The libFuzzer programs call them on every
// input; the unit tests call them on the committed seeds and on every input
// that once made a target fail. Each returns normally or aborts: a broken
// invariant of its own is reported through abort(), a memory fault or
// undefined behaviour through the sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lv::fuzz {

// The input as a whole disk image: the standard partition scan, once
// without and once with GPT.
void PartitionScan(const uint8_t* data, size_t size);

// One of two small real NTFS volumes (1 MiB, made by mkntfs and written by
// ntfs-3g: interleaved, resident, compressed and deleted files, hard links
// with an attribute list) with parts replaced by the input. Byte 0 picks
// the run: bits 0-1 the mode (0 and 3 standard, 1 deep, 2 advanced: the
// candidate search, then the scan of candidate bits 2-3 with 2^(bits 4-6)
// sectors per cluster; in standard and deep mode bit 2 asks for the
// unfiltered tree), bit 7 the volume (0: 512-byte clusters, 1: 4096-byte).
// Then come chunks of one selector byte and up to 1024 bytes: selector
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
// The volumes are fixtures of the folder named by LV_FUZZ_FAT_BASE_DIR (or
// the environment variable of that name).
void FatVolume(const uint8_t* data, size_t size);

// A small real exFAT volume (exfat-base.img.gz, the exfat-small fixture)
// with parts replaced by the input. Bit 0 of byte 0 sets
// FormattedDriveMode for the run; then come chunks of one selector byte
// and up to 512 bytes: selector 0xFF overwrites the boot sector, 0xFE the
// allocation table's first sector, any other the heap cluster
// 2 + (selector % 128). The scan runs to its end and every file is saved
// into a fresh temporary folder, which must be all that changed.
void ExfatVolume(const uint8_t* data, size_t size);

// A small real ext volume with parts replaced by the input. Byte 0: bit 0
// picks the volume (0: the ext4-1k fixture, extents of two levels, inline
// data, 1 KiB blocks; 1: the ext2 fixture, block maps with indirect
// blocks). Then chunks of one selector byte and up to 512 bytes: selector
// 0xFF overwrites the superblock, 0xFE the group descriptors, any other one
// of the first 64 sectors of group 0's inode table or of the first root
// directory block (selector % their count). The scan runs to its end and
// every file is saved into a fresh temporary folder, which must be all
// that changed. The volumes are fixtures of LV_FUZZ_FAT_BASE_DIR.
void ExtVolume(const uint8_t* data, size_t size);

// The HFS+ fixture volume with parts replaced by the input. Byte 0 % 3
// picks the recovery mode (standard, advanced, deep). Then chunks of one
// selector byte and up to 512 bytes: selector 0xFF overwrites the volume
// header, 0xFE the alternate header, any other one of the sectors of the
// first eight catalog nodes or of the first two extents-overflow nodes
// (selector % their count). The scan runs to its end and every file is
// saved into a fresh temporary folder, which must be all that changed.
void HfsVolume(const uint8_t* data, size_t size);

// LZNT1 decompression of the input into a 64 KiB buffer.
void Lznt1(const uint8_t* data, size_t size);

}  // namespace lv::fuzz
