// The results tree: category endings, the NTFS fill over a hand-built entry
// table, pruning, the recycle-bin names, and walks over hostile chains.
#include <gtest/gtest.h>

#include <filesystem>

#include "CatalogueFakeTable.h"
#include "TestSupport.h"
#include "catalogue/Categories.h"
#include "catalogue/MemoryViews.h"
#include "ntfs/NtfsAdapter.h"
#include "catalogue/TreeFill.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

// Lines "d|f r|- path" of a tree below its top item, in tree order.
std::vector<std::string> Dump(const ResultTree& tree) {
  std::vector<std::string> lines;
  struct Frame {
    TreeItem item;
    std::string path;
  };
  std::vector<Frame> stack;
  const TreeItem top = tree.FirstChild(kNoTreeItem);
  std::vector<TreeItem> children;
  for (TreeItem c = tree.FirstChild(top); c; c = tree.NextSibling(c)) children.push_back(c);
  for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, ""});
  while (!stack.empty()) {
    const Frame f = stack.back();
    stack.pop_back();
    const std::string path = (f.path.empty() ? "" : f.path + "/") + WideToUtf8(tree.Text(f.item));
    lines.push_back(std::string(tree.IsFolder(f.item) ? "d " : "f ") + (tree.IsRed(f.item) ? "r " : "- ") + path);
    std::vector<TreeItem> kids;
    for (TreeItem c = tree.FirstChild(f.item); c; c = tree.NextSibling(c)) kids.push_back(c);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back({*it, path});
  }
  return lines;
}

using Lines = std::vector<std::string>;

TEST(CatalogueCategories, EndingRuleAndFilter) {
  EXPECT_EQ(CategoryEnding(L"IMG_0001.jpg").value(), L".jpg");
  EXPECT_EQ(CategoryEnding(L"photo.jpeg").value(), L"jpeg");
  EXPECT_EQ(CategoryEnding(L"ab.cd").value(), L".cd");
  EXPECT_EQ(CategoryEnding(L"x.rm").value(), L".rm");
  EXPECT_FALSE(CategoryEnding(L"a.b"));
  EXPECT_FALSE(CategoryEnding(L"abc"));

  ASSERT_TRUE(BuildCategoryFilter(false, true, true));
  EXPECT_EQ(CategoryFilter, std::wstring(AudioExtensions) + L"|" + std::wstring(VideoExtensions));
  ASSERT_TRUE(BuildCategoryFilter(false, false, true));
  EXPECT_EQ(CategoryFilter, VideoExtensions);
  EXPECT_FALSE(BuildCategoryFilter(false, false, false));
  EXPECT_TRUE(CategoryFilter.empty());

  BuildCategoryFilter(true, false, false);
  CategoryMatcher photo(CategoryFilter);
  EXPECT_TRUE(photo.Matches(L"IMG_0001.jpg"));
  EXPECT_TRUE(photo.Matches(L"IMG_0001.JPG"));
  EXPECT_TRUE(photo.Matches(L"IMG_0001.jpeg"));
  EXPECT_TRUE(photo.Matches(L"scan.djvu"));
  EXPECT_TRUE(photo.Matches(L"filexjpg"));  // '.' of ".jpg" matches any character
  EXPECT_FALSE(photo.Matches(L"a.b"));
  EXPECT_FALSE(photo.Matches(L"notes.txt"));
  // Asked twice, the remembered verdict is the same.
  EXPECT_TRUE(photo.Matches(L"IMG_0002.jpeg"));
  EXPECT_TRUE(photo.Matches(L"IMG_0002.JpG"));

  BuildCategoryFilter(false, true, false);
  CategoryMatcher audio(CategoryFilter);
  EXPECT_TRUE(audio.Matches(L"song.aiff"));
  EXPECT_TRUE(audio.Matches(L"a.rm"));
  EXPECT_TRUE(audio.Matches(L"clip.au"));
  EXPECT_FALSE(audio.Matches(L"ab.cd"));
  EXPECT_TRUE(audio.Matches(L"track.flac"));

  CategoryMatcher broken(L"(unbalanced");
  EXPECT_FALSE(broken.Valid());
  EXPECT_FALSE(broken.Matches(L"a.jpg"));
  EXPECT_TRUE(CategoryMatcher::AcceptAll().Matches(L"a.b"));
}

