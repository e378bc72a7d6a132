// lumenvault-cli search: the result rows of a search over the results tree.
#include <cstdio>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/VolumeOptions.h"
#include "catalogue/Search.h"
#include "common/Text.h"

namespace lv::cli {

namespace {

// A list text on one line of one tab-separated field.
std::string Field(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) out.push_back(c == L'\t' || c == L'\n' || c == L'\r' ? L' ' : c);
  return WideToUtf8(out);
}

// The path column with each component escaped as ls and save print it.
std::string PathField(const std::wstring& path) {
  std::string out;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find(L'/', start);
    if (start) out += "/";
    out += ListComponent(path.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start));
    if (slash == std::wstring::npos) return out;
    start = slash + 1;
  }
}

}  // namespace

int RunSearch(const std::vector<std::string>& words) {
  std::set<std::string> valued = VolumeValued();
  valued.insert("--regex");
  Arguments args(words, VolumeFlags(), valued);
  if (!args.ok()) return UsageError(args.error());
  const auto regex = args.Value("--regex");
  if (!regex) return UsageError("search needs --regex R");
  VolumeOptions options;
  if (const auto error = ReadVolumeOptions(args, options)) return UsageError("search: " + *error);
  // A pattern the search would refuse is refused before the scan.
  if (!ValidateSearchText(Utf8ToWide(*regex))) return kExitRefused;
  int status;
  {
    VolumeScan scan;
    status = scan.Run(options);
    if (status == kExitOk) {
      if (scan.job().Search(Utf8ToWide(*regex))) {
        scan.WaitWithProgress();
        for (size_t row = 0; row < scan.list.RowCount(); ++row) {
          std::string line;
          for (size_t column = 0; column < kListColumns; ++column) {
            if (column) line += "\t";
            line += column == 0 ? PathField(scan.list.Text(row, column)) : Field(scan.list.Text(row, column));
          }
          std::printf("%s\n", line.c_str());
        }
      } else {
        status = kExitRefused;
      }
    }
  }
  SharedReader.reset();
  return status;
}

}  // namespace lv::cli
