// Search over the results tree, and the file list rows of a selection.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "CatalogueFakeTable.h"
#include "catalogue/Categories.h"
#include "catalogue/FileRows.h"
#include "catalogue/MemoryViews.h"
#include "catalogue/Search.h"
#include "catalogue/TreeFill.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

using test::FakeTable;

// A volume and its filled, filtered tree.
struct Volume {
  explicit Volume(bool photo = true, bool audio = false) {
    BuildCategoryFilter(photo, audio, false);
    const EntryIndex pics = table.Folder(FakeTable::kRoot, u"Pictures");
    table.File(pics, u"IMG_0001.JPG");
    table.File(pics, u"holiday.jpg.txt");
    table.File(pics, u"b.png");
    const EntryIndex sub = table.Folder(pics, u"2019");
    table.File(sub, u"a.jpg");
    table.File(sub, u"abc");
    const EntryIndex music = table.Folder(FakeTable::kRoot, u"Music");
    table.File(music, u"a.rm");
    table.File(music, u"song.aiff");
    table.File(FakeTable::kRoot, u"top.jpg");
    table.File(FakeTable::kRoot, u"readme.jpg.txt");
    Refill();
  }
  void Refill() {
    tree.DeleteAll();
    root = CreateRootItem(tree);
    CategoryMatcher matcher = CategoryMatcher::AcceptAll();
    TreeFill fill(tree, table, sink, matcher);
    fill.InsertChildren(FakeTable::kRoot, root);
  }
  std::vector<std::wstring> Search(const std::wstring& text) {
    SearchContext context{table, tree, list, sink, pageStop};
    RunSearch(context, text);
    std::vector<std::wstring> paths;
    for (size_t row = 0; row < list.RowCount(); ++row) paths.push_back(list.Text(row, 0));
    return paths;
  }

  FakeTable table;
  MemoryResultTree tree;
  MemoryFileList list;
  LatestValueSink sink;
  StopFlag pageStop{0};
  TreeItem root = kNoTreeItem;
  RecordingMessageBox box;
  ScopedMessages scope{&box};
};

using Paths = std::vector<std::wstring>;

TEST(CatalogueSearch, NamesBelowFoldersMatchTheExpressionAndTheCategories) {
  Volume v;
  EXPECT_EQ(v.Search(L"jpg"), (Paths{L"ROOT/Pictures/IMG_0001.JPG", L"ROOT/Pictures/2019/a.jpg", L"ROOT/top.jpg",
                                     L"ROOT/readme.jpg.txt"}));
  // Files directly below the root are searched without the category test.
  EXPECT_EQ(v.sink.Status(), L"Searching Finished");
  EXPECT_EQ(v.box.Texts().back(), L"Searching Finished");
  EXPECT_EQ(v.box.Messages().back().caption, L"");
  EXPECT_EQ(v.Search(L"a\\.jpg|b\\.png"), (Paths{L"ROOT/Pictures/b.png", L"ROOT/Pictures/2019/a.jpg"}));
  // The row: full path, then the entry's texts; its data is the entry.
  ASSERT_EQ(v.list.RowCount(), 2u);
  EXPECT_EQ(v.list.Text(0, 1), L"cb.png");
  EXPECT_EQ(v.list.Text(0, 4), L"1");
  EXPECT_EQ(v.table.Name(v.table.IndexOf(v.list.Data(0))), L"b.png");
  EXPECT_EQ(v.Search(L"abc"), Paths{});  // no ending, never found below a folder
  EXPECT_EQ(v.Search(L""), Paths{});
  EXPECT_EQ(v.sink.Status(), L"Searching Finished");

  Volume audio(false, true);
  EXPECT_EQ(audio.Search(L"a"), (Paths{L"ROOT/Music/a.rm", L"ROOT/Music/song.aiff", L"ROOT/readme.jpg.txt"}));
}

