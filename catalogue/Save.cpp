#include "catalogue/Save.h"

#include <optional>
#include <vector>

#include "common/Text.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Process.h"

namespace lv {

namespace {

// Walks the children of a folder entry, or the volume's top-level entries,
// visiting every entry at most once.
class ChildCursor {
 public:
  ChildCursor(const CatalogueTable& table, EntryIndex folder, bool top) {
    if (top) {
      list_ = table.TopLevel();
      useList_ = true;
    } else {
      next_ = table.FirstChild(folder);
    }
  }
  // The next child, or kNoEntry at the end of the chain or where it comes
  // back to an entry already seen.
  EntryIndex Take(const CatalogueTable& table, std::vector<uint8_t>& seen) {
    for (;;) {
      EntryIndex e;
      if (useList_) {
        if (position_ >= list_.size()) return kNoEntry;
        e = list_[position_++];
      } else {
        e = next_;
        if (e == kNoEntry) return kNoEntry;
        next_ = table.NextSibling(e);
      }
      if (e >= 0 && static_cast<size_t>(e) < seen.size() && !seen[static_cast<size_t>(e)]) {
        seen[static_cast<size_t>(e)] = 1;
        return e;
      }
      // A list skips an entry already seen; a chain ends there (its rest
      // was or will be walked from that entry).
      if (!useList_) {
        next_ = kNoEntry;
        return kNoEntry;
      }
    }
  }

