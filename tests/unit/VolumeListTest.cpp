// The volume list operations: rows and lines, custom settings, Add Custom
// Volume, Filter Entries, Next, and the advanced scan's worker.
#include <gtest/gtest.h>

#include "PartitionTestImage.h"
#include "disk/VolumeList.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

class View : public VolumeListView {
 public:
  void LinesCleared() override { log.push_back(L"clear"); }
  void LineInserted(size_t position, const VolumeLine& line) override {
    log.push_back(L"insert " + std::to_wstring(position) + L" " + line.columns[0]);
  }
  void LineSelected(size_t position) override { log.push_back(L"select " + std::to_wstring(position)); }
  void SetCustomCheckEnabled(bool on) override { customEnabled = on; }
  void SetAddCustomEnabled(bool on) override { addEnabled = on; }
  void SetNextEnabled(bool on) override { nextEnabled = on; }
  void SetBackEnabled(bool on) override { back.push_back(on); }
  void SetFilterEnabled(bool on) override { filter.push_back(on); }
  std::vector<std::wstring> log;
  std::vector<bool> back, filter;
  bool customEnabled = false, addEnabled = false, nextEnabled = false;
};

VolumeEntry Row(const wchar_t* fs, const wchar_t* size, int64_t start) {
  VolumeEntry r;
  r.fileSystem = fs, r.sizeText = size, r.startSector = start, r.name = L"x";
  return r;
}

TEST(VolumeList, ShowRowsNumbersThemAndShowsThemInOrder) {
  View view;
  VolumeList list(view);
  list.ShowRows({Row(L"NTFS", L"100   MB", 2048), Row(L"FAT32", L"8  MB", 206848)});
  const auto lines = list.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].columns, (std::array<std::wstring, 4>{L"0", L"NTFS", L"100   MB", L"2048"}));
  EXPECT_EQ(lines[1].columns[0], L"1");
  EXPECT_EQ(lines[1].rowIndex, std::optional<size_t>(1));
  EXPECT_EQ(view.log, (std::vector<std::wstring>{L"clear", L"insert 0 1", L"insert 0 0"}));
}

TEST(VolumeList, SelectPreselectAndSpin) {
  View view;
  VolumeList list(view);
  list.ShowRows({Row(L"NTFS", L"100   MB", 2048), Row(L"extX", L"12", 4096), Row(L"CUSTOM ", L"0", 0)});
  list.SelectLine(0);
  EXPECT_EQ(list.settings.selectedVolume, L"0");
  EXPECT_EQ(list.settings.startEdit, L"2048");
  EXPECT_EQ(list.settings.endEdit, std::to_wstring(2048 + 100 * 2048 - 1));
  list.SelectLine(1);  // a GPT-style size without unit
  EXPECT_EQ(list.settings.endEdit, std::to_wstring(4096 + 12 * 2048 - 1));
  list.SelectLine(2);
  EXPECT_EQ(list.settings.endEdit, L"0");
  EXPECT_EQ(list.SelectedLine(), std::optional<size_t>(2));

  const auto& entries = VolumeList::TreatAsEntries();
  list.PreselectFileSystem(1);
  EXPECT_EQ(entries.at(list.settings.treatAs), L"EXTX");
  list.PreselectFileSystem(2);  // "CUSTOM " finds no entry: the selection stays
  EXPECT_EQ(entries.at(list.settings.treatAs), L"EXTX");

  EXPECT_EQ(VolumeList::StepSector(L"0", -1), L"1");
  EXPECT_EQ(VolumeList::StepSector(L"0", +1), L"0");
  EXPECT_EQ(VolumeList::StepSector(L"2048", +1), L"2047");
  EXPECT_EQ(VolumeList::StepSector(L"abc", -1), L"1");
}

TEST(VolumeList, AddCustomVolumeTwiceAfterAnAdvancedScanOfThreeRows) {
  test::DiskBuilder disk(4 * 2048);
  for (int i = 0; i < 3; ++i) disk.ExFatBootSector(100 + 2048 * i, 2048);
  MemoryReader reader(disk.image());
  RecordingMessageBox box;
  ScopedMessages messages(&box);
  View view;
  VolumeList list(view);
  LatestValueSink status;
  EXPECT_EQ(list.RunAdvancedScan(reader, status, true, 0, 0), 1);
  EXPECT_EQ(list.Lines().size(), 3u);
  EXPECT_TRUE(list.Lines()[0].ownCopy.has_value());
  list.AddCustomVolume();
  list.AddCustomVolume();
  const auto lines = list.Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].columns, (std::array<std::wstring, 4>{L"4", L"CUSTOM ", L"0", L"0"}));
  EXPECT_EQ(lines[1].columns[0], L"3");
  EXPECT_EQ(list.SelectedLine(), std::optional<size_t>(0));
  EXPECT_TRUE(list.settings.checked);
  EXPECT_EQ(list.settings.startEdit, L"0");
  EXPECT_EQ(list.settings.selectedVolume, L"4");
  EXPECT_EQ(view.log.back(), L"select 0");
}

