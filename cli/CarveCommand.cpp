// lumenvault-cli carve: raw recovery of a sector range by the signature
// settings, one line per found item, and with --out the items saved.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "catalogue/MemoryViews.h"
#include "catalogue/RawRecovery.h"
#include "catalogue/Save.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "cli/VolumeOptions.h"
#include "common/Text.h"
#include "disk/Partition.h"

namespace lv::cli {

namespace {


class PrintFailures : public SaveObserver {
 public:
  void FileSaved(const WriteOutcome& outcome, EntryIndex) override {
    if (outcome.ok()) return;
    std::fprintf(stderr, "lumenvault-cli: could not write %s\n", outcome.path.c_str());
    ++failures;
  }
  uint64_t failures = 0;
};

}  // namespace

int RunCarve(const std::vector<std::string>& words) {
  Arguments args(words, {"--no-default", "--gpt"},
                 {"--volume", "--start-sector", "--size-mib", "--settings", "--out", "--min-size"});
  if (!args.ok()) return UsageError(args.error());
  if (args.positional().size() != 1) return UsageError("carve: one SOURCE is needed");
  const std::string source = args.positional()[0];
  const auto row = args.Integer("--volume");
  const auto startSector = args.Integer("--start-sector");
  const auto sizeMiB = args.Integer("--size-mib");
  const auto minSize = args.Integer("--min-size");
  if (!args.ok()) return UsageError("carve: " + args.error());
  if (row && startSector) return UsageError("carve: --volume excludes --start-sector");
  if ((row && *row < 0) || (startSector && *startSector < 0) || (sizeMiB && *sizeMiB <= 0) || (minSize && *minSize < 0))
    return UsageError("carve: --volume, --start-sector and --min-size take a number of at least 0, --size-mib one above 0");
  const auto settings = args.Value("--settings");
  const auto out = args.Value("--out");
  if (out && out->empty()) return UsageError("carve: --out needs a folder");
  if (args.Has("--no-default") && !settings) return UsageError("carve: --no-default needs --settings FILE");
  if (out && !OutputFolderAllowed(source, *out)) return kExitRefused;

  if (!OpenSource(source)) return kExitRefused;
  int64_t first = startSector.value_or(0);
  uint64_t bytes = UINT64_MAX;  // to the source's end
  if (row) {
    std::vector<VolumeEntry> rows;
    LatestValueSink status;
    Partition scan(rows, status);
    scan.gptEnabled = args.Has("--gpt");
    scan.StandardScan(*SharedReader);
    if (static_cast<size_t>(*row) >= rows.size()) {
      std::fprintf(stderr, "lumenvault-cli: %s has no volume row %lld (%zu rows)\n", source.c_str(), *row, rows.size());
      SharedReader.reset();
      return kExitRefused;
    }
    // The volume's size in whole MiB, as its row gives it.
    first = rows[static_cast<size_t>(*row)].startSector;
    const int64_t mib = LeadingInteger(rows[static_cast<size_t>(*row)].sizeText);
    bytes = mib > 0 ? static_cast<uint64_t>(mib) * kCarveChunk : 0;
  }
  if (first >= DeviceSectorCount && DeviceSectorCount > 0) {
    std::fprintf(stderr, "lumenvault-cli: sector %lld is beyond the end of %s\n", static_cast<long long>(first),
                 source.c_str());
    SharedReader.reset();
    return kExitRefused;
  }
  if (sizeMiB) bytes = std::min<uint64_t>(bytes, static_cast<uint64_t>(*sizeMiB) * kCarveChunk);

  int status = kExitOk;
  {
    MemoryResultTree tree;
    MemoryFileList list;
    LatestValueSink sink;
    RawRecovery page(*SharedReader, tree, list, sink);
    page.loadDefault = !args.Has("--no-default");
    page.settingsPath = settings.value_or("");
    if (bytes == 0) {
      std::fprintf(stderr, "lumenvault-cli: the range to carve is empty\n");
      status = kExitRefused;
    } else if (!page.ParseRange(first, bytes)) {
      status = kExitRefused;
    } else {
      {
        WorkerProgress progress([&sink] {
          if (sink.RangeMaximum() <= 0) return std::string();
          return FormatUtf8("carving: %lld of %lld MiB", static_cast<long long>(sink.Position()),
                            static_cast<long long>(sink.RangeMaximum()));
        });
        page.Wait();
      }
      const myJpg& engine = *page.Engine();
      if (engine.scannedRange == 0)
        std::fprintf(stderr, "lumenvault-cli: nothing could be read from %s\n", source.c_str());
      for (size_t i = 0; i < engine.items.size(); ++i) {
        const CarvedItem& item = engine.items[i];
        if (minSize && item.size < *minSize) continue;
        const CarveRule& rule = engine.rules[static_cast<size_t>(item.ruleNumber)];
        std::printf("%s\t%s\t%lld\t%lld\n", ListComponent(rule.category).c_str(),
                    ListComponent(CarvedItemLabel(item.startOffset, rule.extension)).c_str(),
                    static_cast<long long>(item.startOffset), static_cast<long long>(item.size));
        if (out) tree.SetChecked(page.ItemNode(i), true);
      }
      std::fflush(stdout);
      if (engine.unreadableSectors > 0)
        std::fprintf(stderr, "lumenvault-cli: %llu unreadable sector%s skipped\n",
                     static_cast<unsigned long long>(engine.unreadableSectors),
                     engine.unreadableSectors == 1 ? " was" : "s were");
      bool anyChecked = false;
      for (size_t i = 0; out && i < engine.items.size(); ++i) anyChecked = anyChecked || tree.Checked(page.ItemNode(i));
      if (anyChecked) {
        std::error_code made;
        std::filesystem::create_directories(*out, made);
        PrintFailures failures;
        if (made || page.Save(*out, &failures) < 0) {
          std::fprintf(stderr, "lumenvault-cli: cannot write into the output folder %s\n", out->c_str());
          status = kExitRefused;
        } else if (failures.failures > 0) {
          std::fprintf(stderr, "lumenvault-cli: %llu file%s could not be written\n",
                       static_cast<unsigned long long>(failures.failures), failures.failures == 1 ? "" : "s");
          status = kExitRefused;
        }
      }
    }
  }
  SharedReader.reset();
  return status;
}

}  // namespace lv::cli
