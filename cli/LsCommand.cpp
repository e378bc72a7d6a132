// lumenvault-cli ls: the results tree of a volume after the scan job.
#include <cstdio>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/VolumeOptions.h"

namespace lv::cli {

namespace {

void PrintTree(VolumeScan& scan) {
  CatalogueTable& table = *scan.table();
  ForEachTreeLine(scan.tree, [&](TreeItem item, const std::string& path) {
    const bool folder = scan.tree.IsFolder(item);
    uint64_t size = 0;
    if (!folder) {
      const EntryIndex entry = table.IndexOf(scan.tree.Data(item));
      if (entry != kNoEntry) size = table.DataSize(entry);
    }
    std::printf("%s\t%s\t%llu\t%s\n", folder ? "d" : "f", scan.tree.IsRed(item) ? "deleted" : "live",
                static_cast<unsigned long long>(size), path.c_str());
  });
}

}  // namespace

int RunLs(const std::vector<std::string>& words) {
  Arguments args(words, VolumeFlags(), VolumeValued());
  if (!args.ok()) return UsageError(args.error());
  VolumeOptions options;
  if (const auto error = ReadVolumeOptions(args, options)) return UsageError("ls: " + *error);
  int status;
  {
    VolumeScan scan;
    status = scan.Run(options);
    if (status == kExitOk) PrintTree(scan);
  }
  SharedReader.reset();
  return status;
}

}  // namespace lv::cli
