// The volume-list page's rows and list, free of any toolkit: the lines a
// standard or advanced scan leaves, the custom settings of a chosen row,
// Add Custom Volume, Filter Entries, the row finalised by Next, and the
// advanced scan's worker around the Partition engine.
//
// The page renders `Lines()` in its four-column list control and mirrors
// every change through VolumeListView; its buttons map onto the calls
// below. The advanced scan's worker calls the view from the worker thread
// (the GUI marshals to its interface thread); everything else runs on the
// interface thread. The rows and lines are guarded by one lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/WorkerProtocol.h"
#include "disk/Partition.h"

namespace lv {

// One line of the list control: its four column texts ("VOLUME",
// "FILE_SYSTEM", "VOLUME_SIZE", "START_SECTOR") and the row it refers to:
// an index into the rows after a standard scan, or a copy of the row that
// the line owns after an advanced scan and for a custom row.
struct VolumeLine {
  std::array<std::wstring, 4> columns;
  std::optional<size_t> rowIndex;
  std::optional<VolumeEntry> ownCopy;
};

// What the page's list control shows and the controls the operations set.
class VolumeListView {
 public:
  virtual ~VolumeListView() = default;
  virtual void LinesCleared() {}
  virtual void LineInserted(size_t /*position*/, const VolumeLine&) {}
  // The line becomes the hot item and the selection.
  virtual void LineSelected(size_t /*position*/) {}
  // "Custom Settings For Selected Volume ": checked and its controls enabled.
  virtual void SetCustomChecked(bool) {}
  virtual void SetCustomCheckEnabled(bool) {}
  virtual void SetFilterEnabled(bool) {}
  virtual void SetAddCustomEnabled(bool) {}
  virtual void SetBackEnabled(bool) {}
  virtual void SetNextEnabled(bool) {}
  // The progress bar and the Stop button.
  virtual void SetWorkerControlsVisible(bool) {}
};

// The custom settings controls as the user left them.
struct CustomSettings {
  bool checked = false;
  std::wstring selectedVolume;  // "Selected Volume :"
  std::wstring startEdit;       // "Start Sector:"
  std::wstring endEdit;         // "End Sector :"
  int treatAs = -1;             // index into TreatAsEntries(), -1: none
};

// Where Next leads.
enum class FinaliseOutcome { NoSelection, UnknownVolume, RawRecovery, RecoveryMode };

class VolumeList {
 public:
  explicit VolumeList(VolumeListView& view) : view_(view) {}

  // "Treat file system as:" in the order the sorted drop-down list shows.
  static const std::vector<std::wstring>& TreatAsEntries();

  // After a standard scan: the rows, each renumbered by its position and
  // shown as a line referring to it.
  void ShowRows(std::vector<VolumeEntry> rows);

  // The advanced scan's worker: clears rows and lines, runs the
  // scan with these settings (each row found is shown at once, its line
  // owning a copy), then the closing texts, message and controls.
  // Returns the scan's result (1, or a failed read's error code).
  int RunAdvancedScan(readWriteInterface& reader, WorkerSink& statusLine, bool skipVolumeSize,
                      int64_t customStartSector, int64_t customEndSector);
  // The Stop, Pause and Resume buttons while RunAdvancedScan runs. A stop
  // requested before the scan's engine has started (the worker thread just
  // begun) takes effect as soon as it starts; one requested while no scan
  // runs applies to the next.
  void RequestStop();
  PauseGate& Gate() { return gate_; }

  // Selection change in the list: the settings show the line's volume,
  // start and end (start + size × 2048 − 1, or 0 without a size).
  void SelectLine(size_t line);
  // A click on a line: its file system preselected in "Treat file system
  // as:" when it is a case-insensitive prefix of an entry.
  void PreselectFileSystem(size_t line);
  // A spin button next to an edit: delta −1 adds 1, delta +1 takes 1 from a
  // value above 0. Returns the edit's new text.
  static std::wstring StepSector(std::wstring_view editText, int delta);
  // "Add Custom Volume": a "CUSTOM " row, its line at the top, selected.
  void AddCustomVolume();
  // "Filter Entries": only the rows that start one sector after the row
  // before them.
  void FilterEntries();
  // Next: the chosen row with the custom settings applied, in `chosen`.
  FinaliseOutcome Finalise(VolumeEntry& chosen);

  CustomSettings settings;
  // Set when Next used custom settings or "RAW".
  bool customApplied = false;

  std::vector<VolumeEntry> Rows() const;
  std::vector<VolumeLine> Lines() const;
  std::optional<size_t> SelectedLine() const;

 private:
  class ScanPage;
  class StopCarrier;
  VolumeLine LineFor(const VolumeEntry& row, std::optional<size_t> index, bool ownCopy) const;
  VolumeEntry& RowOf(VolumeLine& line);
  void InsertLine(size_t position, VolumeLine line);
  void ClearLines();

  VolumeListView& view_;
  mutable std::mutex mutex_;
  std::vector<VolumeEntry> rows_;
  std::vector<VolumeLine> lines_;
  std::optional<size_t> selected_;
  bool advanced_ = false;
  Partition* engine_ = nullptr;
  std::atomic<bool> stopPending_{false};
  PauseGate gate_;
};

}  // namespace lv
