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

#include "catalogue/CatalogueTable.h"
#include "catalogue/PageControls.h"
#include "catalogue/Save.h"
#include "catalogue/Views.h"
#include "catalogue/WorkerProtocol.h"
#include "disk/Disk.h"

namespace lv {

class ntfs;

// The engines, one slot each on the page.
enum class EngineKind : uint8_t { Ntfs, Fat32, Fat16, Ext, ExFat, HfsPlus };

enum class WorkerKind : uint8_t {
  None,
  Ntfs,
  NtfsAdvanced,
  Fat32,
  Fat32Advanced,
  Fat16,
  Fat16Advanced,
  Ext,
  ExFat,
  ExFatAdvanced,
  HfsPlus,
};

// One row of the dispatch table: a file-system text, its engine, and the
// worker of each recovery mode (1 standard, 2 advanced, 3 deep).
struct KindRow {
  std::wstring_view text;         // compared without regard to case
  EngineKind engine;
  std::wstring_view displayName;  // the kind as messages name it
  std::array<WorkerKind, 3> workers;
};

// The row whose text equals fileSystem (ignoring case), tried in the
// table's order; null for any other text.
const KindRow* FindKind(std::wstring_view fileSystem);
// The worker of a row for a recovery mode; None for modes outside 1..3.
WorkerKind WorkerFor(const KindRow& row, int32_t recoveryMode);
// Whether the engine of a kind is part of this build.
bool EngineBuilt(EngineKind kind);

// The advanced-input page's choices, copied for the advanced workers.
struct AdvancedChoices {
  int64_t candidate = -1;          // selected row of the candidate list
  std::wstring sectorsPerCluster;  // selected text of the sectors-per-cluster list
  int64_t heapCandidate = -1;      // selected row of the heap list (exFAT)
};

struct ScanStart {
  VolumeEntry volume;
  int32_t recoveryMode = 1;
  AdvancedChoices advanced;
  // The chosen item is a mounted volume: the reader is opened on its name.
  bool logicalVolume = false;
  // Every entry reachable from the root, with no category filter and no
  // filter step (the command line's unfiltered listing).
  bool unfiltered = false;
  // Advanced mode: the engine of the advanced-input page, which already ran
  // the candidate search. Borrowed, not owned.
  ntfs* advancedNtfs = nullptr;
};

inline constexpr const wchar_t* kPleaseWaitText = L"Please wait for the running process.";

class ScanJob {
 public:
  ScanJob(ResultTree& tree, FileList& list, WorkerSink& statusLine, PageControls& controls = NoControls());
  // Stops and joins a worker that still runs.
  ~ScanJob();
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
  // A double-click on a tree item: a folder expands, a file is saved.
  void SaveFile(TreeItem item, const std::string& outputFolder, SaveObserver* observer = nullptr);
  // A click on a list row: check toggle and preview; the copy's path.
  std::string Preview(size_t row);
  // Selection and check changes of the tree.
  void Select(TreeItem item);
  void CheckChanged(TreeItem item, bool wasChecked);

  // The current engine's table; null before dispatch or without an engine.
  CatalogueTable* Table() { return table_.get(); }
  ntfs* NtfsEngine() { return ntfsEngine_; }
  TreeItem RootItem() const { return rootItem_; }
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
  void NtfsWorker();
  void NtfsAdvancedWorker();
  void SearchWorker();
  void FillAndFilter();
  void FinishScan(const wchar_t* completion);
  bool SetBaseOffset();

  ResultTree& tree_;
  FileList& list_;
  WorkerSink& sink_;
  PageControls& controls_;
  readWriteInterface* reader_ = nullptr;
  ScanStart start_;
  std::unique_ptr<ntfs> ntfsSlot_;  // owned in standard and deep mode
  ntfs* ntfsEngine_ = nullptr;      // the NTFS engine of this scan
  std::unique_ptr<CatalogueTable> table_;
  TreeItem rootItem_ = kNoTreeItem;
  std::wstring searchText_;
  bool listShowsSearch_ = false;
  bool started_ = false;
  std::atomic<bool> workerActive_{false};
  std::thread worker_;
};

}  // namespace lv
