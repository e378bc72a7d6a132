#include "fuzz/FuzzTargets.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/Categories.h"
#include "catalogue/MemoryViews.h"
#include "catalogue/Save.h"
#include "catalogue/ScanJob.h"
#include "catalogue/TreeFill.h"
#include "common/ByteView.h"
#include "common/Text.h"
#include "common/WorkerProtocol.h"
#include "disk/Partition.h"
#include "disk/Reader.h"
#include "ntfs/NtfsLznt1.h"
#include "platform/MessageBox.h"

namespace lv::fuzz {
namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail = "") {
  std::fprintf(stderr, "fuzz check failed: %s %s\n", what, detail.c_str());
  std::abort();
}

// Names inside a folder, without "." and "..".
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) Fail("cannot list", folder);
  while (dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
  }
  ::closedir(dir);
  return names;
}

// A folder of this process for the runs' output, made on first use and
// removed at exit: memory-backed when there is one, since every run writes
// its files.
const std::string& ScratchRoot() {
  static const std::string root = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    if (!tmp && std::filesystem::is_directory("/dev/shm")) base = "/dev/shm";
    std::string pattern = base + "/lv-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) Fail("mkdtemp", pattern);
    return pattern;
  }();
  static const bool removeAtExit = [] {
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(root, ignored);
    });
    return true;
  }();
  (void)removeAtExit;
  return root;
}

constexpr size_t kRecordBytes = 1024;
constexpr size_t kBootBytes = 512;
constexpr uint8_t kBootSelector = 0xFF;

// One base volume: its bytes, a working copy the input is laid over (put
// back after each run, so no run pays for a copy of the whole volume), and
// where its MFT records lie.
struct Base {
  std::vector<uint8_t> image;
  std::vector<uint8_t> work;
  uint64_t mftOffset = 0;
  size_t records = 0;  // records the overlay reaches: those in a row from the MFT's start, at most 255
  std::wstring sizeText;
};

std::vector<uint8_t> Unpack(const std::string& path, size_t minimum = 1024 * 1024) {
  const std::string command = "gzip -dc '" + path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) Fail("cannot run", command);
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  if (::pclose(pipe) != 0 || bytes.size() < minimum) Fail("cannot unpack", path);
  return bytes;
}

std::string BaseFolder() {
  const char* folder = std::getenv("LV_FUZZ_BASE_DIR");
#ifdef LV_FUZZ_BASE_DIR
  if (!folder || !*folder) folder = LV_FUZZ_BASE_DIR;
#endif
  if (!folder || !*folder) Fail("no base volumes: set LV_FUZZ_BASE_DIR");
  return folder;
}

Base LoadBase(unsigned clusterBytes) {
  Base base;
  base.image = Unpack(BaseFolder() + "/ntfs-base-" + std::to_string(clusterBytes) + ".img.gz");
  base.work = base.image;
  const ByteView bytes(base.image.data(), base.image.size());
  const uint64_t cluster = uint64_t{bytes.Le16(0x0B)} * bytes.U8(0x0D);
  base.mftOffset = bytes.Le64(0x30) * cluster;
  if (cluster != clusterBytes || base.mftOffset >= base.image.size()) Fail("base volume has no MFT");
  // The MFT's records, one after another from its start.
  while (base.records < 255 && base.image.size() - base.mftOffset >= (base.records + 1) * kRecordBytes &&
         bytes.Matches(base.mftOffset + base.records * kRecordBytes, "FILE"))
    ++base.records;
  if (base.records < 16) Fail("base volume has too few MFT records");
  base.sizeText = Format(L"%llu   MB", static_cast<unsigned long long>(base.image.size() / (1024 * 1024)));
  return base;
}

Base& BaseVolume(bool largeClusters) {
  static Base small = LoadBase(512);
  static Base large = LoadBase(4096);
  return largeClusters ? large : small;
}

// The category filter of a page with every category checked, compiled
// once: the matcher remembers its verdicts by ending, which are the same
// for every run.
CategoryMatcher& AllCategories() {
  static CategoryMatcher matcher = [] {
    BuildCategoryFilter(true, true, true);
    return CategoryMatcher(CategoryFilter);
  }();
  return matcher;
}