// Each of the longer or newer endings is matched by its own category only
// ("tiff" also by Audio, whose ".iff" takes any character before "iff").
TEST(CatalogueCategories, NewerEndingsMatchTheirCategoryOnly) {
  enum : unsigned { kPhoto = 1, kAudio = 2, kVideo = 4 };
  const struct {
    const wchar_t* name;
    unsigned categories;
  } cases[] = {
      {L"IMG_0001.jpeg", kPhoto}, {L"scan.tiff", kPhoto | kAudio}, {L"IMG_0002.HEIC", kPhoto},
      {L"a.heif", kPhoto},        {L"a.webp", kPhoto},             {L"a.avif", kPhoto},
      {L"IMG_0003.CR3", kPhoto},  {L"a.jxl", kPhoto},              {L"song.flac", kAudio},
      {L"a.aac", kAudio},         {L"a.opus", kAudio},             {L"clip.webm", kVideo},
      {L"a.m4v", kVideo},         {L"00001.m2ts", kVideo},
  };
  BuildCategoryFilter(true, false, false);
  CategoryMatcher photo(CategoryFilter);
  BuildCategoryFilter(false, true, false);
  CategoryMatcher audio(CategoryFilter);
  BuildCategoryFilter(false, false, true);
  CategoryMatcher video(CategoryFilter);
  for (const auto& c : cases) {
    EXPECT_EQ(photo.Matches(c.name), (c.categories & kPhoto) != 0) << WideToUtf8(c.name);
    EXPECT_EQ(audio.Matches(c.name), (c.categories & kAudio) != 0) << WideToUtf8(c.name);
    EXPECT_EQ(video.Matches(c.name), (c.categories & kVideo) != 0) << WideToUtf8(c.name);
  }
}

// An NTFS entry table built by hand: entry 0 is the MFT's own record, entry 5
// the root ".", and ORPHAN_ENTRY is appended by Finish().
class HandTable {
 public:
  HandTable() : adapter(EngineSetup{reader, volume, sink, nullptr}), engine(adapter.Engine()) {
    for (int i = 0; i < 5; ++i) AddRaw(u"$meta" + std::u16string(1, u'0' + i), 0, false, true);
    AddRaw(u".", 5, true, true);
  }

  int64_t Add(const std::u16string& name, int64_t parent, bool folder, bool inUse = true) {
    const int64_t index = AddRaw(name, parent, folder, inUse);
    Link(parent, index);
    return index;
  }
  // An entry in no chain (its parent is unusable).
  int64_t AddUnlinked(const std::u16string& name, bool folder) { return AddRaw(name, -1, folder, true); }
  // Appends ORPHAN_ENTRY (at the end of the root's chain when linked).
  void Finish(bool linkOrphanToRoot, std::vector<int64_t> orphans = {}) {
    NtfsEntryRecord orphan;
    orphan.signature = {'F', 'I', 'L', 'E'};
    orphan.name = std::u16string_view(ntfs::kOrphanName);
    orphan.kind = 'D';
    orphan.selfIndex = static_cast<int64_t>(engine.entries.size());
    engine.entries.push_back(orphan);
    engine.orphanIndex = orphan.selfIndex;
    engine.rootIndex = 5;
    if (linkOrphanToRoot) {
      engine.entries.back().recordFlags = 1;
      Link(5, orphan.selfIndex);
    }
    for (int64_t o : orphans) Link(orphan.selfIndex, o);
  }
  void Link(int64_t parent, int64_t child) {
    auto& p = engine.entries[static_cast<size_t>(parent)];
    if (p.firstChild == 0) {
      p.firstChild = child;
      return;
    }
    int64_t last = p.firstChild;
    while (engine.entries[static_cast<size_t>(last)].nextSibling > 0) last = engine.entries[static_cast<size_t>(last)].nextSibling;
    engine.entries[static_cast<size_t>(last)].nextSibling = child;
  }

  Lines Fill(int32_t mode = 1, MessageBox* box = nullptr) {
    engine.recoveryMode = mode;
    CategoryMatcher matcher(CategoryFilter);
    tree.DeleteAll();
    const TreeItem root = CreateRootItem(tree);
    RecordingMessageBox silent;
    ScopedMessages scope(box ? box : &silent);
    TreeFill fill(tree, adapter, status, matcher);
    fill.Fill(root);
    filled = adapter.RootEntry() != kNoEntry;
    files = fill.FileCounter();
    return Dump(tree);
  }

