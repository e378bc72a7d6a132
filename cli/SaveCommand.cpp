// lumenvault-cli save: the folder save (or single-file save) of tree items
// into an output folder.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "cli/VolumeOptions.h"

namespace lv::cli {

namespace {

// One line per written file: the path actually written and its length;
// progress on the status line.
class PrintSaved : public SaveObserver {
 public:
  void FileSaved(const WriteOutcome& outcome, EntryIndex) override {
    if (outcome.ok()) {
      if (stdoutIsTerminal_) progress_.Interrupt();
      std::printf("%s\t%llu\n", outcome.path.c_str(), static_cast<unsigned long long>(outcome.bytes));
      if (stdoutIsTerminal_) std::fflush(stdout);
      progress_.Add(outcome.bytes);
    } else {
      progress_.Interrupt();
      std::fprintf(stderr, "lumenvault-cli: could not write %s\n", outcome.path.c_str());
      ++failures;
    }
  }
  // Clears the status line before the final message.
  void Finish() { progress_.Interrupt(); }
  uint64_t failures = 0;

 private:
  bool stdoutIsTerminal_ = ::isatty(STDOUT_FILENO) == 1;
  SaveProgress progress_;
};

}  // namespace

int RunSave(const std::vector<std::string>& words) {
  std::set<std::string> valued = VolumeValued();
  valued.insert("--out");
  Arguments args(words, VolumeFlags(), valued);
  if (!args.ok()) return UsageError(args.error());
  const auto out = args.Value("--out");
  if (!out || out->empty()) return UsageError("save needs --out DIR");
  VolumeOptions options;
  if (const auto error = ReadVolumeOptions(args, options, true)) return UsageError("save: " + *error);
  // SOURCE, then the tree paths.
  const std::vector<std::string> paths(args.positional().begin() + 1, args.positional().end());
  // Every write there could overwrite the deleted files being recovered.
  if (!OutputFolderAllowed(options.source, *out)) return kExitRefused;
  int status;
  {
    VolumeScan scan;
    status = scan.Run(options);
    if (status == kExitOk) {
      std::vector<TreeItem> items;
      if (!paths.empty()) {
        std::map<std::string, TreeItem> byPath;
        ForEachTreeLine(scan.tree, [&](TreeItem item, const std::string& path) { byPath.emplace(path, item); });
        for (const std::string& path : paths) {
          const auto found = byPath.find(path);
          if (found == byPath.end()) {
            std::fprintf(stderr, "lumenvault-cli: no item %s in the tree\n", path.c_str());
            status = kExitRefused;
          } else {
            items.push_back(found->second);
          }
        }
      }
      // The output folder is made only when there is something to save: a
      // refused save leaves nothing behind.
      std::error_code made;
      if (status == kExitOk) std::filesystem::create_directories(*out, made);
      if (status == kExitOk && (made || !std::filesystem::is_directory(*out))) {
        std::fprintf(stderr, "lumenvault-cli: cannot create the output folder %s\n", out->c_str());
        status = kExitRefused;
      }
      PrintSaved printer;
      if (status == kExitOk) {
        // No path: the tree that ls lists with the same options.
        if (paths.empty()) scan.job().SaveShownTree(scan.job().RootItem(), *out, &printer);
        for (TreeItem item : items) {
          if (scan.tree.IsFolder(item)) scan.job().SaveFolder(item, *out, &printer);
          else scan.job().SaveFile(item, *out, &printer);
        }
        printer.Finish();
        if (printer.failures > 0) {
          std::fprintf(stderr, "lumenvault-cli: %llu file%s could not be written\n",
                       static_cast<unsigned long long>(printer.failures), printer.failures == 1 ? "" : "s");
          status = kExitRefused;
        }
      }
    }
  }
  SharedReader.reset();
  return status;
}

}  // namespace lv::cli
