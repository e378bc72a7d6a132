// lumenvault-cli ls: the results tree of a volume after the scan job.
#include <charconv>
#include <cstdio>
#include <string>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/VolumeOptions.h"

namespace lv::cli {

namespace {

void PrintTree(VolumeScan& scan) {
  // Lines are gathered and written in large blocks: a listing of a big
  // volume is a million short lines.
  constexpr size_t kFlushBytes = size_t{1} << 16;
  CatalogueTable& table = *scan.table();
  std::string out;
  out.reserve(kFlushBytes + 4096);
  ForEachTreeLine(scan.tree, [&](TreeItem item, const std::string& path) {
    const bool folder = scan.tree.IsFolder(item);
    uint64_t size = 0;
    if (!folder) {
      const EntryIndex entry = table.IndexOf(scan.tree.Data(item));
      if (entry != kNoEntry) size = table.DataSize(entry);
    }
    out += folder ? "d\t" : "f\t";
    out += scan.tree.IsRed(item) ? "deleted\t" : "live\t";
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, size).ptr;
    out.append(digits, end);
    out += '\t';
    out += path;
    out += '\n';
    if (out.size() >= kFlushBytes) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  });
  std::fwrite(out.data(), 1, out.size(), stdout);
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