// The results page of one run: the adapter the dispatch table makes for
// the volume's kind, and the catalogue's steps of the scan job's worker, run on the
// calling thread (a thread per run would cost more than the scan of a
// small volume), then the save of the root as the page's Save button does.
class Page final : public ScanSteps {
 public:
  Page(readWriteInterface& reader, const VolumeEntry& volume, bool unfiltered) : unfiltered_(unfiltered) {
    adapter = CreateAdapter(*FindEngine(volume.fileSystem), EngineSetup{reader, volume, sink, &gate});
    if (!adapter) Fail("no adapter for", WideToUtf8(volume.fileSystem));
  }

  void CreateRootItem(bool emptyTreeFirst) override {
    if (emptyTreeFirst) tree.DeleteAll();
    root = lv::CreateRootItem(tree);
  }
  void FillTree() override {
    adapter->StopRequested().store(0);
    pageStop.store(0);
    if (root == kNoTreeItem) CreateRootItem(false);
    CategoryMatcher everything = CategoryMatcher::AcceptAll();
    TreeFill fill(tree, *adapter, sink, unfiltered_ ? everything : AllCategories(), &gate);
    fill.Fill(root);
  }
  void RestoreRecycledNames() override { lv::RestoreRecycledNames(tree, *adapter); }
  void FilterTree() override {
    if (!unfiltered_) PruneEmptyFolders(tree, pageStop, &gate);
  }

  void Save(const std::string& out) {
    if (root == kNoTreeItem || tree.Data(root) != kVolumeTopData) Fail("no ROOT item after the scan");
    SaveContext context{*adapter, sink, pageStop, &gate, NoControls(), nullptr, std::string()};
    lv::SaveFolder(context, kNoEntry, true, out);
  }

  RecordingMessageBox box;  // answers the save's question with Yes
  ScopedMessages scope{&box};
  MemoryResultTree tree;
  LatestValueSink sink;
  PauseGate gate;
  StopFlag pageStop{0};
  std::unique_ptr<VolumeAdapter> adapter;
  TreeItem root = kNoTreeItem;

 private:
  bool unfiltered_;
};

}  // namespace

void PartitionScan(const uint8_t* data, size_t size) {
  for (const bool gpt : {false, true}) {
    MemoryReader reader(std::vector<uint8_t>(data, data + size));
    std::vector<VolumeEntry> rows;
    LatestValueSink sink;
    Partition partition(rows, sink);
    partition.gptEnabled = gpt;
    partition.StandardScan(reader);
    for (const VolumeEntry& row : rows) {
      if (row.startSector < 0) Fail("negative start sector");
    }
  }
}

void NtfsVolume(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const uint8_t options = data[0];
  Base& base = BaseVolume((options & 0x80) != 0);
  // Byte ranges of the working copy the input changed.
  std::vector<std::pair<size_t, size_t>> changed;
  for (size_t at = 1; at < size;) {
    const uint8_t selector = data[at++];
    const size_t chunk = std::min(kRecordBytes, size - at);
    size_t offset = 0, length = chunk;
    if (selector == kBootSelector) {
      length = std::min(chunk, kBootBytes);
    } else {
      offset = static_cast<size_t>(base.mftOffset) + (selector % base.records) * kRecordBytes;
    }
    std::memcpy(base.work.data() + offset, data + at, length);
    changed.emplace_back(offset, length);
    at += chunk;
  }

  const int32_t mode = (options & 3) == 1 ? 3 : (options & 3) == 2 ? 2 : 1;
  const std::string& root = ScratchRoot();
  const std::string run = root + "/run";
  const std::string out = run + "/out";
  std::filesystem::create_directories(out);
  {
    // The reader holds the working copy for the run and gives it back.
    MemoryReader reader(std::move(base.work));
    VolumeEntry volume;
    volume.fileSystem = L"NTFS";
    volume.sizeText = base.sizeText;
    Page page(reader, volume, mode != 2 && (options & 4) != 0);
    AdvancedChoices choices;
    if (mode == 2) {
      // The advanced input's candidate search, then the results page with
      // its choices, on the same engine.
      page.adapter->FindCandidates(3);
      choices.candidate = (options >> 2) & 3;
      choices.sectorsPerCluster = std::to_wstring(1 << ((options >> 4) & 7));
    }
    page.adapter->RunWorker(mode, choices, page);
    page.Save(out);
    base.work = std::move(reader.Image());
  }
  if (base.work.size() != base.image.size()) Fail("the reader changed the volume's size");
  for (const auto& [offset, length] : changed)
    std::memcpy(base.work.data() + offset, base.image.data() + offset, length);
  if (std::getenv("LV_FUZZ_VERBOSE")) {
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) files += entry.is_regular_file();
    std::fprintf(stderr, "mode %d: %zu files saved\n", mode, files);
  }
  // Whatever the volume holds, the save writes below `out` only.
  if (Entries(root) != std::vector<std::string>{"run"}) Fail("written beside the run folder", root);
  if (Entries(run) != std::vector<std::string>{"out"}) Fail("written beside the output folder", run);
  std::error_code ignored;
  std::filesystem::remove_all(run, ignored);
}

