#include "widgets/ResultModels.h"

#include <QApplication>
#include <QBrush>
#include <QStyle>
#include <QThread>

namespace lv {

namespace {
bool OnInterfaceThread() { return !qApp || QThread::currentThread() == qApp->thread(); }
QString ToQt(const std::wstring& text) { return QString::fromStdWString(text); }
}  // namespace

ResultTreeModel::ResultTreeModel(QObject* parent) : QAbstractItemModel(parent) {
  if (qApp) {
    folderIcon_ = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    fileIcon_ = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  }
}

bool ResultTreeModel::Live() const { return !frozen_ && OnInterfaceThread(); }

void ResultTreeModel::Freeze() {
  beginResetModel();
  frozen_ = true;
  children_.clear();
  rowOf_.clear();
  endResetModel();
}

void ResultTreeModel::Thaw() {
  beginResetModel();
  frozen_ = false;
  children_.clear();
  rowOf_.clear();
  endResetModel();
  // The fill expands ROOT and a few folders; the view follows.
  for (TreeItem top = tree_.FirstChild(kNoTreeItem); top != kNoTreeItem; top = tree_.NextSibling(top)) {
    if (tree_.Expanded(top)) emit expandRequested(IndexOf(top));
    for (TreeItem child = tree_.FirstChild(top); child != kNoTreeItem; child = tree_.NextSibling(child))
      if (tree_.Expanded(child)) emit expandRequested(IndexOf(child));
  }
}

void ResultTreeModel::Changed() {
  // Items inserted or removed on the interface thread (a placeholder
  // replaced by a folder's children): the view is told the shape changed.
  if (!Live()) return;
  beginResetModel();
  children_.clear();
  rowOf_.clear();
  endResetModel();
}

const std::vector<TreeItem>& ResultTreeModel::Children(TreeItem parent) const {
  auto found = children_.find(parent);
  if (found != children_.end()) return found->second;
  std::vector<TreeItem> list;
  for (TreeItem child = tree_.FirstChild(parent); child != kNoTreeItem; child = tree_.NextSibling(child)) {
    rowOf_[child] = static_cast<int>(list.size());
    list.push_back(child);
  }
  return children_.emplace(parent, std::move(list)).first->second;
}

QModelIndex ResultTreeModel::IndexOf(TreeItem item) const {
  if (item == kNoTreeItem || frozen_) return QModelIndex();
  auto found = rowOf_.find(item);
  if (found == rowOf_.end()) {
    Children(tree_.Parent(item));
    found = rowOf_.find(item);
    if (found == rowOf_.end()) return QModelIndex();
  }
  return createIndex(found->second, 0, static_cast<quintptr>(item));
}

TreeItem ResultTreeModel::InsertItem(TreeItem parent, std::wstring_view text, ItemImage image, bool red, ItemData data) {
  const TreeItem item = tree_.InsertItem(parent, text, image, red, data);
  Changed();
  return item;
}

void ResultTreeModel::DeleteItem(TreeItem item) {
  tree_.DeleteItem(item);
  Changed();
}

void ResultTreeModel::DeleteAll() {
  tree_.DeleteAll();
  Changed();
}

void ResultTreeModel::Expand(TreeItem item) {
  tree_.Expand(item);
  if (Live()) emit expandRequested(IndexOf(item));
}

void ResultTreeModel::SetText(TreeItem item, std::wstring_view text) {
  tree_.SetText(item, text);
  if (Live()) {
    const QModelIndex index = IndexOf(item);
    emit dataChanged(index, index);
  }
}

void ResultTreeModel::SetChecked(TreeItem item, bool checked) {
  tree_.SetChecked(item, checked);
  if (Live()) {
    const QModelIndex index = IndexOf(item);
    emit dataChanged(index, index, {Qt::CheckStateRole});
  }
}

QModelIndex ResultTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (frozen_ || column != 0 || row < 0) return QModelIndex();
  const std::vector<TreeItem>& list = Children(ItemOf(parent));
  if (static_cast<size_t>(row) >= list.size()) return QModelIndex();
  return createIndex(row, 0, static_cast<quintptr>(list[static_cast<size_t>(row)]));
}

