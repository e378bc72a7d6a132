// The results tree: the fill from an engine's entry table, the recycle-bin
// step that gives recycled files their former names, and the filter step
// that removes folders left without files.
//
// Every walk here is iterative and bounded: an entry is inserted, counted
// or visited at most once per walk, so a hostile table whose chains loop,
// or whose folder is its own descendant, ends instead of hanging, and a
// deep folder chain cannot exhaust the stack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/CatalogueTable.h"
#include "catalogue/Categories.h"
#include "catalogue/Views.h"
#include "common/ByteView.h"

namespace lv {

// Inserts "ROOT" at the tree's top level.
TreeItem CreateRootItem(ResultTree& tree);

// "File Entries Found: %ld".
std::wstring FileEntriesFoundText(int64_t count);

class TreeFill {
 public:
  TreeFill(ResultTree& tree, CatalogueTable& table, WorkerSink& sink, CategoryMatcher& matcher,
           PauseGate* gate = nullptr);

  // The fill below rootItem: the table's top-level entries in order, each
  // folder with everything below it; then the root item is expanded.
  void Fill(TreeItem rootItem);

  // Inserts the children of entry below parent, all levels: folders always
  // (except those whose subtree is skipped), files when their ending is in
  // the category filter. Ends when the engine's stop is requested.
  void InsertChildren(EntryIndex entry, TreeItem parent);
  // Files below entry, all levels, whatever their names.
  int64_t CountFiles(EntryIndex entry);
  bool MatchesCategory(std::wstring_view name) { return matcher_.Matches(name); }

  int64_t FileCounter() const { return fileCounter_; }

 private:
  // Inserts a top-level entry of a fill below rootItem.
  void InsertTopLevel(EntryIndex entry, TreeItem rootItem);
  bool FirstVisit(std::vector<uint8_t>& seen, EntryIndex entry);

  ResultTree& tree_;
  CatalogueTable& table_;
  WorkerSink& sink_;
  CategoryMatcher& matcher_;
  PauseGate* gate_;
  std::vector<uint8_t> inserted_;  // entries already walked by the fill
  std::vector<uint8_t> counted_;   // entries already walked by CountFiles
  int64_t fileCounter_ = 0;
  int64_t countedFiles_ = 0;  // the progress range: all files counted so far
  int64_t progress_ = 0;      // files walked so far
  std::wstring name_;         // the entry name being inserted
};

// The former path recorded in a recycle-bin "$I" file: version 1 holds the
// zero-terminated path at byte 24; version 2 a character count at 24 and the
// path at 28. Returns the part after the last backslash (the whole path when
// there is none); empty when the file holds no path.
std::u16string RecycledFormerName(ByteView info);

// The recycle-bin step: below the folders "$RECYCLE.BIN" and "$RECYCLEBIN"
// of the tree's top item, every "$R" entry of a user folder whose "$I" file
// records a former name is renamed to it. The "$I" files are read through
// their data streams; nothing is written.
void RestoreRecycledNames(ResultTree& tree, CatalogueTable& table);

// The filter step: below the tree's top item, every folder item left
// without children is deleted, bottom-up. Ends early when pageStop is set.
void PruneEmptyFolders(ResultTree& tree, const StopFlag& pageStop, PauseGate* gate = nullptr);

}  // namespace lv
