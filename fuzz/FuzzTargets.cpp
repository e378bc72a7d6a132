#include "fuzz/FuzzTargets.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/MemoryViews.h"
#include "catalogue/ScanJob.h"
#include "common/ByteView.h"
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

std::string ScratchRoot() {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp && *tmp ? tmp : "/tmp";
  // Memory-backed when there is one: every run writes its files.
  if (!tmp && std::filesystem::is_directory("/dev/shm")) base = "/dev/shm";
  std::string pattern = base + "/lv-fuzz-XXXXXX";
  if (!::mkdtemp(pattern.data())) Fail("mkdtemp", pattern);
  return pattern;
}

constexpr size_t kRecordBytes = 1024;
constexpr size_t kBootBytes = 512;

struct Layout {
  uint64_t mftOffset = 0;
  size_t records = 0;
};

Layout BaseLayout(const std::vector<uint8_t>& image) {
  ByteView boot(image.data(), image.size());
  const uint64_t clusterBytes = uint64_t{boot.Le16(0x0B)} * boot.U8(0x0D);
  Layout layout;
  layout.mftOffset = boot.Le64(0x30) * clusterBytes;
  if (clusterBytes == 0 || layout.mftOffset >= image.size()) Fail("base volume has no MFT");
  // Records 0-15 and the first user records sit in the MFT's first
  // clusters; the overlay reaches the first 96 records.
  layout.records = std::min<size_t>(96, (image.size() - layout.mftOffset) / kRecordBytes);
  return layout;
}

class Page {
 public:
  Page() : job(tree, list, sink) {}
  RecordingMessageBox box;  // answers the save's question with Yes
  ScopedMessages scope{&box};
  MemoryResultTree tree;
  MemoryFileList list;
  LatestValueSink sink;
  ScanJob job;
};

}  // namespace

namespace {

std::vector<uint8_t> Gunzip(const std::string& path, size_t minimum) {
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

}  // namespace

const std::vector<uint8_t>& BaseVolume() {
  static const std::vector<uint8_t> image = [] {
    const char* path = std::getenv("LV_FUZZ_BASE_IMAGE");
#ifdef LV_FUZZ_BASE_IMAGE
    if (!path || !*path) path = LV_FUZZ_BASE_IMAGE;
#endif
    if (!path || !*path) Fail("no base volume: set LV_FUZZ_BASE_IMAGE");
    return Gunzip(path, 1024 * 1024);
  }();
  return image;
}

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
  const std::vector<uint8_t>& base = BaseVolume();
  static const Layout layout = BaseLayout(base);
  std::vector<uint8_t> image = base;
  for (size_t at = 1; at < size;) {
    const uint8_t selector = data[at++];
    const size_t chunk = std::min(kRecordBytes, size - at);
    if (selector == 0xFF) {
      std::memcpy(image.data(), data + at, std::min(chunk, kBootBytes));
    } else {
      const uint64_t offset = layout.mftOffset + (selector % layout.records) * kRecordBytes;
      std::memcpy(image.data() + offset, data + at, chunk);
    }
    at += chunk;
  }

  const int32_t mode = (data[0] & 0x0F) == 0 ? 3 : 1;
  MemoryReader reader(std::move(image));
  const std::string root = ScratchRoot();
  const std::string run = root + "/run";
  const std::string out = run + "/out";
  std::filesystem::create_directories(out);
  {
    Page page;
    ScanStart start;
    start.volume.fileSystem = L"NTFS";
    start.volume.sizeText = L"2   MB";
    start.recoveryMode = mode;
    page.job.Start(start, &reader);
    page.job.Wait();
    if (page.job.Busy()) Fail("scan still busy after Wait");
    if (page.job.RootItem() != kNoTreeItem) page.job.SaveFolder(page.job.RootItem(), out);
    page.job.Wait();
  }
  if (std::getenv("LV_FUZZ_VERBOSE")) {
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) files += entry.is_regular_file();
    std::fprintf(stderr, "mode %d: %zu files saved\n", mode, files);
  }
  // Whatever the volume holds, the save writes below `out` only.
  if (Entries(root) != std::vector<std::string>{"run"}) Fail("written beside the run folder", root);
  if (Entries(run) != std::vector<std::string>{"out"}) Fail("written beside the output folder", run);
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

namespace {

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
  base.image = Gunzip(std::string(dir) + "/" + name, keep);
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
    const size_t offset = selector == 0xFF ? 0 : base.hot[selector % base.hot.size()];
    std::memcpy(image.data() + offset, data + at, chunk);
    at += chunk;
  }

  const size_t imageBytes = image.size();
  MemoryReader reader(std::move(image));
  const std::string root = ScratchRoot();
  const std::string run = root + "/run";
  const std::string out = run + "/out";
  std::filesystem::create_directories(out);
  FormattedDriveMode.store((data[0] & 2) ? 1 : 0);
  {
    Page page;
    ScanStart start;
    start.volume.fileSystem = isFat32 ? L"FAT32" : L"FAT16";
    start.volume.sizeText = L"2   MB";
    start.unfiltered = true;
    page.job.Start(start, &reader);
    page.job.Wait();
    if (page.job.Busy()) Fail("scan still busy after Wait");
    // Every entry comes from a 32-byte slot of the volume.
    if (page.job.Table() && page.job.Table()->Size() > imageBytes / 32 + 1) Fail("more entries than slots");
    if (page.job.RootItem() != kNoTreeItem) page.job.SaveFolder(page.job.RootItem(), out);
    page.job.Wait();
  }
  FormattedDriveMode.store(0);
  if (std::getenv("LV_FUZZ_VERBOSE")) {
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) files += entry.is_regular_file();
    std::fprintf(stderr, "FAT%s: %zu files saved\n", isFat32 ? "32" : "12", files);
  }
  if (Entries(root) != std::vector<std::string>{"run"}) Fail("written beside the run folder", root);
  if (Entries(run) != std::vector<std::string>{"out"}) Fail("written beside the output folder", run);
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

void Lznt1(const uint8_t* data, size_t size) {
  constexpr size_t kCapacity = 64 * 1024;
  std::vector<uint8_t> output(kCapacity);
  const size_t produced = Lznt1Decompress(ByteView(data, size), output.data(), kCapacity);
  if (produced > kCapacity) Fail("produced more than the capacity");
}

}  // namespace lv::fuzz