// Case is ignored in every script, not only in ASCII, whatever locale the
// program runs under.
TEST(CatalogueSearch, CaseIsIgnoredInEveryScript) {
  Volume v;
  const EntryIndex people = v.table.Folder(FakeTable::kRoot, u"People");
  v.table.File(people, u"\u00e9milie.jpg");
  v.table.File(people, u"\u041f\u0440\u0438\u0432\u0435\u0442.jpg");
  v.table.File(people, u"M\u00fcller.png");
  v.table.File(people, u"ANNA.JPG");
  v.Refill();
  const struct {
    std::wstring text;
    std::wstring found;
  } cases[] = {
      {L"\u00c9", L"ROOT/People/\u00e9milie.jpg"},
      {L"\u043f\u0440\u0438\u0432\u0435\u0442", L"ROOT/People/\u041f\u0440\u0438\u0432\u0435\u0442.jpg"},
      {L"M\u00dcLLER", L"ROOT/People/M\u00fcller.png"},
      {L"anna", L"ROOT/People/ANNA.JPG"},
  };
  for (const auto& c : cases) EXPECT_EQ(v.Search(c.text), Paths{c.found}) << WideToUtf8(c.text);
}

TEST(CatalogueSearch, ValidationRefusesWhatTheLibraryRefuses) {
  RecordingMessageBox box;
  ScopedMessages scope(&box);
  EXPECT_FALSE(ValidateSearchText(L"*.jpg"));
  EXPECT_FALSE(ValidateSearchText(L"(jpg"));
  EXPECT_FALSE(ValidateSearchText(L"[jpg"));
  ASSERT_EQ(box.Texts().size(), 3u);
  EXPECT_EQ(box.Texts()[0], L"such characters are not allowed for search.Try again with different pattern.");
  EXPECT_EQ(box.Messages()[0].icon, MessageIcon::None);
  EXPECT_TRUE(ValidateSearchText(L"jpg|png"));
  EXPECT_TRUE(ValidateSearchText(L""));
  EXPECT_EQ(box.Texts().size(), 3u);
}

TEST(CatalogueSearch, StopKeepsTheRowsFoundAndPauseHoldsTheWalk) {
  Volume v;
  for (int i = 0; i < 50; ++i) v.table.File(1, u"more" + std::u16string(1, u'a' + i % 26) + u".jpg");
  v.Refill();
  // Stop after the second row: the rows so far stay and the search ends normally.
  struct StopAt : LatestValueSink {
    StopFlag* stop = nullptr;
    StopFlag* pageStop = nullptr;
    void SetStatus(std::wstring_view text) override {
      LatestValueSink::SetStatus(text);
      if (text == L"searched file 2") stop->store(1), pageStop->store(1);
    }
  } stopping;
  stopping.stop = &v.table.stop;
  stopping.pageStop = &v.pageStop;
  SearchContext context{v.table, v.tree, v.list, stopping, v.pageStop};
  RunSearch(context, L"jpg");
  EXPECT_EQ(v.list.RowCount(), 2u);
  EXPECT_EQ(stopping.Status(), L"Searching Finished");
  EXPECT_EQ(v.pageStop.load(), 0);

  // Pause at the third row: the walk waits at its next poll, and after
  // Resume the search ends with every row.
  v.table.stop.store(0);
  PauseGate gate;
  struct PauseAt : LatestValueSink {
    PauseGate* gate = nullptr;
    void SetStatus(std::wstring_view text) override {
      LatestValueSink::SetStatus(text);
      if (text == L"searched file 3") gate->Pause();
    }
  } pausing;
  pausing.gate = &gate;
  std::atomic<int64_t> rows{-1};
  std::thread worker([&] {
    SearchContext paused{v.table, v.tree, v.list, pausing, v.pageStop, &gate};
    rows = RunSearch(paused, L"jpg");
  });
  while (gate.Waiting() == 0) std::this_thread::yield();
  const uint64_t statusCount = pausing.StatusCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(pausing.StatusCount(), statusCount);
  EXPECT_EQ(v.list.RowCount(), 3u);
  gate.Resume();
  worker.join();
  EXPECT_EQ(rows.load(), 54);
}

