#include "catalogue/AdvancedInput.h"

#include "platform/MessageBox.h"

namespace lv {

namespace {

std::vector<std::wstring> Labels(const std::vector<CandidateRow>& rows) {
  std::vector<std::wstring> labels;
  labels.reserve(rows.size());
  for (const CandidateRow& row : rows) labels.push_back(row.label);
  return labels;
}

}  // namespace

AdvancedInput::AdvancedInput(VolumeAdapter& adapter, WorkerSink& statusLine, AdvancedInputControls& controls)
    : adapter_(adapter), statusLine_(statusLine), controls_(controls) {}

size_t AdvancedInput::ListSize(ChoiceList list) const {
  switch (list) {
    case ChoiceList::Candidates: return lists_.candidates.size();
    case ChoiceList::SectorsPerCluster: return lists_.sectorsPerCluster.size();
    case ChoiceList::HeapOffsets: return lists_.heapOffsets.size();
  }
  return 0;
}

void AdvancedInput::Run(uint64_t maximum) {
  adapter_.FindCandidates(maximum);
  lists_ = adapter_.Candidates();
  for (const ChoiceList list : {ChoiceList::Candidates, ChoiceList::SectorsPerCluster, ChoiceList::HeapOffsets})
    selected_[static_cast<size_t>(list)] = ListSize(list) > 0 ? 0 : -1;
  controls_.FillList(ChoiceList::Candidates, Labels(lists_.candidates), Selected(ChoiceList::Candidates));
  controls_.FillList(ChoiceList::SectorsPerCluster, lists_.sectorsPerCluster, Selected(ChoiceList::SectorsPerCluster));
  // Only exFAT has heap offsets; the list stays hidden for the others.
  if (!lists_.heapOffsets.empty())
    controls_.FillList(ChoiceList::HeapOffsets, Labels(lists_.heapOffsets), Selected(ChoiceList::HeapOffsets));
  controls_.SetNextEnabled(true);
  controls_.SetBackEnabled(true);
  if (!lists_.message.empty()) ShowInfo(lists_.message);
  controls_.SetWorkerControlsVisible(false);
  if (!lists_.finalStatus.empty()) statusLine_.SetStatus(lists_.finalStatus);
}

bool AdvancedInput::Select(ChoiceList list, int row) {
  if (row < 0 || static_cast<size_t>(row) >= ListSize(list)) return false;
  selected_[static_cast<size_t>(list)] = row;
  return true;
}

AdvancedChoices AdvancedInput::Choices() const {
  AdvancedChoices choices;
  choices.candidate = Selected(ChoiceList::Candidates);
  const int spc = Selected(ChoiceList::SectorsPerCluster);
  if (spc >= 0) choices.sectorsPerCluster = lists_.sectorsPerCluster[static_cast<size_t>(spc)];
  choices.heapCandidate = Selected(ChoiceList::HeapOffsets);
  return choices;
}

}  // namespace lv
