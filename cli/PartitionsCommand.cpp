// lumenvault-cli partitions: the volume list of a drive or disk image.
#include <cstdio>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/VolumeOptions.h"
#include "common/Text.h"
#include "disk/Partition.h"

namespace lv::cli {

namespace {
void PrintRows(const std::vector<VolumeEntry>& rows) {
  for (const VolumeEntry& row : rows) {
    std::printf("%s\t%s\t%s\t%lld\n", WideToUtf8(row.name).c_str(), WideToUtf8(row.fileSystem).c_str(),
                WideToUtf8(row.sizeText).c_str(), static_cast<long long>(row.startSector));
  }
}
}  // namespace

int RunPartitions(const std::vector<std::string>& words) {
  Arguments args(words, {"--gpt", "--advanced", "--no-skip"}, {"--start", "--end"});
  if (!args.ok()) return UsageError(args.error());
  if (args.positional().size() != 1) return UsageError("partitions needs one SOURCE");
  if (args.Has("--advanced")) {
    std::fprintf(stderr, "lumenvault-cli: the advanced scan is not yet available\n");
    return kExitUsage;
  }
  if (!OpenSource(args.positional()[0])) return kExitRefused;

  std::vector<VolumeEntry> rows;
  LatestValueSink status;
  Partition scan(rows, status);
  scan.gptEnabled = args.Has("--gpt");
  const int error = scan.StandardScan(*SharedReader);
  PrintRows(rows);
  if (error != 0)
    std::fprintf(stderr, "lumenvault-cli: the partition scan ended at a failed read (error %d)\n", error);
  SharedReader.reset();
  return kExitOk;
}

}  // namespace lv::cli
