// The advanced-input page's worker and choices, free of any toolkit.
//
// After the recovery-mode page, the advanced-input page runs the candidate
// search of the volume's engine on its worker thread (Run). The worker then
// fills the page's lists and preselects the first item of each, enables
// Next and Back, reports the search in a message box, hides the progress
// bar with the Pause, Resume and Stop buttons, and writes its final status.
// What the user selects in the lists becomes the results page's advanced
// choices (Choices), with the engine borrowed by the results page.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/PageControls.h"
#include "common/WorkerProtocol.h"
#include "disk/VolumeAdapter.h"

namespace lv {

enum class ChoiceList { Candidates, SectorsPerCluster, HeapOffsets };

// The advanced-input page's controls beyond those of the results page.
class AdvancedInputControls : public PageControls {
 public:
  virtual void SetNextEnabled(bool) {}
  // Empties a list, fills it with `items` in order and selects row
  // `selected` (-1: none).
  virtual void FillList(ChoiceList, const std::vector<std::wstring>& /*items*/, int /*selected*/) {}
};

class AdvancedInput {
 public:
  AdvancedInput(VolumeAdapter& adapter, WorkerSink& statusLine, AdvancedInputControls& controls);

  // The worker: the search for up to `maximum` candidates (the kind's
  // default below 1), then the lists, the buttons, the message and the
  // final status.
  void Run(uint64_t maximum);

  const CandidateLists& Lists() const { return lists_; }
  // The user's selection in a list; false, and nothing changes, for a row
  // outside the list.
  bool Select(ChoiceList list, int row);
  int Selected(ChoiceList list) const { return selected_[static_cast<size_t>(list)]; }
  // What the results page copies: the selected rows of the candidate and
  // heap lists and the selected sectors-per-cluster text.
  AdvancedChoices Choices() const;

 private:
  size_t ListSize(ChoiceList list) const;

  VolumeAdapter& adapter_;
  WorkerSink& statusLine_;
  AdvancedInputControls& controls_;
  CandidateLists lists_;
  std::array<int, 3> selected_{-1, -1, -1};
};

}  // namespace lv
