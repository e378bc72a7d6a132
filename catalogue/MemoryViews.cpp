#include "catalogue/MemoryViews.h"

#include <algorithm>
#include <limits>

#include "common/Text.h"

namespace lv {

// Handles are node numbers + 1, so 0 stays "none"; links hold handles too.

namespace {

// Wide text to UTF-8 bytes, any value below 2^21 encoded (surrogates too).
void AppendText(std::wstring_view text, std::string& out, size_t limit) {
  const size_t start = out.size();
  for (wchar_t wc : text) {
    const auto c = static_cast<uint32_t>(wc) & 0x1FFFFF;
    if (c < 0x80 && out.size() - start < limit) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char bytes[4];
    size_t n;
    if (c < 0x80) {
      bytes[0] = static_cast<char>(c), n = 1;
    } else if (c < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (c >> 6)), bytes[1] = static_cast<char>(0x80 | (c & 0x3F)), n = 2;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (c >> 12)), bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (c & 0x3F)), n = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (c >> 18)), bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F)), bytes[3] = static_cast<char>(0x80 | (c & 0x3F)), n = 4;
    }
    if (out.size() - start + n > limit) break;  // cut at a character
    out.append(bytes, n);
  }
}

void ReadText(std::string_view bytes, std::wstring& text) {
  text.clear();
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    if (b < 0x80) {
      text.push_back(static_cast<wchar_t>(b));
      ++i;
      continue;
    }
    const size_t n = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    uint32_t c = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
    for (size_t k = 1; k < n && i + k < bytes.size(); ++k) c = (c << 6) | (static_cast<uint8_t>(bytes[i + k]) & 0x3F);
    text.push_back(static_cast<wchar_t>(c));
    i += n;
  }
}

}  // namespace

const MemoryResultTree::Node* MemoryResultTree::Find(TreeItem item) const {
  if (item == kNoTreeItem || item > nodes_.size()) return nullptr;
  const Node& node = nodes_[item - 1];
  return node.Is(kAlive) ? &node : nullptr;
}

TreeItem MemoryResultTree::InsertItem(TreeItem parent, std::wstring_view text, ItemImage image, bool red,
                                      ItemData data) {
  if (parent != kNoTreeItem && !Find(parent)) return kNoTreeItem;
  constexpr size_t kMaxTextBytes = std::numeric_limits<uint16_t>::max();
  if (nodes_.size() >= std::numeric_limits<Link>::max() - 1 ||
      texts_.size() > std::numeric_limits<uint32_t>::max() - kMaxTextBytes)
    return kNoTreeItem;
  Node node;
  node.textOffset = static_cast<uint32_t>(texts_.size());
  AppendText(text, texts_, kMaxTextBytes);
  node.textLength = static_cast<uint16_t>(texts_.size() - node.textOffset);
  node.dataLow = static_cast<uint32_t>(data);
  node.dataHigh = static_cast<uint32_t>(data >> 32);
  node.image = image;
  node.Set(kRed, red);
  node.Set(kAlive, true);
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
  // Names average well below 24 bytes; reserved pages that stay unused are
  // never touched.
  nodes_.reserve(count + 1);
  texts_.reserve(count * 24);
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
    if (!n.Is(kAlive)) continue;
    n.Set(kAlive, false);
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

void MemoryResultTree::SetText(TreeItem item, std::wstring_view text) {
  // The arena only grows: the new text is appended and the old one left.
  Node* node = Find(item);
  constexpr size_t kMaxTextBytes = std::numeric_limits<uint16_t>::max();
  if (!node || texts_.size() > std::numeric_limits<uint32_t>::max() - kMaxTextBytes) return;
  node->textOffset = static_cast<uint32_t>(texts_.size());
  AppendText(text, texts_, kMaxTextBytes);
  node->textLength = static_cast<uint16_t>(texts_.size() - node->textOffset);
}

void MemoryResultTree::Expand(TreeItem item) {
  if (Node* node = Find(item)) node->Set(kExpanded, true);
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
  std::wstring text;
  TextInto(item, text);
  return text;
}

void MemoryResultTree::TextInto(TreeItem item, std::wstring& out) const {
  const Node* node = Find(item);
  if (node) ReadText(std::string_view(texts_).substr(node->textOffset, node->textLength), out);
  else out.clear();
}

ItemImage MemoryResultTree::Image(TreeItem item) const {
  const Node* node = Find(item);
  return node ? node->image : ItemImage::File;
}

bool MemoryResultTree::IsRed(TreeItem item) const {
  const Node* node = Find(item);
  return node && node->Is(kRed);
}

ItemData MemoryResultTree::Data(TreeItem item) const {
  const Node* node = Find(item);
  return node ? node->Data() : kNoItemData;
}

bool MemoryResultTree::Checked(TreeItem item) const {
  const Node* node = Find(item);
  return node && node->Is(kChecked);
}

void MemoryResultTree::SetChecked(TreeItem item, bool checked) {
  if (Node* node = Find(item)) node->Set(kChecked, checked);
}

bool MemoryResultTree::Expanded(TreeItem item) const {
  const Node* node = Find(item);
  return node && node->Is(kExpanded);
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
