// Rights to read a drive without running as root: udisks2 hands out a
// read-only descriptor of a block device (Block.OpenForBackup) after one
// polkit prompt.
#pragma once

#include <string>

namespace lv {

// A read-only descriptor of the block device at path, or -1 (no system bus,
// no udisks2, refused or cancelled).
int OpenWithUdisks(const std::string& path);
// Makes every device open that lacks rights ask udisks2.
void UseUdisksForDevices();

}  // namespace lv