  MemoryReader reader;
  VolumeEntry volume;
  NullSink sink;
  NtfsAdapter adapter;
  ntfs& engine;
  MemoryResultTree tree;
  LatestValueSink status;
  bool filled = false;
  int64_t files = 0;

 private:
  int64_t AddRaw(const std::u16string& name, int64_t parent, bool folder, bool inUse) {
    NtfsEntryRecord e;
    e.signature = {'F', 'I', 'L', 'E'};
    e.name = engine.nameStore.Add(name);
    e.parentIndex = parent;
    e.recordFlags = static_cast<uint16_t>((inUse ? 1 : 0) | (folder ? 2 : 0));
    e.kind = folder ? 'D' : 0;
    e.selfIndex = static_cast<int64_t>(engine.entries.size());
    engine.entries.push_back(e);
    return e.selfIndex;
  }
};

TEST(CatalogueNtfsFill, FoldersAndMatchingFilesInChainOrderDeletedInRed) {
  BuildCategoryFilter(true, false, false);
  HandTable t;
  const int64_t pics = t.Add(u"Pictures", 5, true);
  t.Add(u"IMG_0001.jpg", pics, false);
  t.Add(u"IMG_0001.JPG", pics, false, false);
  t.Add(u"IMG_0001.jpeg", pics, false);
  t.Add(u"notes.txt", pics, false);
  const int64_t gone = t.Add(u"Old", 5, true, false);
  t.Add(u"a.png", gone, false, false);
  t.Add(u"b.gif", gone, false, true);
  t.Add(u"top.bmp", 5, false);
  t.Add(u"a.b", 5, false);
  t.Finish(true);
  const Lines lines = t.Fill();
  EXPECT_TRUE(t.filled);
  EXPECT_EQ(lines, (Lines{"d - Pictures", "f - Pictures/IMG_0001.jpg", "f r Pictures/IMG_0001.JPG",
                          "f - Pictures/IMG_0001.jpeg", "d r Old", "f r Old/a.png", "f - Old/b.gif", "f - top.bmp",
                          "d - ORPHAN_ENTRY"}));
  EXPECT_EQ(t.files, 6);
  EXPECT_EQ(t.status.Status(), L"File Entries Found: 6");
  // The progress range counts every file below the folders, shown or not.
  EXPECT_EQ(t.status.RangeMaximum(), 6);
  EXPECT_EQ(t.status.Position(), 6);
}

TEST(CatalogueNtfsFill, DotFoldersAreSkippedAndOrphanEntryShownOnce) {
  BuildCategoryFilter(true, false, false);
  HandTable t;
  const int64_t a = t.Add(u"A", 5, true);
  const int64_t dot = t.Add(u".", a, true);
  t.Add(u"hidden.jpg", dot, false);
  const int64_t lost = t.AddUnlinked(u"lost.jpg", false);  // parent unknown: hangs under ORPHAN_ENTRY
  t.Finish(false, {lost});
  // ORPHAN_ENTRY not reached by the root's chain: inserted explicitly, never red.
  EXPECT_EQ(t.Fill(), (Lines{"d - A", "d - ORPHAN_ENTRY", "f - ORPHAN_ENTRY/lost.jpg"}));

  // Deep mode shows ORPHAN_ENTRY only.
  t.Add(u"root.jpg", 5, false);
  EXPECT_EQ(t.Fill(3), (Lines{"d - ORPHAN_ENTRY", "f - ORPHAN_ENTRY/lost.jpg"}));
}

TEST(CatalogueNtfsFill, WithoutRootOrphansStayVisible) {
  BuildCategoryFilter(true, false, false);
  HandTable t;
  const int64_t lost = t.AddUnlinked(u"lost.jpg", false);
  t.Finish(false, {lost});
  t.engine.rootIndex = static_cast<int64_t>(t.engine.entries.size());
  EXPECT_EQ(t.Fill(), (Lines{"d - ORPHAN_ENTRY", "f - ORPHAN_ENTRY/lost.jpg"}));
  EXPECT_FALSE(t.filled);
}

