#include "cli/VolumeOptions.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "catalogue/Categories.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "disk/BootSectorTests.h"
#include "common/SafeName.h"
#include "common/Text.h"
#include "disk/Partition.h"
#include "platform/MessageBox.h"

namespace lv::cli {

namespace {
constexpr const char* kAdvancedNeeds = "--mode advanced needs --max N --candidate I --spc N";
}  // namespace

std::set<std::string> VolumeFlags() { return {"--gpt", "--formatted", "--unfiltered"}; }

std::set<std::string> VolumeValued() {
  return {"--volume", "--start-sector", "--fs", "--mode", "--max", "--candidate", "--spc", "--heap", "--categories"};
}

namespace {

std::optional<std::string> ReadCategories(const std::string& text, VolumeOptions& options) {
  options.photo = options.audio = options.video = false;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string word = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (word == "photo") options.photo = true;
    else if (word == "audio") options.audio = true;
    else if (word == "video") options.video = true;
    else return "unknown category '" + word + "' (photo, audio, video)";
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadVolumeOptions(Arguments& args, VolumeOptions& options, bool morePositional) {
  if (auto error = ReadVolumeChoice(args, options, morePositional)) return error;
  options.formatted = args.Has("--formatted");
  options.unfiltered = args.Has("--unfiltered");

  const std::string mode = args.Value("--mode").value_or("standard");
  if (mode == "standard") options.recoveryMode = 1;
  else if (mode == "advanced") options.recoveryMode = 2;
  else if (mode == "deep") options.recoveryMode = 3;
  else return "unknown mode '" + mode + "' (standard, advanced, deep)";
  const bool advanced = options.recoveryMode == 2;
  for (const char* option : {"--max", "--candidate", "--spc", "--heap"})
    if (args.Has(option) && !advanced) return std::string(option) + " belongs to --mode advanced";
  if (advanced && (args.Has("--max") || args.Has("--candidate") || args.Has("--spc"))) {
    if (!args.Has("--max") || !args.Has("--candidate") || !args.Has("--spc"))
      return std::string(kAdvancedNeeds);
    options.advancedChoices = true;
    options.maximum = args.Integer("--max").value_or(0);
    options.candidate = args.Integer("--candidate").value_or(-1);
    options.sectorsPerCluster = args.Integer("--spc").value_or(0);
    options.heap = args.Integer("--heap").value_or(-1);
    if (!args.ok()) return args.error();
  }
  if (const auto categories = args.Value("--categories")) {
    if (auto error = ReadCategories(*categories, options)) return error;
  }
  return std::nullopt;
}

std::optional<std::string> ReadVolumeChoice(Arguments& args, VolumeOptions& options, bool morePositional) {
  if (args.positional().empty() || (!morePositional && args.positional().size() != 1))
    return std::string("one SOURCE is needed");
  options.source = args.positional()[0];
  options.gpt = args.Has("--gpt");
  options.volumeRow = args.Integer("--volume");
  options.startSector = args.Integer("--start-sector");
  const auto fs = args.Value("--fs");
  if (!args.ok()) return args.error();
  if (options.volumeRow && (options.startSector || fs)) return std::string("--volume excludes --start-sector and --fs");
  if (options.startSector.has_value() != fs.has_value()) return std::string("--start-sector and --fs go together");
  if (options.startSector && *options.startSector < 0) return std::string("--start-sector must not be negative");
  if (fs) options.fileSystem = Utf8ToWide(*fs);
  return std::nullopt;
}

std::string ListComponent(const std::wstring& text) { return SafeComponent(std::wstring_view(text)); }

void ForEachTreeLine(const ResultTree& tree, const std::function<void(TreeItem, const std::string&)>& line) {
  const TreeItem top = tree.FirstChild(kNoTreeItem);
  if (top == kNoTreeItem) return;
  struct Frame {
    TreeItem next;
    size_t pathLength;
  };
  std::string path;
  std::wstring text;
  std::vector<Frame> stack = {{tree.FirstChild(top), 0}};
  while (!stack.empty()) {
    const TreeItem item = stack.back().next;
    if (item == kNoTreeItem) {
      stack.pop_back();
      continue;
    }
    stack.back().next = tree.NextSibling(item);
    path.resize(stack.back().pathLength);
    if (!path.empty()) path += "/";
    tree.TextInto(item, text);
    AppendSafeComponent(text, path);
    line(item, path);
    if (tree.HasChildren(item)) stack.push_back({tree.FirstChild(item), path.size()});
  }
}

namespace {

// The worker's status and progress, for the status line.
std::string WorkerStatus(const LatestValueSink& sink) {
  std::string line = WideToUtf8(sink.Status());
  if (line.size() > 60) line.resize(60);
  const int64_t maximum = sink.RangeMaximum();
  if (maximum > 0)
    line += FormatUtf8("  %lld/%lld", static_cast<long long>(sink.Position()), static_cast<long long>(maximum));
  return line;
}

std::wstring SizeTextOfSectors(int64_t sectors) {
  return Format(L"%lld   MB", static_cast<long long>(sectors > 0 ? sectors / 2048 : 0));
}

}  // namespace

bool OpenSource(const std::string& path) {
  SharedReader = std::make_unique<FileReadSeek>();
  DeviceSectorCount = 0;
  if (SharedReader->OpenUtf8(path)) return true;
  const int error = SharedReader->lastError;
  std::fprintf(stderr, "lumenvault-cli: cannot open %s: %s\n", path.c_str(), std::strerror(error));
  struct stat st{};
  if ((error == EACCES || error == EPERM) && ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
    // Membership of the device's group helps only when the group may read it.
    const struct group* owner = (st.st_mode & S_IRGRP) && st.st_gid != 0 ? ::getgrgid(st.st_gid) : nullptr;
    if (owner)
      std::fprintf(stderr,
                   "lumenvault-cli: reading a drive needs read rights on it: run the command as root (sudo), or add "
                   "your user to the group %s (sudo adduser $USER %s) and log in again\n",
                   owner->gr_name, owner->gr_name);
    else
      std::fprintf(stderr, "lumenvault-cli: reading a drive needs read rights on it: run the command as root (sudo)\n");
  }
  return false;
}

namespace {

// The volumes of a partitioned disk and the options that choose them, for a
// source given without a volume option whose first sectors hold no file
// system; false when the source has no partition table either.
bool ExplainPartitionedDisk(const std::string& source) {
  for (const bool gpt : {true, false}) {
    std::vector<VolumeEntry> rows;
    LatestValueSink status;
    Partition scan(rows, status);
    scan.gptEnabled = gpt;
    scan.StandardScan(*SharedReader);
    if (rows.empty()) continue;
    std::fprintf(stderr, "lumenvault-cli: %s is a partitioned disk (%s); choose one of its volumes:\n",
                 source.c_str(), gpt ? "GPT" : "MBR");
    for (size_t row = 0; row < rows.size(); ++row) {
      std::fprintf(stderr, "  --volume %zu%s\t%s\t%s\tstart sector %lld\n", row, gpt ? " --gpt" : "",
                   WideToUtf8(rows[row].fileSystem).c_str(), WideToUtf8(rows[row].sizeText).c_str(),
                   static_cast<long long>(rows[row].startSector));
    }
    return true;
  }
  return false;
}

}  // namespace

VolumeScan::VolumeScan() : job_(std::make_unique<ScanJob>(tree, list, sink)) {}

VolumeScan::~VolumeScan() { job_.reset(); }

void VolumeScan::WaitWithProgress() {
  WorkerProgress progress([this] { return WorkerStatus(sink); });
  job_->Wait();
}

int VolumeScan::ResolveVolume(const VolumeOptions& options, VolumeEntry& volume) {
  if (options.volumeRow) {
    std::vector<VolumeEntry> rows;
    LatestValueSink status;
    Partition scan(rows, status);
    scan.gptEnabled = options.gpt;
    scan.StandardScan(*SharedReader);
    if (*options.volumeRow < 0 || static_cast<size_t>(*options.volumeRow) >= rows.size()) {
      std::fprintf(stderr, "lumenvault-cli: %s has no volume row %lld (%zu rows)\n", options.source.c_str(),
                   *options.volumeRow, rows.size());
      return kExitRefused;
    }
    volume = rows[static_cast<size_t>(*options.volumeRow)];
    return kExitOk;
  }
  const int64_t start = options.startSector.value_or(0);
  if (start >= DeviceSectorCount) {
    std::fprintf(stderr, "lumenvault-cli: sector %lld is beyond the end of %s\n", static_cast<long long>(start),
                 options.source.c_str());
    return kExitRefused;
  }
  volume.fileSystem = options.startSector ? options.fileSystem : RecognizeFileSystem(*SharedReader, 0, DeviceSectorCount);
  volume.name = Utf8ToWide(options.source);
  volume.sizeText = SizeTextOfSectors(DeviceSectorCount - start);
  volume.startSector = start;
  return kExitOk;
}

int VolumeScan::OpenVolume(const VolumeOptions& options, VolumeEntry& volume) {
  if (!OpenSource(options.source)) return kExitRefused;
  if (const int status = ResolveVolume(options, volume); status != kExitOk) return status;
  if (!options.volumeRow && !options.startSector && volume.fileSystem == L"Unknown" &&
      ExplainPartitionedDisk(options.source))
    return kExitRefused;
  return kExitOk;
}

int VolumeScan::Search(const VolumeEntry& volume, long long maximum, CandidateLists& lists, uint64_t* found) {
  if (!advancedAdapter_) {
    const EngineType* type = FindEngine(volume.fileSystem);
    if (type && type->HasMode(2))
      advancedAdapter_ = CreateAdapter(*type, EngineSetup{*SharedReader, volume, sink, &job_->pauseGate});
  }
  if (!advancedAdapter_) {
    // The scan job's own refusal of the kind or of its advanced mode; no
    // worker starts.
    ScanStart start;
    start.volume = volume;
    start.recoveryMode = 2;
    job_->Start(start, SharedReader.get());
    job_->Wait();
    return kExitRefused;
  }
  {
    WorkerProgress progress([this] { return WorkerStatus(sink); });
    const uint64_t count = advancedAdapter_->FindCandidates(maximum < 1 ? 0 : static_cast<uint64_t>(maximum));
    if (found) *found = count;
  }
  lists = advancedAdapter_->Candidates();
  return kExitOk;
}

int VolumeScan::SearchCandidates(const VolumeOptions& options, CandidateLists& lists) {
  VolumeEntry volume;
  if (const int status = OpenVolume(options, volume); status != kExitOk) return status;
  return Search(volume, options.maximum, lists);
}

namespace {

// The offered sectors-per-cluster text whose value is `value`.
std::optional<std::wstring> Offered(const std::vector<std::wstring>& offered, long long value) {
  for (const std::wstring& text : offered)
    if (LeadingInteger(text) == value) return text;
  return std::nullopt;
}

int SpcNotOffered(long long value, const std::vector<std::wstring>& offered) {
  std::wstring values;
  for (const std::wstring& text : offered) values += (values.empty() ? L"" : L", ") + text;
  return UsageError(FormatUtf8("--spc %lld is not offered for this volume; choose one of %s", value,
                               WideToUtf8(values).c_str()));
}

}  // namespace

int VolumeScan::Run(const VolumeOptions& options) {
  if (!BuildCategoryFilter(options.photo, options.audio, options.video)) return kExitUsage;
  FormattedDriveMode.store(options.formatted ? 1 : 0);
  VolumeEntry volume;
  if (const int status = OpenVolume(options, volume); status != kExitOk) return status;

  ScanStart start;
  start.volume = volume;
  start.recoveryMode = options.recoveryMode;
  start.unfiltered = options.unfiltered;
  start.advanced.candidate = options.candidate;
  start.advanced.sectorsPerCluster = std::to_wstring(options.sectorsPerCluster);
  start.advanced.heapCandidate = options.heap;
  start.sourcePath = options.source;
  const EngineType* type = FindEngine(volume.fileSystem);
  if (options.recoveryMode == 2 && type && type->HasMode(2) && type->advancedInput && !options.advancedChoices)
    return UsageError(kAdvancedNeeds);
  if (options.recoveryMode == 2 && type && type->HasMode(2) && type->advancedInput)
    advancedAdapter_ = CreateAdapter(*type, EngineSetup{*SharedReader, volume, sink, &job_->pauseGate});
  if (advancedAdapter_) {
    // The advanced input: the candidate search, then the choice among what
    // it offers. A sectors-per-cluster value known not to be offered is
    // refused before the search.
    const std::vector<std::wstring> before = advancedAdapter_->Candidates().sectorsPerCluster;
    if (!before.empty() && !Offered(before, options.sectorsPerCluster))
      return SpcNotOffered(options.sectorsPerCluster, before);
    CandidateLists lists;
    uint64_t found = 0;
    if (const int status = Search(volume, options.maximum, lists, &found); status != kExitOk) return status;
    // A kind that offers no list takes the number as it is.
    if (!lists.sectorsPerCluster.empty()) {
      const auto spc = Offered(lists.sectorsPerCluster, options.sectorsPerCluster);
      if (!spc) return SpcNotOffered(options.sectorsPerCluster, lists.sectorsPerCluster);
      start.advanced.sectorsPerCluster = *spc;
    }
    if (options.candidate < 0 || static_cast<uint64_t>(options.candidate) >= found) {
      std::fprintf(stderr, "lumenvault-cli: no candidate %lld (%llu found)\n", options.candidate,
                   static_cast<unsigned long long>(found));
      return kExitRefused;
    }
    start.advancedAdapter = advancedAdapter_.get();
  }
  job_->Start(start, SharedReader.get());
  WaitWithProgress();
  // A kind or mode without a worker released the page without an engine;
  // an engine whose checks failed produced no table.
  return job_->Table() && !job_->VolumeRefused() ? kExitOk : kExitRefused;
}

}  // namespace lv::cli
