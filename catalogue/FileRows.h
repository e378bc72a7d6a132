// The file list: the rows shown for the selected tree item, and the check
// box propagation of the tree.
#pragma once

#include "common/CatalogueTable.h"
#include "catalogue/Views.h"

namespace lv {

// The placeholder child of a folder whose children are not in the tree yet.
inline constexpr const wchar_t* kPlaceholderText = L"..DUMY..";

// The six texts of a row: the given name, then the entry's texts.
RowTexts MakeRow(CatalogueTable& table, EntryIndex entry, std::wstring name);

// Refills the list for the selected item: a folder's file children (its
// children are first put into the tree when it only holds the placeholder),
// or the one selected file. Row data is the tree item each row shows.
void RefillList(CatalogueTable& table, ResultTree& tree, FileList& list, TreeItem selected);

// A check box changed; wasChecked is its state before the change. The list
// is emptied; a box cleared clears every ancestor and the direct children,
// a box set sets the direct children.
void PropagateCheck(ResultTree& tree, FileList& list, TreeItem item, bool wasChecked);

}  // namespace lv