TEST(CatalogueNtfsFill, HostileChainsEndAndShowEachEntryOnce) {
  BuildCategoryFilter(true, false, false);
  HandTable t;
  const int64_t a = t.Add(u"A", 5, true);
  const int64_t b = t.Add(u"B", a, true);
  const int64_t one = t.Add(u"1.jpg", b, false);
  t.Add(u"2.jpg", b, false);
  const int64_t c = t.Add(u"C", b, true);
  t.Finish(true);
  auto& e = t.engine.entries;
  // A sibling chain that loops back, a folder that is its own descendant,
  // and a root whose chain comes back to the root.
  e[static_cast<size_t>(c)].nextSibling = one;
  e[static_cast<size_t>(c)].firstChild = a;
  e[static_cast<size_t>(t.engine.orphanIndex)].nextSibling = 5;
  EXPECT_EQ(t.Fill(), (Lines{"d - A", "d - A/B", "f - A/B/1.jpg", "f - A/B/2.jpg", "d - A/B/C", "d - ORPHAN_ENTRY"}));

  EXPECT_EQ(t.adapter.TopLevel(), (std::vector<EntryIndex>{a, t.engine.orphanIndex}));
}

TEST(CatalogueTree, DeepFolderChainsNeedNoStack) {
  BuildCategoryFilter(true, false, false);
  test::FakeTable table;
  EntryIndex folder = test::FakeTable::kRoot;
  for (int depth = 0; depth < 200000; ++depth) folder = table.Folder(folder, u"d");
  table.File(folder, u"deep.jpg");
  MemoryResultTree tree;
  LatestValueSink sink;
  CategoryMatcher matcher(CategoryFilter);
  const TreeItem root = CreateRootItem(tree);
  TreeFill fill(tree, table, sink, matcher);
  EXPECT_EQ(fill.CountFiles(test::FakeTable::kRoot), 1);
  fill.InsertChildren(test::FakeTable::kRoot, root);
  EXPECT_EQ(fill.FileCounter(), 1);
  EXPECT_EQ(tree.Count(), 200002u);
  StopFlag noStop{0};
  PruneEmptyFolders(tree, noStop);
  EXPECT_EQ(tree.Count(), 200002u);
  table.entries.back().name = u"deep.txt";
  tree.DeleteAll();
  const TreeItem again = CreateRootItem(tree);
  TreeFill refill(tree, table, sink, matcher);
  refill.InsertChildren(test::FakeTable::kRoot, again);
  PruneEmptyFolders(tree, noStop);
  EXPECT_EQ(tree.Count(), 1u);
}

TEST(CatalogueTree, PruningRemovesFoldersWithoutFilesBottomUp) {
  MemoryResultTree tree;
  const TreeItem root = CreateRootItem(tree);
  const TreeItem keep = tree.InsertItem(root, L"keep", ItemImage::Folder, false, 1);
  const TreeItem sub = tree.InsertItem(keep, L"sub", ItemImage::Folder, true, 2);
  const TreeItem subsub = tree.InsertItem(sub, L"subsub", ItemImage::Folder, false, 3);
  tree.InsertItem(subsub, L"one.jpg", ItemImage::File, false, 4);
  tree.InsertItem(keep, L"empty", ItemImage::Folder, false, 5);
  const TreeItem gone = tree.InsertItem(root, L"gone", ItemImage::Folder, false, 6);
  tree.InsertItem(tree.InsertItem(gone, L"x", ItemImage::Folder, false, 7), L"y", ItemImage::Folder, true, 8);
  tree.InsertItem(root, L"file.png", ItemImage::File, false, 9);
  StopFlag stop{0};
  PruneEmptyFolders(tree, stop);
  EXPECT_EQ(Dump(tree), (Lines{"d - keep", "d r keep/sub", "d - keep/sub/subsub", "f - keep/sub/subsub/one.jpg",
                               "f - file.png"}));

  // A stop ends the walks below the top-level folders, but top-level
  // folders left without children still go.
  MemoryResultTree stopped;
  const TreeItem top = CreateRootItem(stopped);
  const TreeItem outer = stopped.InsertItem(top, L"outer", ItemImage::Folder, false, 1);
  stopped.InsertItem(outer, L"inner", ItemImage::Folder, false, 2);
  stopped.InsertItem(top, L"bare", ItemImage::Folder, false, 3);
  stop.store(1);
  PruneEmptyFolders(stopped, stop);
  EXPECT_EQ(Dump(stopped), (Lines{"d - outer", "d - outer/inner"}));
}

std::string RecycleInfoV1(const std::u16string& path) {
  std::string bytes(24, '\0');
  bytes[0] = 1;
  for (char16_t c : path + u'\0') bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return bytes;
}