QModelIndex ResultTreeModel::parent(const QModelIndex& child) const {
  if (frozen_ || !child.isValid()) return QModelIndex();
  return IndexOf(tree_.Parent(ItemOf(child)));
}

int ResultTreeModel::rowCount(const QModelIndex& parent) const {
  if (frozen_ || parent.column() > 0) return 0;
  return static_cast<int>(Children(ItemOf(parent)).size());
}

bool ResultTreeModel::hasChildren(const QModelIndex& parent) const {
  if (frozen_) return false;
  return tree_.FirstChild(ItemOf(parent)) != kNoTreeItem;
}

QVariant ResultTreeModel::data(const QModelIndex& index, int role) const {
  if (frozen_ || !index.isValid()) return QVariant();
  const TreeItem item = ItemOf(index);
  switch (role) {
    case Qt::DisplayRole: return ToQt(tree_.Text(item));
    case Qt::DecorationRole: return tree_.Image(item) == ItemImage::Folder ? folderIcon_ : fileIcon_;
    case Qt::ForegroundRole: return tree_.IsRed(item) ? QVariant(QBrush(QColor(200, 0, 0))) : QVariant();
    case Qt::CheckStateRole: return tree_.Checked(item) ? Qt::Checked : Qt::Unchecked;
    default: return QVariant();
  }
}

bool ResultTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (frozen_ || !index.isValid() || role != Qt::CheckStateRole) return false;
  const TreeItem item = ItemOf(index);
  const bool wasChecked = tree_.Checked(item);
  const bool checked = value.toInt() == Qt::Checked;
  if (checked == wasChecked) return false;
  SetChecked(item, checked);
  emit checkToggled(item, wasChecked);
  return true;
}

Qt::ItemFlags ResultTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {
  if (qApp) fileIcon_ = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

void FileListModel::DeleteAllItems() {
  std::lock_guard lock(mutex_);
  rows_.clear();
  reshaped_ = true;
}

size_t FileListModel::InsertRow(size_t position, const RowTexts& texts, ItemData data) {
  std::lock_guard lock(mutex_);
  if (position > rows_.size()) position = rows_.size();
  if (position < rows_.size()) reshaped_ = true;
  rows_.insert(rows_.begin() + static_cast<long>(position), Row{texts, data});
  return position;
}

size_t FileListModel::RowCount() const {
  std::lock_guard lock(mutex_);
  return rows_.size();
}

std::wstring FileListModel::Text(size_t row, size_t column) const {
  std::lock_guard lock(mutex_);
  return row < rows_.size() && column < kListColumns ? rows_[row].texts[column] : std::wstring();
}

ItemData FileListModel::Data(size_t row) const {
  std::lock_guard lock(mutex_);
  return row < rows_.size() ? rows_[row].data : kNoItemData;
}

void FileListModel::Sync() {
  size_t count;
  bool reshaped;
  {
    std::lock_guard lock(mutex_);
    count = rows_.size();
    reshaped = reshaped_;
    reshaped_ = false;
  }
  if (reshaped) {
    beginResetModel();
    shown_ = static_cast<int>(count);
    endResetModel();
  } else if (static_cast<int>(count) > shown_) {
    beginInsertRows(QModelIndex(), shown_, static_cast<int>(count) - 1);
    shown_ = static_cast<int>(count);
    endInsertRows();
  }
}

void FileListModel::RefreshChecks() {
  if (shown_ > 0) emit dataChanged(index(0, 0), index(shown_ - 1, 0), {Qt::CheckStateRole});
}

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return QVariant();
  const size_t row = static_cast<size_t>(index.row());
  const size_t column = static_cast<size_t>(index.column());
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    return ToQt(Text(row, column));
  }
  if (column == 0 && role == Qt::CheckStateRole && checkOf) {
    const std::optional<bool> checked = checkOf(row, Data(row));
    if (checked) return *checked ? Qt::Checked : Qt::Unchecked;
  }
  if (column == 4 && role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
  return QVariant();
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
  static const char* const kHeaders[] = {"File(s) List", "Creation Time", "Access Time", "Modification Time", "Size",
                                         "Attribute"};
  return section >= 0 && section < 6 ? QString::fromUtf8(kHeaders[section]) : QVariant();
}

}  // namespace lv
