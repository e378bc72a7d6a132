#include "catalogue/TreeFill.h"

#include <exception>
#include <map>
#include <optional>
#include <unordered_map>

#include "common/Text.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {
constexpr const wchar_t* kPatternRefused = L"such characters are not allowed for search.Try again with different pattern.";
}  // namespace

TreeItem CreateRootItem(ResultTree& tree) {
  return tree.InsertItem(kNoTreeItem, L"ROOT", ItemImage::Folder, false, kVolumeTopData);
}

std::wstring FileEntriesFoundText(int64_t count) {
  return L"File Entries Found: " + Format(L"%ld", static_cast<long>(count));
}

TreeFill::TreeFill(ResultTree& tree, CatalogueTable& table, WorkerSink& sink, CategoryMatcher& matcher,
                   PauseGate* gate)
    : tree_(tree),
      table_(table),
      sink_(sink),
      matcher_(matcher),
      gate_(gate),
      inserted_(table.Size(), 0),
      counted_(table.Size(), 0) {
  tree_.ReserveItems(table.Size());
}

bool TreeFill::FirstVisit(std::vector<uint8_t>& seen, EntryIndex entry) {
  if (entry < 0 || static_cast<size_t>(entry) >= seen.size() || seen[static_cast<size_t>(entry)]) return false;
  seen[static_cast<size_t>(entry)] = 1;
  return true;
}

void TreeFill::Fill(TreeItem rootItem) {
  // The root is never shown below itself, whatever a chain says.
  const EntryIndex root = table_.RootEntry();
  FirstVisit(inserted_, root);
  FirstVisit(counted_, root);
  for (EntryIndex e : table_.TopLevel()) {
    if (gate_) gate_->Wait();
    if (FirstVisit(inserted_, e)) InsertTopLevel(e, rootItem);
  }
  tree_.Expand(rootItem);
  sink_.SetStatus(FileEntriesFoundText(fileCounter_));
}

void TreeFill::InsertTopLevel(EntryIndex entry, TreeItem rootItem) {
  std::wstring& name = name_;
  table_.NameInto(entry, name);
  const bool red = table_.IsDeleted(entry);
  if (table_.IsFolder(entry, FolderUse::Tree)) {
    const TreeItem item = tree_.InsertItem(rootItem, name, ItemImage::Folder, red, table_.DataOf(entry));
    progress_ = countedFiles_;
    countedFiles_ += CountFiles(entry);
    sink_.ProgressRange(0, countedFiles_);
    InsertChildren(entry, item);
    sink_.ProgressPosition(countedFiles_);
    return;
  }
  try {
    if (MatchesCategory(name)) {
      tree_.InsertItem(rootItem, name, ItemImage::File, red, table_.DataOf(entry));
      ++fileCounter_;
    }
  } catch (const std::exception&) {
    ShowPlain(kPatternRefused);
  }
}

void TreeFill::InsertChildren(EntryIndex entry, TreeItem parent) {
  struct Frame {
    EntryIndex next;
    TreeItem item;
  };
  std::vector<Frame> stack;
  FirstVisit(inserted_, entry);
  stack.push_back({table_.FirstChild(entry), parent});
  const StopFlag& stop = table_.StopRequested();
  while (!stack.empty()) {
    const EntryIndex child = stack.back().next;
    const TreeItem item = stack.back().item;
    // A chain ends at its end, or where it comes back to an entry already
    // walked (a loop, or a chain merging into one already shown).
    if (child == kNoEntry || !FirstVisit(inserted_, child)) {
      stack.pop_back();
      sink_.SetStatus(FileEntriesFoundText(fileCounter_));
      continue;
    }
    stack.back().next = table_.NextSibling(child);
    sink_.ProgressPosition(progress_);
    if (StopPolled(stop, gate_)) break;
    if (table_.IsFolder(child, FolderUse::Tree)) {
      if (table_.SkipsSubtree(child)) continue;
      table_.NameInto(child, name_);
      const TreeItem folder =
          tree_.InsertItem(item, name_, ItemImage::Folder, table_.IsDeleted(child), table_.DataOf(child));
      stack.push_back({table_.FirstChild(child), folder});
      continue;
    }
    ++progress_;
    try {
      table_.NameInto(child, name_);
      if (MatchesCategory(name_)) {
        tree_.InsertItem(item, name_, ItemImage::File, table_.IsDeleted(child), table_.DataOf(child));
        ++fileCounter_;
      }
    } catch (const std::exception&) {
      // The error ends the insertion of this folder.
      stack.pop_back();
    }
  }
  sink_.SetStatus(FileEntriesFoundText(fileCounter_));
}

int64_t TreeFill::CountFiles(EntryIndex entry) {
  int64_t count = 0;
  std::vector<EntryIndex> cursors;
  FirstVisit(counted_, entry);
  cursors.push_back(table_.FirstChild(entry));
  while (!cursors.empty()) {
    const EntryIndex child = cursors.back();
    if (child == kNoEntry || !FirstVisit(counted_, child)) {
      cursors.pop_back();
      continue;
    }
    cursors.back() = table_.NextSibling(child);
    if (table_.IsFolder(child, FolderUse::Tree)) {
      cursors.push_back(table_.FirstChild(child));
    } else {
      ++count;
    }
  }
  return count;
}

