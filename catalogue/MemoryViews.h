// In-memory results tree and file list, for the command line and the tests.
//
// Used by one thread at a time: the worker fills them, readers look after
// the worker has ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/Views.h"

namespace lv {

class MemoryResultTree final : public ResultTree {
 public:
  TreeItem InsertItem(TreeItem parent, std::wstring_view text, ItemImage image, bool red, ItemData data) override;
  void DeleteItem(TreeItem item) override;
  void DeleteAll() override;
  void Expand(TreeItem item) override;

  TreeItem FirstChild(TreeItem item) const override;
  TreeItem NextSibling(TreeItem item) const override;
  TreeItem Parent(TreeItem item) const override;

  std::wstring Text(TreeItem item) const override;
  ItemImage Image(TreeItem item) const override;
  bool IsRed(TreeItem item) const override;
  ItemData Data(TreeItem item) const override;
  bool Checked(TreeItem item) const override;
  void SetChecked(TreeItem item, bool checked) override;

  void ReserveItems(size_t count) override;
  bool Expanded(TreeItem item) const;
  // Items alive now (inserted and not deleted).
  size_t Count() const { return alive_; }

 private:
  // Texts live in one arena (offset, length), so inserting an item costs no
  // allocation of its own; links are node numbers (handle − 1 … as handles).
  using Link = uint32_t;
  struct Node {
    ItemData data = kNoItemData;
    uint64_t textOffset = 0;
    uint32_t textLength = 0;
    Link parent = 0, first = 0, last = 0, next = 0, prev = 0;
    ItemImage image = ItemImage::File;
    bool red = false, checked = false, expanded = false, alive = false;
  };
  const Node* Find(TreeItem item) const;
  Node* Find(TreeItem item) { return const_cast<Node*>(static_cast<const MemoryResultTree*>(this)->Find(item)); }

  std::vector<Node> nodes_;
  // Texts as UTF-16 (half the memory of wide text); characters beyond the
  // BMP take two units, as in a file system's names.
  std::u16string texts_;
  // The top level's first and last items.
  Link topFirst_ = 0, topLast_ = 0;
  size_t alive_ = 0;
};

class MemoryFileList final : public FileList {
 public:
  void DeleteAllItems() override { rows_.clear(); }
  size_t InsertRow(size_t position, const RowTexts& texts, ItemData data) override;
  size_t RowCount() const override { return rows_.size(); }
  std::wstring Text(size_t row, size_t column) const override;
  ItemData Data(size_t row) const override;

 private:
  struct Row {
    RowTexts texts;
    ItemData data;
  };
  std::vector<Row> rows_;
};

}  // namespace lv