TEST(CatalogueRows, SelectionFillsTheListWithFileRows) {
  Volume v;
  const TreeItem pics = v.tree.FirstChild(v.root);
  RefillList(v.table, v.tree, v.list, pics);
  ASSERT_EQ(v.list.RowCount(), 3u);  // the folder 2019 gets no row
  EXPECT_EQ(v.list.Text(0, 0), L"IMG_0001.JPG");
  EXPECT_EQ(v.list.Text(0, 3), L"mIMG_0001.JPG");
  EXPECT_EQ(v.list.Text(2, 5), L"-A");
  EXPECT_EQ(v.list.Data(0), v.tree.FirstChild(pics));
  // A folder holding only folders empties the list; a file gives one row.
  const EntryIndex only = v.table.Folder(FakeTable::kRoot, u"only");
  v.table.Folder(only, u"inner");
  v.Refill();
  TreeItem onlyItem = v.tree.FirstChild(v.root);
  while (v.tree.Text(onlyItem) != L"only") onlyItem = v.tree.NextSibling(onlyItem);
  RefillList(v.table, v.tree, v.list, onlyItem);
  EXPECT_EQ(v.list.RowCount(), 0u);
  const TreeItem file = v.tree.FirstChild(v.tree.FirstChild(v.root));
  RefillList(v.table, v.tree, v.list, file);
  ASSERT_EQ(v.list.RowCount(), 1u);
  EXPECT_EQ(v.list.Data(0), file);
  // Item data that names no entry leaves the list empty.
  const TreeItem stray = v.tree.InsertItem(v.root, L"stray", ItemImage::File, false, 9999);
  RefillList(v.table, v.tree, v.list, stray);
  EXPECT_EQ(v.list.RowCount(), 0u);
}

TEST(CatalogueRows, PlaceholderChildrenAreInsertedOnce) {
  Volume v;
  const EntryIndex pics = 1;
  v.table.entries[pics].deleted = true;
  MemoryResultTree tree;
  const TreeItem root = CreateRootItem(tree);
  const TreeItem item = tree.InsertItem(root, L"Pictures", ItemImage::Folder, true, v.table.DataOf(pics));
  tree.InsertItem(item, kPlaceholderText, ItemImage::File, false, kNoItemData);
  RefillList(v.table, tree, v.list, item);
  RefillList(v.table, tree, v.list, item);
  std::vector<std::wstring> texts;
  for (TreeItem c = tree.FirstChild(item); c; c = tree.NextSibling(c)) texts.push_back(tree.Text(c));
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"IMG_0001.JPG", L"holiday.jpg.txt", L"b.png", L"2019"}));
  // Files of a deleted folder are red; its sub-folder with children gets a placeholder.
  EXPECT_TRUE(tree.IsRed(tree.FirstChild(item)));
  TreeItem folder2019 = tree.FirstChild(item);
  while (tree.Text(folder2019) != L"2019") folder2019 = tree.NextSibling(folder2019);
  EXPECT_EQ(tree.Text(tree.FirstChild(folder2019)), kPlaceholderText);
  EXPECT_EQ(v.list.RowCount(), 3u);
}

TEST(CatalogueRows, CheckChangesReachParentsAndChildren) {
  Volume v;
  const TreeItem pics = v.tree.FirstChild(v.root);
  const TreeItem sub = [&] {
    TreeItem c = v.tree.FirstChild(pics);
    while (v.tree.Text(c) != L"2019") c = v.tree.NextSibling(c);
    return c;
  }();
  // Setting a box sets the direct children.
  PropagateCheck(v.tree, v.list, pics, false);
  for (TreeItem c = v.tree.FirstChild(pics); c; c = v.tree.NextSibling(c)) EXPECT_TRUE(v.tree.Checked(c));
  EXPECT_FALSE(v.tree.Checked(v.tree.FirstChild(sub)));
  v.tree.SetChecked(v.root, true);
  v.tree.SetChecked(pics, true);
  v.tree.SetChecked(v.tree.FirstChild(sub), true);
  // Clearing one clears every ancestor and the direct children.
  PropagateCheck(v.tree, v.list, sub, true);
  EXPECT_FALSE(v.tree.Checked(pics));
  EXPECT_FALSE(v.tree.Checked(v.root));
  EXPECT_FALSE(v.tree.Checked(v.tree.FirstChild(sub)));
  EXPECT_EQ(v.list.RowCount(), 0u);
}

}  // namespace
}  // namespace lv
