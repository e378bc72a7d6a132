// The results tree and the file list on Qt item models.
//
// The scan worker fills the tree from its own thread. While it does, the
// model is frozen: the view shows nothing of it and is reset once when the
// fill ends, so a tree of a million items costs the interface thread one
// reset and then only the rows it draws. The list is filled by the search
// worker the same way; its rows are published to the view in batches (on
// Sync, which the page calls every ~50 ms), so the window stays live.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "catalogue/MemoryViews.h"
#include "catalogue/Views.h"

namespace lv {

class ResultTreeModel : public QAbstractItemModel, public ResultTree {
  Q_OBJECT

 public:
  explicit ResultTreeModel(QObject* parent = nullptr);

  // Frozen: the view sees an empty tree and no notification is sent.
  void Freeze();
  // Publishes the whole tree and expands what the fill expanded.
  void Thaw();
  bool Frozen() const { return frozen_; }

  TreeItem ItemOf(const QModelIndex& index) const { return index.isValid() ? static_cast<TreeItem>(index.internalId()) : kNoTreeItem; }
  QModelIndex IndexOf(TreeItem item) const;
  bool WasExpanded(TreeItem item) const { return tree_.Expanded(item); }

  // ResultTree
  TreeItem InsertItem(TreeItem parent, std::wstring_view text, ItemImage image, bool red, ItemData data) override;
  void DeleteItem(TreeItem item) override;
  void DeleteAll() override;
  void Expand(TreeItem item) override;
  void SetText(TreeItem item, std::wstring_view text) override;
  void ReserveItems(size_t count) override { tree_.ReserveItems(count); }
  TreeItem FirstChild(TreeItem item) const override { return tree_.FirstChild(item); }
  TreeItem NextSibling(TreeItem item) const override { return tree_.NextSibling(item); }
  TreeItem Parent(TreeItem item) const override { return tree_.Parent(item); }
  std::wstring Text(TreeItem item) const override { return tree_.Text(item); }
  ItemImage Image(TreeItem item) const override { return tree_.Image(item); }
  bool IsRed(TreeItem item) const override { return tree_.IsRed(item); }
  ItemData Data(TreeItem item) const override { return tree_.Data(item); }
  bool Checked(TreeItem item) const override { return tree_.Checked(item); }
  void SetChecked(TreeItem item, bool checked) override;

  // QAbstractItemModel
  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& = QModelIndex()) const override { return 1; }
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // The user changed an item's check box; wasChecked is its state before.
  void checkToggled(quint64 item, bool wasChecked);
  void expandRequested(const QModelIndex& index);

 private:
  bool Live() const;
  const std::vector<TreeItem>& Children(TreeItem parent) const;
  void Changed();

  MemoryResultTree tree_;
  bool frozen_ = false;
  mutable std::unordered_map<TreeItem, std::vector<TreeItem>> children_;
  mutable std::unordered_map<TreeItem, int> rowOf_;
  QIcon folderIcon_, fileIcon_;
};

class FileListModel : public QAbstractTableModel, public FileList {
  Q_OBJECT

 public:
  explicit FileListModel(QObject* parent = nullptr);
  // The check box a row shows (its tree item's), when the list follows the tree.
  std::function<std::optional<bool>(size_t row, ItemData data)> checkOf;

  // Publishes rows added or removed since the last call (interface thread).
  void Sync();
  void RefreshChecks();

  void DeleteAllItems() override;
  size_t InsertRow(size_t position, const RowTexts& texts, ItemData data) override;
  size_t RowCount() const override;
  std::wstring Text(size_t row, size_t column) const override;
  ItemData Data(size_t row) const override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& = QModelIndex()) const override { return static_cast<int>(kListColumns); }
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Row {
    RowTexts texts;
    ItemData data;
  };
  mutable std::mutex mutex_;
  std::vector<Row> rows_;
  bool reshaped_ = false;  // rows removed or inserted before the end
  int shown_ = 0;          // rows the view knows of
  QIcon fileIcon_;
};

}  // namespace lv
