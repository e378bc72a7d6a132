// Saving folders and files into the output folder, and the preview copy.
//
// Names become path components only through the engines' safe components,
// and every file goes through the shared writer: nothing is written outside
// the output folder, through a link, or over a file already there.
#pragma once

#include <cstdint>
#include <string>

#include "common/CatalogueTable.h"
#include "catalogue/PageControls.h"
#include "catalogue/Views.h"
#include "platform/SaveWriter.h"

namespace lv {

// Told about every file a save attempts (the command line prints them).
class SaveObserver {
 public:
  virtual ~SaveObserver() = default;
  virtual void FileSaved(const WriteOutcome& outcome, EntryIndex entry) = 0;
};

struct SaveContext {
  CatalogueTable& table;
  WorkerSink& sink;
  StopFlag& pageStop;
  PauseGate* gate = nullptr;
  PageControls& controls = NoControls();
  SaveObserver* observer = nullptr;
  // The source being read (a device or image path; empty when unknown): an
  // output folder on that device is refused.
  std::string sourcePath{};
};


// "number of files found inside this folder = %lld .do u want to continue
// dumping these files..?"
std::wstring SaveQuestionText(int64_t count);

// Files a folder save counts below a folder (kNoEntry with top: the
// volume's top level), all levels.
int64_t CountSaveFiles(CatalogueTable& table, EntryIndex folder, bool top = false);

// The folder save of `folder` (an entry, or the volume's top level when
// `top` is set) into outputFolder: the question with the file count, then
// every file below, in the same folder structure. Returns the number of
// files saved (counted as the walk counts them); -1 when nothing was done.
// The observer hears of every file written or not written.
int64_t SaveFolder(SaveContext& context, EntryIndex folder, bool top, const std::string& outputFolder);

// The save of what the tree shows below `item` (the command line's save of
// the listed tree): its folder items become folders, its file items are
// written, with the folder save's question, statuses and end. Returns the
// number of files saved; -1 when nothing was done.
int64_t SaveTreeItems(SaveContext& context, const ResultTree& tree, TreeItem item, const std::string& outputFolder);

// The single-file save of one entry into outputFolder.
bool SaveOneFile(SaveContext& context, EntryIndex entry, const std::string& outputFolder);

// Preview: a copy in this run's private temporary folder, shown by the
// viewer "glimpser" of the program's folder when the copy was written.
// Returns the copy's path (empty when none was written).
std::string PreviewEntry(CatalogueTable& table, EntryIndex entry);

// Refuses (with the message) an output folder on the source device; true
// when saving there may go ahead.
bool OutputFolderAllowed(const std::string& sourcePath, const std::string& outputFolder);

}  // namespace lv
