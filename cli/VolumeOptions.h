// The volume and recovery options shared by ls, search and save, and the
// scan of the chosen volume into an in-memory results tree.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "catalogue/MemoryViews.h"
#include "catalogue/ScanJob.h"
#include "cli/Arguments.h"
#include "disk/Disk.h"

namespace lv::cli {

struct VolumeOptions {
  std::string source;
  // --volume N [--gpt]: row N of the standard partition scan.
  std::optional<long long> volumeRow;
  bool gpt = false;
  // --start-sector S --fs TEXT: a hand-made volume.
  std::optional<long long> startSector;
  std::wstring fileSystem;
  // --mode and the advanced choices.
  int32_t recoveryMode = 1;
  long long maximum = 0, candidate = -1, sectorsPerCluster = 0, heap = -1;
  // --mode advanced without --max, --candidate and --spc: only for kinds
  // whose advanced mode has no candidate search.
  bool advancedChoices = false;
  bool formatted = false;
  // --categories and --unfiltered.
  bool photo = true, audio = true, video = true;
  bool unfiltered = false;
};

// The flags and valued options of the shared set, to merge with a
// command's own.
std::set<std::string> VolumeFlags();
std::set<std::string> VolumeValued();

// Reads the shared options and SOURCE, the first positional word (the only
// one unless morePositional); an error text for a usage error.
std::optional<std::string> ReadVolumeOptions(Arguments& args, VolumeOptions& options, bool morePositional = false);
// Only SOURCE and the choice of the volume (--volume N [--gpt], or
// --start-sector S --fs TEXT).
std::optional<std::string> ReadVolumeChoice(Arguments& args, VolumeOptions& options, bool morePositional = false);

// Opens SOURCE as the shared reader; when it cannot be opened, says which
// path and why on stderr (after the core's own message), and how to get the
// rights to read a drive.
bool OpenSource(const std::string& path);

// One scan of the chosen volume: the reader, the engine of the advanced
// input when there is one, the job and its in-memory views.
class VolumeScan {
 public:
  VolumeScan();
  ~VolumeScan();
  // Opens SOURCE, finds the volume, runs the scan job to its end (in
  // advanced mode after the candidate search of the volume's engine). The exit
  // status: kExitOk, or kExitRefused when the input was refused (the
  // message is on stderr).
  int Run(const VolumeOptions& options);
  // Opens SOURCE, finds the volume and runs the advanced input's candidate
  // search of its engine for up to options.maximum candidates: kExitOk
  // with the lists the advanced-input page would offer, or kExitRefused
  // (the kind has no advanced mode; the message is on stderr).
  int SearchCandidates(const VolumeOptions& options, CandidateLists& lists);

  MemoryResultTree tree;
  MemoryFileList list;
  LatestValueSink sink;
  ScanJob& job() { return *job_; }
  CatalogueTable* table() { return job_->Table(); }
  // Waits for the job's worker, showing progress when stderr is a terminal.
  void WaitWithProgress();

 private:
  int OpenVolume(const VolumeOptions& options, VolumeEntry& volume);
  int ResolveVolume(const VolumeOptions& options, VolumeEntry& volume);
  // The candidate search on the volume's engine, made for the advanced input.
  int Search(const VolumeEntry& volume, long long maximum, CandidateLists& lists, uint64_t* found = nullptr);
  std::unique_ptr<VolumeAdapter> advancedAdapter_;
  std::unique_ptr<ScanJob> job_;  // borrows advancedAdapter_
};

// A tree item's text as one path component of the listings, escaped by the
// rule that names saved files (common/SafeName.h): every item is one line
// and one component, and the path printed is the path save writes.
std::string ListComponent(const std::wstring& text);

// Calls `line` for every item below the tree's top item, parents before
// children, in tree order, with its path below the top item (components
// joined with "/"). Nothing is collected: a listing of a million items
// costs one path buffer.
void ForEachTreeLine(const ResultTree& tree, const std::function<void(TreeItem, const std::string&)>& line);

}  // namespace lv::cli