TEST(VolumeList, AdvancedScanWorkerTextsAndControls) {
  test::DiskBuilder disk(2048);
  disk.ExFatBootSector(8, 2048);
  MemoryReader reader(disk.image());
  RecordingMessageBox box;
  ScopedMessages messages(&box);
  View view;
  VolumeList list(view);
  LatestValueSink status;
  list.RunAdvancedScan(reader, status, true, 0, 0);
  EXPECT_EQ(box.Texts(), std::vector<std::wstring>{L"populated partitions...."});
  EXPECT_EQ(box.Messages()[0].caption, L"");
  EXPECT_EQ(status.Status(), L"Select volume and click next button...");
  EXPECT_EQ(view.back, (std::vector<bool>{false, true}));
  EXPECT_EQ(view.filter, (std::vector<bool>{false, true}));
  EXPECT_TRUE(view.customEnabled && view.addEnabled && view.nextEnabled);
  ASSERT_EQ(list.Rows().size(), 1u);
  EXPECT_EQ(list.Rows()[0].startSector, 8);
  EXPECT_EQ(view.log, (std::vector<std::wstring>{L"clear", L"insert 0 0"}));
}

TEST(VolumeList, AStopBeforeTheEngineStartsStopsThatScanOnly) {
  test::DiskBuilder disk(2048);
  disk.ExFatBootSector(8, 2048);
  MemoryReader reader(disk.image());
  RecordingMessageBox box;
  ScopedMessages messages(&box);
  View view;
  VolumeList list(view);
  LatestValueSink status;
  list.RequestStop();
  list.RunAdvancedScan(reader, status, true, 0, 0);
  EXPECT_TRUE(list.Rows().empty());
  list.RunAdvancedScan(reader, status, true, 0, 0);
  EXPECT_EQ(list.Rows().size(), 1u);
}

TEST(VolumeList, FilterEntriesKeepsRowsThatFollowTheirPredecessorBySectorOne) {
  View view;
  VolumeList list(view);
  list.ShowRows({Row(L"NTFS", L"1", 63), Row(L"NTFS", L"1", 64), Row(L"NTFS", L"1", 2048)});
  list.FilterEntries();
  const auto lines = list.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].columns[0], L"1");
  EXPECT_EQ(lines[0].columns[3], L"64");
  list.ShowRows({Row(L"NTFS", L"1", 63)});
  list.FilterEntries();
  EXPECT_TRUE(list.Lines().empty());
}

TEST(VolumeList, NextWithCustomSettingsThenWithoutThem) {
  RecordingMessageBox box;
  ScopedMessages messages(&box);
  View view;
  VolumeList list(view);
  VolumeEntry chosen;
  EXPECT_EQ(list.Finalise(chosen), FinaliseOutcome::NoSelection);
  EXPECT_EQ(box.Texts().back(), L"please select a valid volume.");

  list.ShowRows({Row(L"NTFS", L"100   MB", 2048)});
  list.SelectLine(0);
  list.settings.checked = true;
  list.settings.startEdit = L"2048";
  list.settings.endEdit = std::to_wstring(2048 + 100 * 2048 - 1);
  const auto& entries = VolumeList::TreatAsEntries();
  list.settings.treatAs = static_cast<int>(std::find(entries.begin(), entries.end(), L"FAT32") - entries.begin());
  EXPECT_EQ(list.Finalise(chosen), FinaliseOutcome::RecoveryMode);
  EXPECT_EQ(chosen.startSector, 2048);
  EXPECT_EQ(chosen.sizeText, L"100");
  EXPECT_EQ(chosen.fileSystem, L"fat32");
  EXPECT_TRUE(list.customApplied);

  // Back, then Next without custom settings: the row as its line shows it.
  list.settings.checked = false;
  EXPECT_EQ(list.Finalise(chosen), FinaliseOutcome::RecoveryMode);
  EXPECT_EQ(chosen.fileSystem, L"NTFS");
  EXPECT_EQ(chosen.sizeText, L"100");
  EXPECT_EQ(chosen.startSector, 2048);

  // An end before the start gives size 0; "RAW" opens the raw page.
  list.settings.checked = true;
  list.settings.endEdit = L"100";
  list.settings.treatAs = static_cast<int>(std::find(entries.begin(), entries.end(), L"RAW") - entries.begin());
  EXPECT_EQ(list.Finalise(chosen), FinaliseOutcome::RawRecovery);
  EXPECT_EQ(chosen.fileSystem, L"RAW");
  EXPECT_EQ(chosen.sizeText, L"0");
}

TEST(VolumeList, UnknownVolumeIsRefused) {
  RecordingMessageBox box;
  ScopedMessages messages(&box);
  View view;
  VolumeList list(view);
  list.ShowRows({Row(L"Unknown", L"5   MB", 63)});
  list.SelectLine(0);
  VolumeEntry chosen;
  EXPECT_EQ(list.Finalise(chosen), FinaliseOutcome::UnknownVolume);
  ASSERT_EQ(box.Messages().size(), 1u);
  EXPECT_EQ(box.Messages()[0].text, L"can not parse unknown volume");
  EXPECT_EQ(box.Messages()[0].icon, MessageIcon::None);
}

}  // namespace
}  // namespace lv