namespace {

// Saves every file of the scanned page below a fresh folder of the scratch
// root, which must be all that changed.
void SaveAndCheck(Page& page, const char* label) {
  const std::string& root = ScratchRoot();
  const std::string run = root + "/run";
  const std::string out = run + "/out";
  std::filesystem::create_directories(out);
  page.Save(out);
  if (std::getenv("LV_FUZZ_VERBOSE")) {
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) files += entry.is_regular_file();
    std::fprintf(stderr, "%s: %zu files saved\n", label, files);
  }
  // Whatever the volume holds, the save writes below `out` only.
  if (Entries(root) != std::vector<std::string>{"run"}) Fail("written beside the run folder", root);
  if (Entries(run) != std::vector<std::string>{"out"}) Fail("written beside the output folder", run);
  std::error_code ignored;
  std::filesystem::remove_all(run, ignored);
}

// A FAT base volume and the sectors the fuzz input may replace: the start
// of the first table, the fixed root directory and the first data sectors.
struct FatBase {
  std::vector<uint8_t> image;
  std::vector<size_t> hot;
};

FatBase LoadFatBase(const char* name, size_t keep) {
  const char* dir = std::getenv("LV_FUZZ_FAT_BASE_DIR");
#ifdef LV_FUZZ_FAT_BASE_DIR
  if (!dir || !*dir) dir = LV_FUZZ_FAT_BASE_DIR;
#endif
  if (!dir || !*dir) Fail("no FAT base volumes: set LV_FUZZ_FAT_BASE_DIR");
  FatBase base;
  base.image = Unpack(std::string(dir) + "/" + name, keep);
  base.image.resize(keep);
  const ByteView boot(base.image.data(), base.image.size());
  const size_t bytesPerSector = boot.Le16(0x0B);
  const size_t tableStart = boot.Le16(0x0E);
  const size_t tableLength = boot.Le16(0x16) ? boot.Le16(0x16) : boot.Le32(0x24);
  const size_t rootSectors = boot.Le16(0x11) * 32 / bytesPerSector;
  const size_t rootStart = tableStart + boot.U8(0x10) * tableLength;
  for (size_t s = 0; s < std::min<size_t>(tableLength, 16); ++s) base.hot.push_back((tableStart + s) * bytesPerSector);
  for (size_t s = 0; s < rootSectors + 64; ++s) base.hot.push_back((rootStart + s) * bytesPerSector);
  for (size_t offset : base.hot)
    if (offset + 512 > base.image.size()) Fail("FAT base volume too small", name);
  return base;
}

}  // namespace

void FatVolume(const uint8_t* data, size_t size) {
  if (size == 0) return;
  static const FatBase floppy = LoadFatBase("fat12-floppy.img.gz", 1474560);
  static const FatBase fat32 = LoadFatBase("fat32.img.gz", 2 * 1024 * 1024);
  const bool isFat32 = data[0] & 1;
  const FatBase& base = isFat32 ? fat32 : floppy;
  std::vector<uint8_t> image = base.image;
  for (size_t at = 1; at < size;) {
    const uint8_t selector = data[at++];
    const size_t chunk = std::min(kBootBytes, size - at);
    const size_t offset = selector == kBootSelector ? 0 : base.hot[selector % base.hot.size()];
    std::memcpy(image.data() + offset, data + at, chunk);
    at += chunk;
  }
  const size_t imageBytes = image.size();
  MemoryReader reader(std::move(image));
  FormattedDriveMode.store((data[0] & 2) ? 1 : 0);
  VolumeEntry volume;
  volume.fileSystem = isFat32 ? L"FAT32" : L"FAT16";
  volume.sizeText = L"2   MB";
  Page page(reader, volume, true);
  page.adapter->RunWorker(1, AdvancedChoices{}, page);
  // Every entry comes from a 32-byte slot of the volume.
  if (page.adapter->Size() > imageBytes / 32 + 1) Fail("more entries than slots");
  SaveAndCheck(page, isFat32 ? "FAT32" : "FAT12");
  FormattedDriveMode.store(0);
}

