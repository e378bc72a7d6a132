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
  void SetText(TreeItem item, std::wstring_view text) override;

  TreeItem FirstChild(TreeItem item) const override;
  TreeItem NextSibling(TreeItem item) const override;
  TreeItem Parent(TreeItem item) const override;

  std::wstring Text(TreeItem item) const override;
  void TextInto(TreeItem item, std::wstring& out) const override;
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
  // allocation of its own; links are handles (node number + 1). A node is
  // 36 bytes: a fill of a million entries holds a million of them.
  using Link = uint32_t;
  enum Flag : uint8_t { kRed = 1, kChecked = 2, kExpanded = 4, kAlive = 8 };
  struct Node {
    uint32_t dataLow = 0, dataHigh = 0;  // ItemData, in two halves to keep 4-byte alignment
    uint32_t textOffset = 0;
    Link parent = 0, first = 0, last = 0, next = 0, prev = 0;
    uint16_t textLength = 0;
    ItemImage image = ItemImage::File;
    uint8_t flags = 0;
    bool Is(Flag f) const { return (flags & f) != 0; }
    void Set(Flag f, bool on) { flags = static_cast<uint8_t>(on ? flags | f : flags & ~f); }
    ItemData Data() const { return (ItemData{dataHigh} << 32) | dataLow; }
  };
  static_assert(sizeof(Node) == 36);
  const Node* Find(TreeItem item) const;
  Node* Find(TreeItem item) { return const_cast<Node*>(static_cast<const MemoryResultTree*>(this)->Find(item)); }

  std::vector<Node> nodes_;
  // Texts in UTF-8, with a lone surrogate of a damaged name kept as its
  // three-byte form, so every text reads back exactly as it was given.
  std::string texts_;
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
