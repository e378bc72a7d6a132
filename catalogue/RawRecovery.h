// The raw recovery page's logic, free of any widget: the rule list from
// the settings files, the carving worker, the results tree the engine's
// finds go into ("RAW RECOVERY ", one node per category, one item per
// find), the list of a node's items, the preview copy and the save of the
// checked items.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "catalogue/Save.h"
#include "catalogue/Views.h"
#include "disk/VolumeEntry.h"
#include "raw/MyJpg.h"

namespace lv {

// The page's controls that its commands switch on and off; the GUI
// implements them, the command line and the tests take the do-nothing ones.
class RawPageControls {
 public:
  virtual ~RawPageControls() = default;
  // The progress bar and the Pause, Resume and Stop buttons.
  virtual void SetWorkerControlsVisible(bool) {}
  virtual void SetParseEnabled(bool) {}
  // The "Setting" button.
  virtual void SetSettingEnabled(bool) {}
  virtual void SetSaveEnabled(bool) {}
  virtual void SetBackEnabled(bool) {}
  // The "..." button and the settings-file box.
  virtual void SetBrowseEnabled(bool) {}
};
RawPageControls& NoRawControls();

inline constexpr const wchar_t* kRawRoot = L"RAW RECOVERY ";
// Item data of the root and the category nodes: never a CarvedItem index.
inline constexpr ItemData kRawFolderData = ~ItemData{0};

// "%lld ." followed by the extension: "1048576 .jpg".
std::wstring CarvedItemLabel(int64_t startOffset, std::wstring_view extension);

class RawRecovery final : private CarveObserver {
 public:
  RawRecovery(readWriteInterface& reader, ResultTree& tree, FileList& list, WorkerSink& sink,
              RawPageControls& controls = NoRawControls());
  ~RawRecovery() override;
  RawRecovery(const RawRecovery&) = delete;
  RawRecovery& operator=(const RawRecovery&) = delete;

  // Page start: the program folder's "FileSetting.txt" in the settings-file
  // box, "Load Default Items" set.
  std::string defaultSettingsPath;
  std::string settingsPath;
  bool loadDefault = true;

  // "...": a chosen file that exists goes into the settings-file box.
  void ChooseSettingsFile(const std::string& path);
  // Parse over the chosen volume: its size in whole MiB (the integer at the
  // start of its size text) from its first sector. True when the worker
  // was started.
  bool Parse(const VolumeEntry& volume);
  // Parse over a range given in bytes (the command line's exact range).
  bool ParseRange(int64_t startSector, uint64_t bytes);
  // Waits for the worker to end.
  void Wait();
  bool Running() const { return running_.load(); }

  void Stop();
  void Pause();
  void Resume();

  // A click on a tree item's label: the list shows its non-folder children.
  void TreeLabelClick(TreeItem item);
  // A click on a list row: the preview copy, then the viewer. Returns the
  // copy's path (empty when none was made).
  std::string RowClick(size_t row);
  // Save: every checked item (or every item of a checked node) into
  // outputFolder through the shared writer, named by its label. Returns the
  // number of files written, -1 when nothing was done.
  int64_t Save(const std::string& outputFolder, SaveObserver* observer = nullptr);

  // The engine of the last Parse (null before one).
  myJpg* Engine() { return engine_.get(); }
  TreeItem Root() const { return root_; }
  // The tree item of a CarvedItem (kNoTreeItem for none).
  TreeItem ItemNode(size_t index) const { return index < itemNodes_.size() ? itemNodes_[index] : kNoTreeItem; }
  // The CarvedItem index a tree item stands for; -1 for none.
  int64_t ItemIndex(TreeItem item) const;

 private:
  void RunStarted(const std::vector<CarveRule>& rules) override;
  void ItemCreated(size_t index, const CarveRule& rule, int64_t count) override;
  bool Prepare();
  void Refuse(bool settingsRefused);
  bool Start(int64_t startSector, uint64_t bytes);
  EntryData CopyData(size_t index);
  bool ParseBusy();

  readWriteInterface& reader_;
  ResultTree& tree_;
  FileList& list_;
  WorkerSink& sink_;
  RawPageControls& controls_;
  std::unique_ptr<myJpg> engine_;
  std::thread worker_;
  std::atomic<bool> running_{false};
  StopFlag pageStop_{0};
  PauseGate gate_;
  TreeItem root_ = kNoTreeItem;
  std::map<std::wstring, TreeItem> categoryNodes_;
  // The engine's item index → its tree item, in find order.
  std::vector<TreeItem> itemNodes_;
};

}  // namespace lv
