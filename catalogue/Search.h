// Search: a regular expression matched against the names of the recovered
// files below the results tree's folders, restricted to the chosen
// categories. Results are list rows with their full path.
#pragma once

#include <string>

#include "common/CatalogueTable.h"
#include "catalogue/PageControls.h"
#include "catalogue/Views.h"

namespace lv {

inline constexpr const wchar_t* kSearchRefusedText =
    L"such characters are not allowed for search.Try again with different pattern.";

// The search button's check: the text is compiled and run over "abcd"; a
// text the regular-expression library refuses shows the refusal and gives
// false.
bool ValidateSearchText(const std::wstring& text);

struct SearchContext {
  CatalogueTable& table;
  ResultTree& tree;
  FileList& list;
  WorkerSink& sink;
  StopFlag& pageStop;  // the search stop flag, cleared when the search ends
  PauseGate* gate = nullptr;
  PageControls& controls = NoControls();
};

// The search worker's steps after the flags are set: empties the list,
// searches below every first-level item of the tree, and ends with
// "Searching Finished". Returns the number of rows added.
int64_t RunSearch(SearchContext& context, const std::wstring& text);

}  // namespace lv