void ExfatVolume(const uint8_t* data, size_t size) {
  if (size == 0) return;
  constexpr size_t kChunk = 512;
  static const std::vector<uint8_t> base = Unpack(BaseFolder() + "/exfat-base.img.gz");
  static std::vector<uint8_t> work = base;
  const ByteView boot(base.data(), base.size());
  const uint64_t sector = uint64_t{1} << boot.U8(108);
  const uint64_t cluster = sector << boot.U8(109);
  const uint64_t table = uint64_t{boot.Le32(80)} * sector, heap = uint64_t{boot.Le32(88)} * sector;
  std::vector<std::pair<size_t, size_t>> changed;
  for (size_t at = 1; at < size;) {
    const uint8_t selector = data[at++];
    const size_t chunk = std::min(kChunk, size - at);
    const uint64_t offset =
        selector == kBootSelector ? 0 : selector == 0xFE ? table : heap + (selector % 128) * cluster;
    if (offset + chunk > work.size()) Fail("base volume too small for the overlay");
    std::memcpy(work.data() + offset, data + at, chunk);
    changed.emplace_back(static_cast<size_t>(offset), chunk);
    at += chunk;
  }
  FormattedDriveMode.store(data[0] & 1);
  {
    MemoryReader reader(std::move(work));
    VolumeEntry volume;
    volume.fileSystem = L"FAT64";
    volume.sizeText = L"1   MB";
    Page page(reader, volume, false);
    page.adapter->RunWorker(1, AdvancedChoices{}, page);
    SaveAndCheck(page, (data[0] & 1) ? "exFAT formatted" : "exFAT");
    work = std::move(reader.Image());
  }
  FormattedDriveMode.store(0);
  if (work.size() != base.size()) Fail("the reader changed the volume's size");
  for (const auto& [offset, length] : changed) std::memcpy(work.data() + offset, base.data() + offset, length);
}

namespace {

// An ext base volume: its bytes, a working copy the input is laid over
// (put back after each run), and the sectors the input may replace.
struct ExtBase {
  std::vector<uint8_t> image;
  std::vector<uint8_t> work;
  size_t descriptors = 0;
  std::vector<size_t> hot;
};

ExtBase LoadExtBase(const char* name) {
  const char* dir = std::getenv("LV_FUZZ_FAT_BASE_DIR");
#ifdef LV_FUZZ_FAT_BASE_DIR
  if (!dir || !*dir) dir = LV_FUZZ_FAT_BASE_DIR;
#endif
  if (!dir || !*dir) Fail("no ext base volumes: set LV_FUZZ_FAT_BASE_DIR");
  ExtBase base;
  base.image = Unpack(std::string(dir) + "/" + name);
  base.work = base.image;
  const ByteView sb(base.image.data() + 1024, 1024);
  const size_t block = size_t{1024} << sb.Le32(24);
  base.descriptors = (1024 / block + 1) * block;
  const size_t table = ByteView(base.image.data() + base.descriptors, 32).Le32(8) * block;
  const size_t inodeSize = sb.Le16(88);
  for (size_t s = 0; s < 64; ++s) base.hot.push_back(table + s * 512);
  // The root directory's first block: the inode's first block pointer, or
  // the first extent's start.
  const ByteView root(base.image.data() + table + inodeSize, inodeSize);
  const size_t rootBlock = (root.Le32(32) & 0x80000) ? root.Le32(40 + 12 + 8) : root.Le32(40);
  for (size_t s = 0; s < block / 512; ++s) base.hot.push_back(rootBlock * block + s * 512);
  for (size_t offset : base.hot)
    if (offset + 512 > base.image.size()) Fail("ext base volume too small", name);
  return base;
}

}  // namespace

