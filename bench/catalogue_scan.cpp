// The whole scan job on an NTFS volume image, to a filled and filtered tree
// in the in-memory views, next to the engine's own steps alone on the same
// image (boot sector, MFT location, MFT read, parse).
//
//   catalogue_scan IMAGE [REPEATS]
//
// Prints the best time of each over REPEATS runs (default 5), their ratio
// and the size of the tree.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalogue/Categories.h"
#include "catalogue/MemoryViews.h"
#include "catalogue/ScanJob.h"
#include "common/Text.h"
#include "disk/Reader.h"
#include "ntfs/Ntfs.h"
#include "platform/MessageBox.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

lv::VolumeEntry WholeVolume(const std::string& path) {
  lv::VolumeEntry volume;
  volume.fileSystem = L"NTFS";
  volume.name = lv::Utf8ToWide(path);
  volume.sizeText = lv::Format(L"%lld   MB", static_cast<long long>(lv::DeviceSectorCount / 2048));
  return volume;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: catalogue_scan IMAGE [REPEATS]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  lv::BuildCategoryFilter(true, true, true);
  lv::RecordingMessageBox messages;
  lv::ScopedMessages scope(&messages);

  double engineBest = 1e30, jobBest = 1e30;
  size_t entries = 0, items = 0;
  for (int run = 0; run < repeats; ++run) {
    {
      lv::FileReadSeek reader;
      if (!reader.OpenUtf8(path)) return 1;
      lv::NullSink sink;
      const auto start = Clock::now();
      lv::ntfs engine(reader, WholeVolume(path), sink);
      engine.ReadBootSector();
      engine.recoveryMode = 1;
      engine.LocateMft();
      engine.ReadMftByRuns();
      engine.ParseEntries();
      engineBest = std::min(engineBest, Seconds(start));
      entries = engine.entries.size();
    }
    {
      lv::FileReadSeek reader;
      if (!reader.OpenUtf8(path)) return 1;
      lv::MemoryResultTree tree;
      lv::MemoryFileList list;
      lv::LatestValueSink sink;
      lv::ScanStart start;
      start.volume = WholeVolume(path);
      const auto begin = Clock::now();
      {
        lv::ScanJob job(tree, list, sink);
        job.Start(start, &reader);
        job.Wait();
        jobBest = std::min(jobBest, Seconds(begin));
      }
      items = tree.Count();
    }
  }
  std::printf("entries\t%zu\ntree items\t%zu\nengine seconds\t%.3f\nscan job seconds\t%.3f\nratio\t%.2f\n", entries, items,
              engineBest, jobBest, jobBest / engineBest);
  return 0;
}
