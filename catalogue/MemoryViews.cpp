#include "catalogue/MemoryViews.h"

#include <algorithm>

namespace lv {

const MemoryResultTree::Node* MemoryResultTree::Find(TreeItem item) const {
  if (item == kNoTreeItem || item > nodes_.size()) return nullptr;
  const Node& node = nodes_[item - 1];
  return node.alive ? &node : nullptr;
}

TreeItem MemoryResultTree::InsertItem(TreeItem parent, std::wstring_view text, ItemImage image, bool red,
                                      ItemData data) {
  Node* parentNode = Find(parent);
  if (parent != kNoTreeItem && !parentNode) return kNoTreeItem;
  Node node;
  node.text.assign(text);
  node.data = data;
  node.image = image;
  node.red = red;
  node.alive = true;
  node.parent = parent;
  const TreeItem handle = nodes_.size() + 1;
  const TreeItem previousLast = parentNode ? parentNode->last : topLast_;
  node.prev = previousLast;
  nodes_.push_back(std::move(node));  // parentNode dangles from here on
  if (previousLast != kNoTreeItem) nodes_[previousLast - 1].next = handle;
  if (parent == kNoTreeItem) {
    if (topFirst_ == kNoTreeItem) topFirst_ = handle;
    topLast_ = handle;
  } else {
    Node& p = nodes_[parent - 1];
    if (p.first == kNoTreeItem) p.first = handle;
    p.last = handle;
  }
  ++alive_;
  return handle;
}

void MemoryResultTree::DeleteItem(TreeItem item) {
  Node* node = Find(item);
  if (!node) return;
  // Unlink from the parent's children.
  Node* parentNode = Find(node->parent);
  TreeItem& first = parentNode ? parentNode->first : topFirst_;
  TreeItem& last = parentNode ? parentNode->last : topLast_;
  if (node->prev != kNoTreeItem) nodes_[node->prev - 1].next = node->next;
  else first = node->next;
  if (node->next != kNoTreeItem) nodes_[node->next - 1].prev = node->prev;
  else last = node->prev;
  // Mark the subtree dead without recursion.
  std::vector<TreeItem> pending = {item};
  while (!pending.empty()) {
    const TreeItem current = pending.back();
    pending.pop_back();
    Node& n = nodes_[current - 1];
    if (!n.alive) continue;
    n.alive = false;
    --alive_;
    for (TreeItem c = n.first; c != kNoTreeItem; c = nodes_[c - 1].next) pending.push_back(c);
  }
}

void MemoryResultTree::DeleteAll() {
  nodes_.clear();
  topFirst_ = topLast_ = kNoTreeItem;
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
  return node ? node->text : std::wstring();
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
