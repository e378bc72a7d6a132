// lumenvault-cli candidates: the advanced input's candidate search and the
// lists the advanced-input page would offer, with what to type to read one.
#include <cctype>
#include <cstdio>
#include <string_view>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/VolumeOptions.h"
#include "common/Text.h"

namespace lv::cli {

namespace {

// A word as the shell takes it back: quoted unless it is plain.
std::string ShellWord(const std::string& word) {
  bool plain = !word.empty();
  for (const unsigned char c : word)
    if (!(std::isalnum(c) || std::string_view("_-+./,:=@%").find(static_cast<char>(c)) != std::string_view::npos))
      plain = false;
  if (plain) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The ls command that reads a candidate of this volume.
std::string ReadCommand(const VolumeOptions& options, long long maximum) {
  std::string command = "lumenvault-cli ls " + ShellWord(options.source);
  if (options.volumeRow) command += FormatUtf8(" --volume %lld", *options.volumeRow) + (options.gpt ? " --gpt" : "");
  if (options.startSector)
    command += FormatUtf8(" --start-sector %lld --fs ", *options.startSector) + ShellWord(WideToUtf8(options.fileSystem));
  return command + FormatUtf8(" --mode advanced --max %lld --candidate I --spc N", maximum);
}

}  // namespace

int RunCandidates(const std::vector<std::string>& words) {
  Arguments args(words, {"--gpt"}, {"--volume", "--start-sector", "--fs", "--max"});
  if (!args.ok()) return UsageError(args.error());
  VolumeOptions options;
  if (const auto error = ReadVolumeChoice(args, options)) return UsageError("candidates: " + *error);
  const auto maximum = args.Integer("--max");
  if (!args.ok()) return UsageError("candidates: " + args.error());
  if (!maximum) return UsageError("candidates needs --max N");
  options.maximum = *maximum;
  int status;
  {
    VolumeScan scan;
    CandidateLists lists;
    status = scan.SearchCandidates(options, lists);
    if (status == kExitOk) {
      for (const CandidateRow& row : lists.candidates)
        std::printf("candidate\t%s\t%llu\n", WideToUtf8(row.label).c_str(),
                    static_cast<unsigned long long>(row.position));
      for (size_t i = 0; i < lists.sectorsPerCluster.size(); ++i)
        std::printf("spc\t%s%s\n", WideToUtf8(lists.sectorsPerCluster[i]).c_str(), i == 0 ? "\tpreselected" : "");
      if (lists.candidates.empty()) {
        std::fputs("No candidate found.\n", stderr);
      } else {
        const size_t last = lists.candidates.size() - 1;
        std::string values;
        for (size_t i = 0; i < lists.sectorsPerCluster.size(); ++i)
          values += (i == 0 ? "" : i + 1 == lists.sectorsPerCluster.size() ? " or " : ", ") +
                    WideToUtf8(lists.sectorsPerCluster[i]);
        std::fprintf(stderr, "Read one with: %s (I: %s; N: %s)\n", ReadCommand(options, *maximum).c_str(),
                     last == 0 ? "0" : FormatUtf8("0 to %zu", last).c_str(), values.c_str());
      }
    }
  }
  SharedReader.reset();
  return status;
}

}  // namespace lv::cli