std::u16string RecycledFormerName(ByteView info) {
  constexpr size_t kVersion = 0;
  constexpr size_t kPathV1 = 24;
  constexpr size_t kCountV2 = 24;
  constexpr size_t kPathV2 = 28;
  size_t start = kPathV1;
  size_t limit = info.size();
  if (info.Le64(kVersion) == 2 && info.Fits(kCountV2, 4)) {
    start = kPathV2;
    const uint64_t characters = info.Le32(kCountV2);
    if (info.Fits(start, 0)) limit = start + std::min<uint64_t>(characters * 2, info.size() - start);
  }
  std::u16string path;
  for (size_t off = start; off + 2 <= limit && info.Fits(off, 2); off += 2) {
    const char16_t c = info.Le16(off);
    if (c == 0) break;
    path.push_back(c);
  }
  const size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

namespace {

constexpr uint64_t kMaxRecycleInfoBytes = 2047;

std::vector<EntryIndex> Children(const CatalogueTable& table, EntryIndex folder, std::vector<uint8_t>& seen) {
  std::vector<EntryIndex> children;
  for (EntryIndex e = table.FirstChild(folder); e != kNoEntry; e = table.NextSibling(e)) {
    if (seen[static_cast<size_t>(e)]) break;
    seen[static_cast<size_t>(e)] = 1;
    children.push_back(e);
  }
  return children;
}

std::u16string Replace(std::u16string text, std::u16string_view from, std::u16string_view to) {
  for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Reads the "$I" entry through its data stream; empty when it cannot be
// read or is too long to be one.
std::optional<std::vector<uint8_t>> ReadRecycleInfo(CatalogueTable& table, EntryIndex entry) {
  EntryData data = table.OpenData(entry);
  std::string bytes;
  if (!data.valid || !ReadWhole(data, kMaxRecycleInfoBytes, bytes)) return std::nullopt;
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void RestoreUserFolder(CatalogueTable& table, EntryIndex userFolder) {
  std::vector<uint8_t> seen(table.Size(), 0);
  const std::vector<EntryIndex> children = Children(table, userFolder, seen);
  // $I name → former name, in key order.
  std::map<std::u16string, std::u16string> formerNames;
  for (EntryIndex child : children) {
    if (table.IsFolder(child, FolderUse::Tree)) continue;
    const std::u16string name = WideToUtf16(table.Name(child));
    if (name.compare(0, 2, u"$I") != 0) continue;
    const std::optional<std::vector<uint8_t>> info = ReadRecycleInfo(table, child);
    if (!info) continue;
    std::u16string former = RecycledFormerName(ByteView(info->data(), info->size()));
    if (!former.empty()) formerNames[name] = std::move(former);
  }
  if (formerNames.empty()) return;
  // Entries of the folder by their current name; a rename moves an entry to
  // its new name, so later pairs see names as earlier pairs left them.
  std::unordered_map<std::u16string, std::vector<EntryIndex>> byName;
  for (EntryIndex child : children) byName[WideToUtf16(table.Name(child))].push_back(child);
  for (const auto& [infoName, former] : formerNames) {
    const auto found = byName.find(Replace(infoName, u"$I", u"$R"));
    if (found == byName.end() || found->first == former) continue;
    std::vector<EntryIndex> renamed = std::move(found->second);
    byName.erase(found);
    for (EntryIndex e : renamed) table.Rename(e, former);
    auto& target = byName[former];
    target.insert(target.end(), renamed.begin(), renamed.end());
  }
}

}  // namespace

void RestoreRecycledNames(ResultTree& tree, CatalogueTable& table) {
  const TreeItem top = tree.FirstChild(kNoTreeItem);
  if (top == kNoTreeItem) return;
  for (TreeItem item = tree.FirstChild(top); item != kNoTreeItem; item = tree.NextSibling(item)) {
    if (!tree.IsFolder(item)) continue;
    const std::wstring text = tree.Text(item);
    if (text != L"$RECYCLE.BIN" && text != L"$RECYCLEBIN") continue;
    const EntryIndex bin = table.IndexOf(tree.Data(item));
    if (bin == kNoEntry) continue;
    std::vector<uint8_t> seen(table.Size(), 0);
    for (EntryIndex user : Children(table, bin, seen))
      if (table.IsFolder(user, FolderUse::Tree)) RestoreUserFolder(table, user);
  }
}

void PruneEmptyFolders(ResultTree& tree, const StopFlag& pageStop, PauseGate* gate) {
  const TreeItem top = tree.FirstChild(kNoTreeItem);
  if (top == kNoTreeItem) return;
  struct Frame {
    TreeItem item;
    TreeItem next;
  };
  std::vector<Frame> stack;
  for (TreeItem a = tree.FirstChild(top); a != kNoTreeItem;) {
    const TreeItem nextTop = tree.NextSibling(a);
    if (tree.IsFolder(a)) {
      // Post-order below a: a child with children is pruned first, then
      // deleted when it is a folder left empty.
      stack.push_back({a, tree.FirstChild(a)});
      while (!stack.empty()) {
        const TreeItem c = stack.back().next;
        if (c == kNoTreeItem || StopPolled(pageStop, gate)) {
          const TreeItem done = stack.back().item;
          stack.pop_back();
          if (!stack.empty() && tree.IsFolder(done) && !tree.HasChildren(done)) tree.DeleteItem(done);
          continue;
        }
        stack.back().next = tree.NextSibling(c);
        if (tree.HasChildren(c)) {
          stack.push_back({c, tree.FirstChild(c)});
        } else if (tree.IsFolder(c)) {
          tree.DeleteItem(c);
        }
      }
    }
    if (tree.IsFolder(a) && !tree.HasChildren(a)) tree.DeleteItem(a);
    a = nextTop;
  }
}

}  // namespace lv
