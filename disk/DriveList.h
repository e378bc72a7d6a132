// The drives and mounted volumes of this machine, for the first page's tree:
// whole disks from /sys/block and mounted block-device file systems from
// /proc/self/mountinfo.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "disk/VolumeEntry.h"

namespace lv {

struct PhysicalDrive {
  std::string path;   // "/dev/sda"
  std::wstring text;  // the model name when one is known, else the path
};

// Whole disks (sd, nvme, vd, xvd, hd, mmcblk, and loop devices with a
// backing file) in name order. `sysBlock` is the folder to read.
std::vector<PhysicalDrive> EnumeratePhysicalDrives(const std::string& sysBlock = "/sys/block");

// The kernel's file-system type as the scan job names it ("NTFS", "FAT32",
// "exFAT", "extX", "HFS+"); empty for a type that is not a recoverable one.
std::wstring FileSystemOfKernelType(std::string_view type);

// Mounted block-device file systems in mount order, one row per device:
// label the mount point ending in "/", name the device path, size from
// statvfs as "%d  MB". `mountinfo` is the table to read.
std::vector<VolumeEntry> EnumerateLogicalVolumes(const std::string& mountinfo = "/proc/self/mountinfo");

// One mountinfo line's mount point, type and source, with the table's
// octal escapes ("\040") decoded; false for a malformed line.
bool ParseMountInfoLine(std::string_view line, std::string& mountPoint, std::string& type, std::string& source);

}  // namespace lv
