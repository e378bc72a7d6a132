// The two views the catalogue fills: the results tree and the file list.
//
// The GUI implements them on its widgets (marshalled to the interface
// thread); the command line and the tests use the in-memory views of
// MemoryViews.h. The catalogue never needs more than what is declared here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/CatalogueTable.h"

namespace lv {

// Handle of a tree item; kNoTreeItem stands for "none" and, as a parent,
// for the tree's top level.
using TreeItem = uint64_t;
inline constexpr TreeItem kNoTreeItem = 0;

// Folder items and file items have distinct images; an item is a folder
// exactly when its image is the folder image.
enum class ItemImage : uint8_t { Folder, File };

class ResultTree {
 public:
  virtual ~ResultTree() = default;
  // Appends an item as the last child of parent (kNoTreeItem: top level).
  virtual TreeItem InsertItem(TreeItem parent, std::wstring_view text, ItemImage image, bool red, ItemData data) = 0;
  // Deletes an item with everything below it.
  virtual void DeleteItem(TreeItem item) = 0;
  virtual void DeleteAll() = 0;
  virtual void Expand(TreeItem item) = 0;
  // Replaces an item's text (the raw results relabel their category nodes).
  virtual void SetText(TreeItem item, std::wstring_view text) = 0;
  // A hint that about `count` items are coming (a fill of that many entries).
  virtual void ReserveItems(size_t) {}

  // Children in order; FirstChild(kNoTreeItem) is the first top-level item.
  virtual TreeItem FirstChild(TreeItem item) const = 0;
  virtual TreeItem NextSibling(TreeItem item) const = 0;
  virtual TreeItem Parent(TreeItem item) const = 0;
  bool HasChildren(TreeItem item) const { return FirstChild(item) != kNoTreeItem; }

  virtual std::wstring Text(TreeItem item) const = 0;
  // The same into a buffer the caller keeps, for walks over many items.
  virtual void TextInto(TreeItem item, std::wstring& out) const { out = Text(item); }
  virtual ItemImage Image(TreeItem item) const = 0;
  virtual bool IsRed(TreeItem item) const = 0;
  virtual ItemData Data(TreeItem item) const = 0;
  virtual bool Checked(TreeItem item) const = 0;
  virtual void SetChecked(TreeItem item, bool checked) = 0;
  bool IsFolder(TreeItem item) const { return Image(item) == ItemImage::Folder; }
};

// The six columns of a list row: name, creation, access, modification,
// size, attributes.
inline constexpr size_t kListColumns = 6;
using RowTexts = std::array<std::wstring, kListColumns>;

class FileList {
 public:
  virtual ~FileList() = default;
  virtual void DeleteAllItems() = 0;
  // Inserts a row at position (at most RowCount()); returns its index.
  virtual size_t InsertRow(size_t position, const RowTexts& texts, ItemData data) = 0;
  virtual size_t RowCount() const = 0;
  virtual std::wstring Text(size_t row, size_t column) const = 0;
  virtual ItemData Data(size_t row) const = 0;
};

}  // namespace lv
