#include "catalogue/FileRows.h"

#include <vector>

namespace lv {

RowTexts MakeRow(CatalogueTable& table, EntryIndex entry, std::wstring name) {
  EntryTexts texts = table.Texts(entry);
  return RowTexts{std::move(name),          std::move(texts.creation), std::move(texts.access),
                  std::move(texts.modification), std::move(texts.size),     std::move(texts.attributes)};
}

namespace {

// Puts a folder's children into the tree below its item, in chain order;
// a child folder with children of its own gets the placeholder.
void InsertFolderChildren(CatalogueTable& table, ResultTree& tree, TreeItem item, EntryIndex folder) {
  const bool folderDeleted = table.IsDeleted(folder);
  std::vector<uint8_t> seen(table.Size(), 0);
  for (EntryIndex child = table.FirstChild(folder); child != kNoEntry; child = table.NextSibling(child)) {
    if (seen[static_cast<size_t>(child)]) break;
    seen[static_cast<size_t>(child)] = 1;
    const bool isFolder = table.IsFolder(child, FolderUse::List);
    const bool red = table.IsDeleted(child) || (!isFolder && folderDeleted);
    const TreeItem childItem = tree.InsertItem(item, table.Name(child), isFolder ? ItemImage::Folder : ItemImage::File,
                                               red, table.DataOf(child));
    if (isFolder && table.FirstChild(child) != kNoEntry)
      tree.InsertItem(childItem, kPlaceholderText, ItemImage::File, false, kNoItemData);
  }
}

}  // namespace

void RefillList(CatalogueTable& table, ResultTree& tree, FileList& list, TreeItem selected) {
  if (selected == kNoTreeItem) return;
  const ItemData data = tree.Data(selected);
  const bool volumeTop = data == kVolumeTopData;
  const EntryIndex entry = volumeTop ? kNoEntry : table.IndexOf(data);
  if (!volumeTop && (entry == kNoEntry || !table.IsValidRecord(entry))) {
    list.DeleteAllItems();
    return;
  }
  if (volumeTop || table.IsFolder(entry, FolderUse::List)) {
    const TreeItem first = tree.FirstChild(selected);
    if (!volumeTop && first != kNoTreeItem && tree.Text(first) == kPlaceholderText) {
      tree.DeleteItem(first);
      if (!tree.HasChildren(selected)) InsertFolderChildren(table, tree, selected, entry);
    }
    list.DeleteAllItems();
    size_t row = 0;
    for (TreeItem child = tree.FirstChild(selected); child != kNoTreeItem; child = tree.NextSibling(child)) {
      const EntryIndex childEntry = table.IndexOf(tree.Data(child));
      if (childEntry == kNoEntry || table.IsFolder(childEntry, FolderUse::List)) continue;
      list.InsertRow(row++, MakeRow(table, childEntry, tree.Text(child)), child);
    }
    return;
  }
  list.DeleteAllItems();
  list.InsertRow(0, MakeRow(table, entry, tree.Text(selected)), selected);
}

void PropagateCheck(ResultTree& tree, FileList& list, TreeItem item, bool wasChecked) {
  if (item == kNoTreeItem) return;
  list.DeleteAllItems();
  if (wasChecked)
    for (TreeItem up = tree.Parent(item); up != kNoTreeItem; up = tree.Parent(up)) tree.SetChecked(up, false);
  for (TreeItem child = tree.FirstChild(item); child != kNoTreeItem; child = tree.NextSibling(child))
    tree.SetChecked(child, !wasChecked);
}

}  // namespace lv
