// The scan job of the results page: the choice of engine and worker for the
// selected volume and recovery mode, the worker thread that scans, fills and
// filters the tree, the search worker, and the page's busy flags, pause,
// resume and stop. Saving, preview and the file list go through it too, so
// that nothing touches the engine while a worker runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "common/CatalogueTable.h"
#include "catalogue/PageControls.h"
#include "catalogue/Save.h"
#include "catalogue/Views.h"
#include "common/WorkerProtocol.h"
#include "disk/Disk.h"
#include "disk/VolumeAdapter.h"

namespace lv {

// One row of the scan job's dispatch table: a file-system text, the kind as
// messages name it, the recovery modes that have a worker, and the factory
// of the engine's adapter.
struct EngineType {
  std::wstring_view text;         // compared without regard to case
  std::wstring_view displayName;  // "NTFS", "FAT32", ...
  uint8_t modes = 0;              // bit m-1: recovery mode m has a worker
  // Without a shared reader, the page first asks for a restart.
  bool restartWithoutReader = false;
  AdapterFactory factory = nullptr;  // null: not part of this build yet
  // Advanced mode starts with the advanced input's candidate search; a kind
  // without it (HFS+) runs its advanced worker on the volume as it is.
  bool advancedInput = true;

  bool HasMode(int32_t mode) const { return mode >= 1 && mode <= 3 && (modes >> (mode - 1)) & 1; }
};

inline constexpr uint8_t kStandardMode = 1, kAdvancedMode = 2, kDeepMode = 4;

// The row whose text equals fileSystem (ignoring case), tried in the
// table's order and then in the order of registration; null for any other
// text.
const EngineType* FindEngine(std::wstring_view fileSystem);
// Adds a row after the table's own, for as long as the object lives (an
// engine that is not part of the table, such as a test's).
class EngineRegistration {
 public:
  explicit EngineRegistration(const EngineType& type);
  ~EngineRegistration();
  EngineRegistration(const EngineRegistration&) = delete;
  EngineRegistration& operator=(const EngineRegistration&) = delete;

 private:
  const EngineType* type_;
};
// The adapter of a row's engine for one volume; null when the row has no
// engine in this build.
std::unique_ptr<VolumeAdapter> CreateAdapter(const EngineType& type, const EngineSetup& setup);

struct ScanStart {
  VolumeEntry volume;
  int32_t recoveryMode = 1;
  AdvancedChoices advanced;
  // The chosen item is a mounted volume: the reader is opened on its name.
  bool logicalVolume = false;
  // Every entry reachable from the root, with no category filter and no
  // filter step (the command line's unfiltered listing).
  bool unfiltered = false;
  // Advanced mode: the adapter of the advanced-input page, which already
  // ran the candidate search. Borrowed, not owned.
  VolumeAdapter* advancedAdapter = nullptr;
  // The source's path (UTF-8): saves refuse an output folder on it.
  std::string sourcePath;
};

inline constexpr const wchar_t* kPleaseWaitText = L"Please wait for the running process.";

class ScanJob : private ScanSteps {
 public:
  ScanJob(ResultTree& tree, FileList& list, WorkerSink& statusLine, PageControls& controls = NoControls());
  // Stops and joins a worker that still runs.
  ~ScanJob() override;
  ScanJob(const ScanJob&) = delete;
  ScanJob& operator=(const ScanJob&) = delete;

  // Page set-up: dispatch, and the worker's start. `reader` is the shared
  // reader (null when there is none). Only the first call does anything.
  void Start(const ScanStart& start, readWriteInterface* reader);
  // Waits for the worker (scan or search) to end.
  void Wait();

  void Pause();
  void Resume();
  void Stop();
  // The hidden EXIT button: stop requests and "All thread Stopped"; the
  // page then destroys itself.
  void Exit();
  // Back and close: true (after "Please wait for the running process.")
  // while a worker runs.
  bool BusyRefused();
  bool Busy() const;

  // The search button; false when refused.
  bool Search(const std::wstring& text);
  // The Save button for a tree item (ROOT saves the whole volume).
  void SaveFolder(TreeItem item, const std::string& outputFolder, SaveObserver* observer = nullptr);
  // The save of what the tree shows below an item (the command line's save
  // of the listed tree).
  void SaveShownTree(TreeItem item, const std::string& outputFolder, SaveObserver* observer = nullptr);
  // A double-click on a tree item: a folder expands, a file is saved.
  void SaveFile(TreeItem item, const std::string& outputFolder, SaveObserver* observer = nullptr);
  // A click on a list row: check toggle and preview; the copy's path.
  std::string Preview(size_t row);
  // Selection and check changes of the tree.
  void Select(TreeItem item);
  void CheckChanged(TreeItem item, bool wasChecked);

  // The current engine's adapter; null before dispatch or without an engine.
  VolumeAdapter* Table() { return adapter_; }
  TreeItem RootItem() const { return rootItem_; }
  // The engine's checks refused the volume (after the scan has ended).
  bool VolumeRefused() const { return volumeRefused_.load(); }
  bool ListShowsSearchResults() const { return listShowsSearch_; }

  int32_t recoveryMode = -1;
  std::atomic<uint8_t> scanInProgress{1};
  std::atomic<int32_t> scanRunning{0};
  StopFlag pageStopRequested{0};
  PauseGate pauseGate;

 private:
  void NotValid();
  void Unavailable(const std::wstring& message);
  void Launch(void (ScanJob::*body)());
  void EngineWorker();
  void SearchWorker();
  void FinishScan(const WorkerEnd& end);

  // The catalogue's steps of a worker.
  void CreateRootItem(bool emptyTreeFirst) override;
  void FillTree() override;
  void RestoreRecycledNames() override;
  void FilterTree() override;

  ResultTree& tree_;
  FileList& list_;
  WorkerSink& sink_;
  PageControls& controls_;
  readWriteInterface* reader_ = nullptr;
  ScanStart start_;
  std::unique_ptr<VolumeAdapter> ownedAdapter_;  // made here in standard and deep mode
  VolumeAdapter* adapter_ = nullptr;              // the engine of this scan
  TreeItem rootItem_ = kNoTreeItem;
  std::wstring searchText_;
  bool listShowsSearch_ = false;
  bool started_ = false;
  std::atomic<bool> workerActive_{false};
  std::atomic<bool> volumeRefused_{false};
  std::thread worker_;
};

}  // namespace lv