 private:
  std::vector<EntryIndex> list_;
  size_t position_ = 0;
  bool useList_ = false;
  EntryIndex next_ = kNoEntry;
};

void MarkSeen(std::vector<uint8_t>& seen, EntryIndex e) {
  if (e >= 0 && static_cast<size_t>(e) < seen.size()) seen[static_cast<size_t>(e)] = 1;
}

// Stops left set by a stopped scan or search must not make a save write
// nothing: a save starts with both requests cleared.
void ClearStaleStops(SaveContext& context) {
  context.pageStop.store(0);
  context.table.StopRequested().store(0);
}

}  // namespace

std::wstring SaveQuestionText(int64_t count) {
  return Format(L"number of files found inside this folder = %lld .do u want to continue dumping these files..?",
                static_cast<long long>(count));
}

int64_t CountSaveFiles(CatalogueTable& table, EntryIndex folder, bool top) {
  std::vector<uint8_t> seen(table.Size(), 0);
  if (!top) MarkSeen(seen, folder);
  std::vector<ChildCursor> cursors;
  cursors.emplace_back(table, folder, top);
  int64_t count = 0;
  while (!cursors.empty()) {
    const EntryIndex child = cursors.back().Take(table, seen);
    if (child == kNoEntry) {
      cursors.pop_back();
    } else if (table.IsFolder(child, FolderUse::Save)) {
      cursors.emplace_back(table, child, false);
    } else if (table.CountsAsFile(child)) {
      ++count;
    }
  }
  return count;
}

bool OutputFolderAllowed(const std::string& sourcePath, const std::string& outputFolder) {
  if (sourcePath.empty()) return true;
  if (const std::optional<std::wstring> refusal = OutputOnSource(sourcePath, outputFolder)) {
    ShowInfo(*refusal);
    return false;
  }
  return true;
}

namespace {

// Opens the writer on the output folder, after the source-device check.
bool OpenWriter(SaveContext& context, SaveWriter& writer, const std::string& folder) {
  if (!OutputFolderAllowed(context.sourcePath, folder)) return false;
  if (writer.Open(folder)) return true;
  ShowPlain(Format(L"The output folder %ls cannot be opened.", Utf8ToWide(folder).c_str()));
  return false;
}

// Writes one entry into a folder below the writer's root; an entry without
// a name writes nothing and counts as not written.
WriteOutcome WriteEntry(CatalogueTable& table, SaveWriter& writer, const std::string& relative, EntryIndex entry) {
  const std::string name = table.FileComponent(entry);
  if (name.empty()) {
    WriteOutcome none;
    none.path = JoinPath(JoinPath(writer.Root(), relative), "");
    return none;
  }
  EntryData data = table.OpenData(entry);
  return writer.Write(relative, name, data);
}

// The sub-folder a folder entry gets below `relative` (made now); the
// parent's folder when the entry names none.
std::string SubFolder(CatalogueTable& table, SaveWriter& writer, const std::string& relative, EntryIndex folder) {
  const std::string component = folder == kNoEntry ? std::string() : table.FolderComponent(folder);
  if (component.empty()) return relative;
  std::string sub = relative.empty() ? component : JoinPath(relative, component);
  writer.MakeFolder(sub);
  return sub;
}

// One file of a folder save: its status and size lines, then the write.
void SaveFileStep(SaveContext& context, SaveWriter& writer, const std::string& relative, EntryIndex entry) {
  CatalogueTable& table = context.table;
  context.sink.SetStatus(L"saving File  " + Utf8ToWide(JoinPath(JoinPath(writer.Root(), relative), "")) +
                         table.Name(entry));
  context.controls.SetSizeLine(Format(L"File size: %llu kb", static_cast<unsigned long long>(table.DataSize(entry) / 1024)));
  if (table.IsWritten(entry)) {
    const WriteOutcome outcome = WriteEntry(table, writer, relative, entry);
    if (context.observer) context.observer->FileSaved(outcome, entry);
  }
  context.controls.SetSizeLine(L"");
}

}  // namespace

int64_t SaveFolder(SaveContext& context, EntryIndex folder, bool top, const std::string& outputFolder) {
  CatalogueTable& table = context.table;
  ClearStaleStops(context);
  if (outputFolder.empty()) {
    ShowPlain(L"select output folder");
    return -1;
  }
  if (!top && (folder == kNoEntry || !table.IsFolder(folder, FolderUse::Save))) return -1;
  const std::string root = TrimRight(outputFolder);
  SaveWriter writer;
  if (!OpenWriter(context, writer, root)) return -1;
  const int64_t count = CountSaveFiles(table, folder, top);
  context.sink.ProgressRange(0, count);
  if (!AskYesNo(SaveQuestionText(count), L"", MessageIcon::None)) return -1;

  struct Frame {
    ChildCursor cursor;
    std::string relative;  // below the output folder, "" for the folder itself
  };
  std::vector<uint8_t> seen(table.Size(), 0);
  if (!top) MarkSeen(seen, folder);
  std::vector<Frame> stack;
  stack.push_back({ChildCursor(table, folder, top), std::string()});
  int64_t saved = 0;
  while (!stack.empty()) {
    if (StopPolled(context.pageStop, context.gate)) break;
    const EntryIndex child = stack.back().cursor.Take(table, seen);
    if (child == kNoEntry) {
      stack.pop_back();
      continue;
    }
    const std::string& relative = stack.back().relative;
    context.sink.ProgressPosition(saved);
    if (table.IsFolder(child, FolderUse::Save)) {
      if (table.SkipsSubtree(child)) continue;
      stack.push_back({ChildCursor(table, child, false), SubFolder(table, writer, relative, child)});
      continue;
    }
    if (!table.CountsAsFile(child)) continue;
    ++saved;
    SaveFileStep(context, writer, relative, child);
  }
  context.sink.ProgressPosition(count);
  ShowPlain(L"work done");
  return saved;
}

int64_t SaveTreeItems(SaveContext& context, const ResultTree& tree, TreeItem item, const std::string& outputFolder) {
  CatalogueTable& table = context.table;
  ClearStaleStops(context);
  if (outputFolder.empty()) {
    ShowPlain(L"select output folder");
    return -1;
  }
  const std::string root = TrimRight(outputFolder);
  SaveWriter writer;
  if (!OpenWriter(context, writer, root)) return -1;
  // Tree items form a tree: each is met once, no visited set is needed.
  int64_t count = 0;
  std::vector<TreeItem> pending = {item};
  while (!pending.empty()) {
    const TreeItem at = pending.back();
    pending.pop_back();
    for (TreeItem c = tree.FirstChild(at); c != kNoTreeItem; c = tree.NextSibling(c)) {
      if (tree.IsFolder(c)) pending.push_back(c);
      else ++count;
    }
  }
  context.sink.ProgressRange(0, count);
  if (!AskYesNo(SaveQuestionText(count), L"", MessageIcon::None)) return -1;

  struct Frame {
    TreeItem next;
    std::string relative;
  };
  std::vector<Frame> stack = {{tree.FirstChild(item), std::string()}};
  int64_t saved = 0;
  while (!stack.empty()) {
    if (StopPolled(context.pageStop, context.gate)) break;
    const TreeItem child = stack.back().next;
    if (child == kNoTreeItem) {
      stack.pop_back();
      continue;
    }
    stack.back().next = tree.NextSibling(child);
    const std::string relative = stack.back().relative;
    const EntryIndex entry = table.IndexOf(tree.Data(child));
    context.sink.ProgressPosition(saved);
    if (tree.IsFolder(child)) {
      stack.push_back({tree.FirstChild(child), SubFolder(table, writer, relative, entry)});
      continue;
    }
    if (entry == kNoEntry) continue;
    ++saved;
    SaveFileStep(context, writer, relative, entry);
  }
  context.sink.ProgressPosition(count);
  ShowPlain(L"work done");
  return saved;
}

bool SaveOneFile(SaveContext& context, EntryIndex entry, const std::string& outputFolder) {
  CatalogueTable& table = context.table;
  ClearStaleStops(context);
  if (entry == kNoEntry || table.IsFolder(entry, FolderUse::Save)) return false;
  // Without an output folder nothing is written: there is no folder the
  // user chose, and none to fall back on that is sure to be theirs.
  if (outputFolder.empty()) {
    ShowPlain(L"select output folder");
    return false;
  }
  const std::string target = TrimRight(outputFolder);
  SaveWriter writer;
  if (!OpenWriter(context, writer, target)) return false;
  const WriteOutcome outcome = WriteEntry(table, writer, "", entry);
  if (context.observer) context.observer->FileSaved(outcome, entry);
  if (table.ReportsSingleSave())
    ShowPlain(Format(L"file is dumped in path  :  %ls   ", Utf8ToWide(JoinPath(target, "")).c_str()));
  return outcome.ok();
}

std::string PreviewEntry(CatalogueTable& table, EntryIndex entry) {
  if (entry == kNoEntry || table.IsFolder(entry, FolderUse::List)) return std::string();
  const std::string folder = PreviewFolder();
  SaveWriter writer;
  if (folder.empty() || !writer.Open(folder)) return std::string();
  const WriteOutcome outcome = WriteEntry(table, writer, "", entry);
  if (!outcome.ok()) return std::string();
  StartDetached(ProgramFolder() + "glimpser", outcome.path);
  return outcome.path;
}

}  // namespace lv
