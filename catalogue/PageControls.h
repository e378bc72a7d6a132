// The results page's controls that the scan job, search and saving switch
// on and off. The GUI implements them; the command line and the tests use
// the do-nothing default or record the calls.
#pragma once

#include <string_view>

namespace lv {

class PageControls {
 public:
  virtual ~PageControls() = default;
  virtual void SetBackEnabled(bool) {}
  // The progress bar and the Pause, Resume and Stop buttons.
  virtual void SetWorkerControlsVisible(bool) {}
  // While a folder is searched: the tree disabled and greyed, the Save and
  // Search buttons disabled.
  virtual void SetSearchBusy(bool) {}
  // The "Volume Data:" field.
  virtual void SetVolumeField(std::wstring_view) {}
  // The hidden advanced-mode label.
  virtual void SetAdvancedLabel(std::wstring_view) {}
  // The size line shown while a file is saved.
  virtual void SetSizeLine(std::wstring_view) {}
};

// Controls that ignore every call.
PageControls& NoControls();

}  // namespace lv
