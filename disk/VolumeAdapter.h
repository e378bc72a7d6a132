// The seam every engine plugs into.
//
// An engine stays a plain class with its own names and members. Beside it,
// in its own folder, lives one adapter that implements this interface: the
// per-file-system tables of the catalogue (CatalogueTable), the workers of
// its recovery modes and its candidate search. The scan job finds the
// adapter's factory in its dispatch table by file-system text and knows no
// engine type; the tree fill, search, save and the command line see only
// the adapter.
//
// Like a kernel's registered file-system type (a name and a mount function
// that yields operations), a dispatch row names the kind and the factory;
// the adapter's operations then serve one volume for one scan.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/CatalogueTable.h"
#include "common/WorkerProtocol.h"
#include "disk/Disk.h"

namespace lv {

// What an engine is made with: the shared reader, a copy of the chosen
// volume, the page's status line and progress target, and the pause gate
// its loops wait at.
struct EngineSetup {
  readWriteInterface& reader;
  VolumeEntry volume;
  WorkerSink& sink;
  PauseGate* gate = nullptr;
};

// The advanced-input page's choices, copied for the advanced workers.
struct AdvancedChoices {
  int64_t candidate = -1;          // selected row of the candidate list
  std::wstring sectorsPerCluster;  // selected text of the sectors-per-cluster list
  int64_t heapCandidate = -1;      // selected row of the heap list (exFAT)
};

// One row of a candidate list: its label and where the candidate lies, in
// bytes from the volume's start (for NTFS the candidate's $MFT record).
struct CandidateRow {
  std::wstring label;
  uint64_t position = 0;
};

// What the advanced input offers after its candidate search: the lists of
// the advanced-input page in list order (the first item of each is the one
// preselected), the message box that reports the search and the page's
// final status (empty when the kind shows none).
struct CandidateLists {
  std::vector<CandidateRow> candidates;
  std::vector<std::wstring> sectorsPerCluster;
  std::vector<CandidateRow> heapOffsets;  // exFAT only
  std::wstring message;
  std::wstring finalStatus;
};

// The catalogue's steps a worker runs between and after its engine steps.
// The scan job implements them on its tree.
class ScanSteps {
 public:
  virtual ~ScanSteps() = default;
  // Inserts "ROOT" at the top of the tree (emptied first when asked).
  virtual void CreateRootItem(bool emptyTreeFirst = false) = 0;
  // The tree fill of the adapter's table below "ROOT", with the category
  // filter (none for an unfiltered listing).
  virtual void FillTree() = 0;
  // The recycle-bin step.
  virtual void RestoreRecycledNames() = 0;
  // The filter step: folders left without files are removed.
  virtual void FilterTree() = 0;
};

// How a worker ends: its completion box (none when empty) and the final
// status.
struct WorkerEnd {
  std::wstring completion;
  std::wstring finalStatus = L"Processing done...";
};

class VolumeAdapter : public CatalogueTable {
 public:
  // The status shown before the worker starts ("ntfs partition
  // selected...."), and the hidden advanced label; empty for none.
  virtual std::wstring StartStatus(int32_t recoveryMode) const = 0;
  virtual std::wstring AdvancedLabel() const { return {}; }
  // Wires the engine to the page that runs its worker: status line and
  // progress target, and the pause gate its loops wait at. An engine made
  // by the advanced-input page is wired again to the results page.
  virtual void Wire(WorkerSink& sink, PauseGate* gate) = 0;
  // Whether the shared reader is opened on a mounted volume's device path
  // for this mode before the worker starts.
  virtual bool OpensMountedVolume(int32_t) const { return true; }

  // The worker of a recovery mode (1 standard, 2 advanced, 3 deep): the
  // engine's steps with their statuses, and the catalogue's steps through
  // `steps`, in the order of this kind's worker.
  virtual WorkerEnd RunWorker(int32_t recoveryMode, const AdvancedChoices& choices, ScanSteps& steps) = 0;

  // The advanced input's candidate search, up to `maximum` candidates (the
  // kind's default below 1); the number found. The search reports status
  // and progress only: its message box is the page's (Candidates()).
  virtual uint64_t FindCandidates(uint64_t) { return 0; }
  // The lists and texts of the last candidate search; lists that do not
  // depend on the search are there before it.
  virtual CandidateLists Candidates() const { return {}; }
};

using AdapterFactory = std::unique_ptr<VolumeAdapter> (*)(const EngineSetup&);

}  // namespace lv
