#include "catalogue/Search.h"

#include <exception>
#include <regex>
#include <vector>

#include "catalogue/Categories.h"
#include "catalogue/FileRows.h"
#include "common/Text.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {

void ShowRefusal() { Messages().Show(kSearchRefusedText, kProductTitle, MessageIcon::None, MessageButtons::Ok); }

class Searcher {
 public:
  Searcher(SearchContext& context, const std::wregex& expression)
      : c_(context), expression_(expression), matcher_(CategoryFilter), seen_(context.table.Size(), 0) {}

  void FirstLevel();
  int64_t Rows() const { return rows_; }

 private:
  bool FirstVisit(std::vector<uint8_t>& seen, EntryIndex e) {
    if (e < 0 || static_cast<size_t>(e) >= seen.size() || seen[static_cast<size_t>(e)]) return false;
    seen[static_cast<size_t>(e)] = 1;
    return true;
  }
  void FolderSearch(EntryIndex folder, std::wstring path);
  int64_t CountFiles(EntryIndex folder);
  void AddRow(const std::wstring& path, EntryIndex entry) {
    c_.list.InsertRow(static_cast<size_t>(rows_), MakeRow(c_.table, entry, path), c_.table.DataOf(entry));
    ++rows_;
    c_.sink.SetStatus(Format(L"searched file %lld", static_cast<long long>(rows_)));
  }

  SearchContext& c_;
  const std::wregex& expression_;
  CategoryMatcher matcher_;
  std::vector<uint8_t> seen_;
  int64_t rows_ = 0;
};

void Searcher::FirstLevel() {
  const TreeItem root = c_.tree.FirstChild(kNoTreeItem);
  if (root == kNoTreeItem) return;
  const std::wstring base = c_.tree.Text(root) + L"/";
  for (TreeItem child = c_.tree.FirstChild(root); child != kNoTreeItem; child = c_.tree.NextSibling(child)) {
    if (StopPolled(c_.pageStop, c_.gate)) break;
    const EntryIndex entry = c_.table.IndexOf(c_.tree.Data(child));
    const bool entryIsFolder = entry != kNoEntry && c_.table.IsFolder(entry, FolderUse::Search);
    if (c_.tree.HasChildren(child) || entryIsFolder) {
      if (!entryIsFolder || !c_.table.IsValidRecord(entry) || !FirstVisit(seen_, entry)) continue;
      c_.controls.SetSearchBusy(true);
      const int64_t files = CountFiles(entry);
      c_.sink.ProgressRange(0, files);
      FolderSearch(entry, base + c_.tree.Text(child));
      c_.sink.ProgressPosition(files);
      c_.controls.SetSearchBusy(false);
      continue;
    }
    if (entry == kNoEntry) continue;
    const std::wstring name = c_.table.SearchName(entry);
    try {
      if (std::regex_search(name, expression_)) AddRow(base + name, entry);
    } catch (const std::exception&) {
      ShowRefusal();
    }
  }
}

int64_t Searcher::CountFiles(EntryIndex folder) {
  std::vector<uint8_t> counted(c_.table.Size(), 0);
  FirstVisit(counted, folder);
  std::vector<EntryIndex> cursors = {c_.table.FirstChild(folder)};
  int64_t files = 0;
  while (!cursors.empty()) {
    const EntryIndex child = cursors.back();
    if (child == kNoEntry || !FirstVisit(counted, child)) {
      cursors.pop_back();
      continue;
    }
    cursors.back() = c_.table.NextSibling(child);
    if (c_.table.IsFolder(child, FolderUse::Search)) {
      cursors.push_back(c_.table.FirstChild(child));
    } else {
      ++files;
    }
  }
  return files;
}

void Searcher::FolderSearch(EntryIndex folder, std::wstring path) {
  struct Frame {
    EntryIndex next;
    size_t pathLength;  // the folder's path is path[0, pathLength)
  };
  std::vector<Frame> stack = {{c_.table.FirstChild(folder), path.size()}};
  const StopFlag& stop = c_.table.StopRequested();
  while (!stack.empty()) {
    const EntryIndex child = stack.back().next;
    const size_t folderLength = stack.back().pathLength;
    if (child == kNoEntry || !FirstVisit(seen_, child)) {
      stack.pop_back();
      continue;
    }
    stack.back().next = c_.table.NextSibling(child);
    if (StopPolled(stop, c_.gate)) return;
    const std::wstring name = c_.table.SearchName(child);
    path.resize(folderLength);
    if (c_.table.IsFolder(child, FolderUse::Search)) {
      if (c_.table.SkipsSubtree(child)) continue;
      if (!name.empty()) path += L"/" + name;
      stack.push_back({c_.table.FirstChild(child), path.size()});
      continue;
    }
    try {
      if (matcher_.Matches(name) && std::regex_search(name, expression_)) AddRow(path + L"/" + name, child);
    } catch (const std::exception&) {
      // An error of the expression library ends the search of this folder.
      stack.pop_back();
    }
  }
}

}  // namespace

bool ValidateSearchText(const std::wstring& text) {
  try {
    const std::wregex expression = CompilePattern(text);
    std::regex_search(std::wstring(L"abcd"), expression);
    return true;
  } catch (const std::exception&) {
    ShowRefusal();
    return false;
  }
}

int64_t RunSearch(SearchContext& context, const std::wstring& text) {
  context.list.DeleteAllItems();
  int64_t rows = 0;
  if (!text.empty()) {
    try {
      const std::wregex expression = CompilePattern(text);
      Searcher searcher(context, expression);
      searcher.FirstLevel();
      rows = searcher.Rows();
    } catch (const std::exception&) {
      ShowRefusal();
    }
  }
  context.pageStop.store(0);
  ShowPlain(L"Searching Finished");
  context.sink.SetStatus(L"Searching Finished");
  return rows;
}

}  // namespace lv
