// Saving folders and files into the output folder, and the preview copy.
//
// Names become path components only through the engines' safe components,
// so whatever a volume stores, everything is written inside the output
// folder.
#pragma once

#include <cstdint>
#include <string>

#include "catalogue/CatalogueTable.h"
#include "catalogue/PageControls.h"
#include "catalogue/Views.h"

namespace lv {

// Told about every file a save attempts (the command line prints them).
class SaveObserver {
 public:
  virtual ~SaveObserver() = default;
  virtual void FileSaved(const ExtractResult& result, EntryIndex entry) = 0;
};

struct SaveContext {
  CatalogueTable& table;
  WorkerSink& sink;
  StopFlag& pageStop;
  PauseGate* gate = nullptr;
  PageControls& controls = NoControls();
  SaveObserver* observer = nullptr;
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
int64_t SaveFolder(SaveContext& context, EntryIndex folder, bool top, const std::string& outputFolder);

// The single-file save of one entry into outputFolder.
bool SaveOneFile(SaveContext& context, EntryIndex entry, const std::string& outputFolder);

// Preview: a temporary copy in the temporary folder, shown by the viewer
// "glimpser" of the program's folder when the copy exists. Returns the
// copy's path (empty when none was written).
std::string PreviewEntry(CatalogueTable& table, EntryIndex entry);

}  // namespace lv