void ExtVolume(const uint8_t* data, size_t size) {
  if (size == 0) return;
  static ExtBase inline1k = LoadExtBase("ext4-1k.img.gz");
  static ExtBase ext2 = LoadExtBase("ext2.img.gz");
  ExtBase& base = (data[0] & 1) ? ext2 : inline1k;
  std::vector<std::pair<size_t, size_t>> changed;
  for (size_t at = 1; at < size;) {
    const uint8_t selector = data[at++];
    const size_t chunk = std::min(kBootBytes, size - at);
    const size_t offset = selector == kBootSelector ? 1024
                          : selector == 0xFE        ? base.descriptors
                                                    : base.hot[selector % base.hot.size()];
    std::memcpy(base.work.data() + offset, data + at, chunk);
    changed.emplace_back(offset, chunk);
    at += chunk;
  }
  {
    MemoryReader reader(std::move(base.work));
    VolumeEntry volume;
    volume.fileSystem = L"extX";
    volume.sizeText = L"16   MB";
    Page page(reader, volume, true);
    page.adapter->RunWorker(1, AdvancedChoices{}, page);
    SaveAndCheck(page, (data[0] & 1) ? "ext2" : "ext4-1k");
    base.work = std::move(reader.Image());
  }
  if (base.work.size() != base.image.size()) Fail("the reader changed the volume's size");
  for (const auto& [offset, length] : changed) std::memcpy(base.work.data() + offset, base.image.data() + offset, length);
}

namespace {

// The HFS+ base volume (the hfsplus fixture): its bytes, a working copy the
// input is laid over (put back after each run), and the sectors the input
// may replace: the first catalog nodes (header, leaves, index) and the
// extents-overflow file's first two nodes.
struct HfsBase {
  std::vector<uint8_t> image;
  std::vector<uint8_t> work;
  std::vector<size_t> hot;
};

HfsBase LoadHfsBase() {
  const char* dir = std::getenv("LV_FUZZ_FAT_BASE_DIR");
#ifdef LV_FUZZ_FAT_BASE_DIR
  if (!dir || !*dir) dir = LV_FUZZ_FAT_BASE_DIR;
#endif
  if (!dir || !*dir) Fail("no HFS+ base volume: set LV_FUZZ_FAT_BASE_DIR");
  HfsBase base;
  base.image = Unpack(std::string(dir) + "/hfsplus.img.gz");
  base.work = base.image;
  const ByteView header(base.image.data() + 1024, 512);
  const size_t block = header.Be32(40);
  const size_t catalog = size_t{header.Be32(288)} * block, extents = size_t{header.Be32(208)} * block;
  const size_t node = ByteView(base.image.data() + catalog, 512).Be16(32);
  for (size_t s = 0; s < 8 * node / 512; ++s) base.hot.push_back(catalog + s * 512);
  for (size_t s = 0; s < 2 * node / 512; ++s) base.hot.push_back(extents + s * 512);
  for (size_t offset : base.hot)
    if (offset + 512 > base.image.size()) Fail("HFS+ base volume too small");
  return base;
}

}  // namespace

void HfsVolume(const uint8_t* data, size_t size) {
  if (size == 0) return;
  static HfsBase base = LoadHfsBase();
  const int32_t mode = 1 + data[0] % 3;
  std::vector<std::pair<size_t, size_t>> changed;
  for (size_t at = 1; at < size;) {
    const uint8_t selector = data[at++];
    const size_t chunk = std::min(kBootBytes, size - at);
    const size_t offset = selector == kBootSelector ? 1024
                          : selector == 0xFE        ? base.work.size() - 1024
                                                    : base.hot[selector % base.hot.size()];
    std::memcpy(base.work.data() + offset, data + at, chunk);
    changed.emplace_back(offset, chunk);
    at += chunk;
  }
  {
    MemoryReader reader(std::move(base.work));
    VolumeEntry volume;
    volume.fileSystem = L"HFS+";
    volume.sizeText = L"8   MB";
    Page page(reader, volume, true);
    page.adapter->RunWorker(mode, AdvancedChoices{}, page);
    SaveAndCheck(page, "hfsplus");
    base.work = std::move(reader.Image());
  }
  if (base.work.size() != base.image.size()) Fail("the reader changed the volume's size");
  for (const auto& [offset, length] : changed) std::memcpy(base.work.data() + offset, base.image.data() + offset, length);
}

void Lznt1(const uint8_t* data, size_t size) {
  constexpr size_t kCapacity = 64 * 1024;
  std::vector<uint8_t> output(kCapacity);
  const size_t produced = Lznt1Decompress(ByteView(data, size), output.data(), kCapacity);
  if (produced > kCapacity) Fail("produced more than the capacity");
}

}  // namespace lv::fuzz
