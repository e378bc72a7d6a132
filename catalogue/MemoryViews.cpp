#include "catalogue/MemoryViews.h"

#include <algorithm>
#include <limits>

#include "common/Text.h"

namespace lv {

// Handles are node numbers + 1, so 0 stays "none"; links hold handles too.

const MemoryResultTree::Node* MemoryResultTree::Find(TreeItem item) const {
  if (item == kNoTreeItem || item > nodes_.size()) return nullptr;
  const Node& node = nodes_[item - 1];
  return node.alive ? &node : nullptr;
}

TreeItem MemoryResultTree::InsertItem(TreeItem parent, std::wstring_view text, ItemImage image, bool red,
                                      ItemData data) {
  if (parent != kNoTreeItem && !Find(parent)) return kNoTreeItem;
  if (nodes_.size() >= std::numeric_limits<Link>::max() - 1 || text.size() > std::numeric_limits<uint32_t>::max() / 2)
    return kNoTreeItem;
  Node node;
  node.textOffset = texts_.size();
  AppendWideToUtf16(text, texts_);
  node.textLength = static_cast<uint32_t>(texts_.size() - node.textOffset);
  node.data = data;
  node.image = image;
  node.red = red;
  node.alive = true;
  node.parent = static_cast<Link>(parent);
  const auto handle = static_cast<Link>(nodes_.size() + 1);
  const Link previousLast = parent == kNoTreeItem ? topLast_ : nodes_[parent - 1].last;
  node.prev = previousLast;
  nodes_.push_back(node);
  if (previousLast != 0) nodes_[previousLast - 1].next = handle;
  if (parent == kNoTreeItem) {
    if (topFirst_ == 0) topFirst_ = handle;
    topLast_ = handle;
  } else {
    Node& p = nodes_[parent - 1];
    if (p.first == 0) p.first = handle;
    p.last = handle;
  }
  ++alive_;
  return handle;
}

void MemoryResultTree::ReserveItems(size_t count) {
  // Names average well below 16 UTF-16 units; reserved pages that stay
  // unused are never touched.
  nodes_.reserve(count);
  texts_.reserve(count * 16);
}

void MemoryResultTree::DeleteItem(TreeItem item) {
  Node* node = Find(item);
  if (!node) return;
  // Unlink from the parent's children.
  Node* parentNode = Find(node->parent);
  Link& first = parentNode ? parentNode->first : topFirst_;
  Link& last = parentNode ? parentNode->last : topLast_;
  if (node->prev != 0) nodes_[node->prev - 1].next = node->next;
  else first = node->next;
  if (node->next != 0) nodes_[node->next - 1].prev = node->prev;
  else last = node->prev;
  // Mark the subtree dead without recursion.
  std::vector<Link> pending = {static_cast<Link>(item)};
  while (!pending.empty()) {
    const Link current = pending.back();
    pending.pop_back();
    Node& n = nodes_[current - 1];
    if (!n.alive) continue;
    n.alive = false;
    --alive_;
    for (Link c = n.first; c != 0; c = nodes_[c - 1].next) pending.push_back(c);
  }
}

void MemoryResultTree::DeleteAll() {
  nodes_.clear();
  texts_.clear();
  topFirst_ = topLast_ = 0;
  alive_ = 0;
}

void MemoryResultTree::Expand(TreeItem item) {
  if (Node* node = Find(item)) node->expanded = true;
}

TreeItem MemoryResultTree::FirstChild(TreeItem item) const {
  if (item == kNoTreeItem) return topFirst_;
  const Node* node = Find(item);
  return node ? node->first : kNoTreeItem;
}

TreeItem MemoryResultTree::NextSibling(TreeItem item) const {
  const Node* node = Find(item);
  return node ? node->next : kNoTreeItem;
}

TreeItem MemoryResultTree::Parent(TreeItem item) const {
  const Node* node = Find(item);
  return node ? node->parent : kNoTreeItem;
}

std::wstring MemoryResultTree::Text(TreeItem item) const {
  const Node* node = Find(item);
  return node ? Utf16ToWide(std::u16string_view(texts_).substr(node->textOffset, node->textLength)) : std::wstring();
}

ItemImage MemoryResultTree::Image(TreeItem item) const {
  const Node* node = Find(item);
  return node ? node->image : ItemImage::File;
}

bool MemoryResultTree::IsRed(TreeItem item) const {
  const Node* node = Find(item);
  return node && node->red;
}

ItemData MemoryResultTree::Data(TreeItem item) const {
  const Node* node = Find(item);
  return node ? node->data : kNoItemData;
}

bool MemoryResultTree::Checked(TreeItem item) const {
  const Node* node = Find(item);
  return node && node->checked;
}

void MemoryResultTree::SetChecked(TreeItem item, bool checked) {
  if (Node* node = Find(item)) node->checked = checked;
}

bool MemoryResultTree::Expanded(TreeItem item) const {
  const Node* node = Find(item);
  return node && node->expanded;
}

size_t MemoryFileList::InsertRow(size_t position, const RowTexts& texts, ItemData data) {
  position = std::min(position, rows_.size());
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(position), Row{texts, data});
  return position;
}

std::wstring MemoryFileList::Text(size_t row, size_t column) const {
  if (row >= rows_.size() || column >= kListColumns) return std::wstring();
  return rows_[row].texts[column];
}

ItemData MemoryFileList::Data(size_t row) const { return row < rows_.size() ? rows_[row].data : kNoItemData; }

}  // namespace lv
