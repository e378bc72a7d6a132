// lumenvault-cli drives: the first page's tree, one line per item.
#include <cstdio>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "common/Text.h"
#include "disk/DriveList.h"

namespace lv::cli {

int RunDrives(const std::vector<std::string>& words) {
  Arguments args(words, {}, {});
  if (!args.ok()) return UsageError(args.error());
  if (!args.positional().empty()) return UsageError("drives takes no SOURCE");
  // As the first page inserts them: the volumes from the last found to the
  // first, then the drives in name order.
  std::printf("     VOLUMES:\n");
  const std::vector<VolumeEntry> volumes = EnumerateLogicalVolumes();
  for (auto it = volumes.rbegin(); it != volumes.rend(); ++it)
    std::printf("\t%s\t%s\t%s\t%s\n", WideToUtf8(it->label).c_str(), WideToUtf8(it->name).c_str(),
                WideToUtf8(it->fileSystem).c_str(), WideToUtf8(it->sizeText).c_str());
  std::printf("     PHYSICAL DRIVES:\n");
  for (const PhysicalDrive& drive : EnumeratePhysicalDrives())
    std::printf("\t%s\t%s\n", WideToUtf8(drive.text).c_str(), drive.path.c_str());
  return kExitOk;
}

}  // namespace lv::cli