std::string RecycleInfoV2(const std::u16string& path) {
  std::string bytes(28, '\0');
  bytes[0] = 2;
  const uint32_t count = static_cast<uint32_t>(path.size() + 1);
  for (int i = 0; i < 4; ++i) bytes[24 + i] = static_cast<char>((count >> (8 * i)) & 0xFF);
  for (char16_t c : path + u'\0') bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return bytes;
}

TEST(CatalogueRecycle, FormerNameFromBothVersions) {
  const std::string v1 = RecycleInfoV1(u"C:\\Users\\ann\\Pictures\\holiday.jpg");
  EXPECT_EQ(RecycledFormerName(ByteView(v1.data(), v1.size())), u"holiday.jpg");
  const std::string v2 = RecycleInfoV2(u"C:\\Users\\ann\\Pictures\\holiday.jpg");
  EXPECT_EQ(RecycledFormerName(ByteView(v2.data(), v2.size())), u"holiday.jpg");
  const std::string bare = RecycleInfoV1(u"noslash.png");
  EXPECT_EQ(RecycledFormerName(ByteView(bare.data(), bare.size())), u"noslash.png");
  // A count beyond the file, and a file too short for a path.
  std::string cut = RecycleInfoV2(u"D:\\a\\cut.jpg");
  cut[24] = '\x7f', cut[25] = '\x7f';
  cut.resize(cut.size() - 2);
  EXPECT_EQ(RecycledFormerName(ByteView(cut.data(), cut.size())), u"cut.jpg");
  EXPECT_EQ(RecycledFormerName(ByteView(cut.data(), 20)), u"");
}

TEST(CatalogueRecycle, RecycledFilesGetTheirFormerNames) {
  test::TempFolder temp;
  setenv("TMPDIR", temp.path().c_str(), 1);
  test::FakeTable table;
  const EntryIndex bin = table.Folder(test::FakeTable::kRoot, u"$RECYCLE.BIN");
  const EntryIndex user = table.Folder(bin, u"S-1-5-21-1000");
  table.File(user, u"$IABC123.jpg", RecycleInfoV1(u"C:\\Users\\ann\\Pictures\\holiday.jpg"));
  const EntryIndex r1 = table.File(user, u"$RABC123.jpg", "photo");
  table.File(user, u"$IDEF456.png", RecycleInfoV2(u"C:\\Users\\ann\\Desktop\\scan.png"));
  const EntryIndex r2 = table.File(user, u"$RDEF456.png", "scan");
  table.File(user, u"$IBIG.jpg", RecycleInfoV1(u"C:\\x\\big.jpg") + std::string(3000, 'z'));
  const EntryIndex r3 = table.File(user, u"$RBIG.jpg", "big");
  table.File(user, u"$IEMPTY.jpg", RecycleInfoV1(u"C:\\trailing\\"));
  const EntryIndex r4 = table.File(user, u"$REMPTY.jpg", "e");
  // Only the two spellings of the folder, case-sensitive.
  const EntryIndex other = table.Folder(test::FakeTable::kRoot, u"$Recycle.Bin");
  const EntryIndex otherUser = table.Folder(other, u"S-1-5-21-1001");
  table.File(otherUser, u"$IXYZ.jpg", RecycleInfoV1(u"C:\\y\\kept.jpg"));
  const EntryIndex r5 = table.File(otherUser, u"$RXYZ.jpg", "k");

  MemoryResultTree tree;
  const TreeItem root = CreateRootItem(tree);
  tree.InsertItem(root, L"$RECYCLE.BIN", ItemImage::Folder, false, table.DataOf(bin));
  tree.InsertItem(root, L"$Recycle.Bin", ItemImage::Folder, false, table.DataOf(other));
  RestoreRecycledNames(tree, table);
  EXPECT_EQ(table.Name(r1), L"holiday.jpg");
  EXPECT_EQ(table.Name(r2), L"scan.png");
  EXPECT_EQ(table.Name(r3), L"$RBIG.jpg");    // its $I file is too long to be one
  EXPECT_EQ(table.Name(r4), L"$REMPTY.jpg");  // no former name to give
  EXPECT_EQ(table.Name(r5), L"$RXYZ.jpg");
  // The tree items keep their texts; the copies are gone with their folder.
  EXPECT_EQ(tree.Text(tree.FirstChild(root)), L"$RECYCLE.BIN");
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
  unsetenv("TMPDIR");
}

}  // namespace
}  // namespace lv
