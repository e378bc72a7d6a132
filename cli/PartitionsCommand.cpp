// lumenvault-cli partitions: the volume list of a drive or disk image, by
// its partition tables or by the advanced scan.
#include <cstdio>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "cli/VolumeOptions.h"
#include "common/Text.h"
#include "disk/Partition.h"

namespace lv::cli {

namespace {
void PrintRow(const VolumeEntry& row) {
  std::printf("%s\t%s\t%s\t%lld\n", WideToUtf8(row.name).c_str(), WideToUtf8(row.fileSystem).c_str(),
              WideToUtf8(row.sizeText).c_str(), static_cast<long long>(row.startSector));
}

// Rows are printed as the advanced scan finds them.
class PrintingPage : public PartitionScanPage {
 public:
  void RowFound(const VolumeEntry& row) override {
    StatusLine::Get().Clear();
    PrintRow(row);
    std::fflush(stdout);
  }
};
}  // namespace

int RunPartitions(const std::vector<std::string>& words) {
  Arguments args(words, {"--gpt", "--advanced", "--no-skip"}, {"--start", "--end", "--sector-size"});
  if (!args.ok()) return UsageError(args.error());
  if (args.positional().size() != 1) return UsageError("partitions needs one SOURCE");
  const bool advanced = args.Has("--advanced");
  if (!advanced && (args.Has("--no-skip") || args.Has("--start") || args.Has("--end")))
    return UsageError("--no-skip, --start and --end belong to --advanced");
  if (advanced && (args.Has("--gpt") || args.Has("--sector-size")))
    return UsageError("--gpt and --sector-size read partition tables; --advanced reads none");
  const auto start = args.Integer("--start");
  const auto end = args.Integer("--end");
  const auto sectorSize = args.Integer("--sector-size");
  if (!args.ok()) return UsageError(args.error());
  if (sectorSize && *sectorSize != 512 && *sectorSize != 4096) return UsageError("--sector-size is 512 or 4096");
  if ((start && *start < 0) || (end && *end < 0)) return UsageError("--start and --end are sector numbers (0 or more)");
  if (!OpenSource(args.positional()[0])) return kExitRefused;

  std::vector<VolumeEntry> rows;
  LatestValueSink status;
  Partition scan(rows, status);
  int error = 0;
  if (advanced) {
    PrintingPage page;
    scan.ownerPage = &page;
    scan.skipVolumeSize = !args.Has("--no-skip");
    scan.customStartSector = start.value_or(0);
    scan.customEndSector = end.value_or(0);
    {
      WorkerProgress progress([&status] {
        return FormatUtf8("scanning: %lld.%lld%%", static_cast<long long>(status.Position() / 10),
                          static_cast<long long>(status.Position() % 10));
      });
      const int result = scan.AdvancedScan(*SharedReader);
      error = result == 1 ? 0 : result;
    }
  } else {
    scan.gptEnabled = args.Has("--gpt");
    scan.sectorSize = static_cast<uint32_t>(sectorSize.value_or(0));
    error = scan.StandardScan(*SharedReader);
    for (const std::wstring& note : scan.notes) std::fprintf(stderr, "lumenvault-cli: %s\n", WideToUtf8(note).c_str());
    for (const VolumeEntry& row : rows) PrintRow(row);
  }
  if (error != 0)
    std::fprintf(stderr, "lumenvault-cli: the %s ended at a failed read (error %d)\n",
                 advanced ? "advanced scan" : "partition scan", error);
  else if (rows.empty())
    std::fprintf(stderr, "lumenvault-cli: %s\n",
                 advanced ? "the advanced scan found no volume"
                          : "no partition table and no volume found (try --advanced, or --gpt on a GPT disk)");
  SharedReader.reset();
  return kExitOk;
}

}  // namespace lv::cli
