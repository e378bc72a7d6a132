// Times the ntfs engine's standard steps on one volume image:
// ReadBootSector, LocateMft, ReadMftByRuns, ParseEntries.
//   ntfs_scan IMAGE [REPEATS]
// Prints one line per step and the totals: records, seconds, records/s
// (the best of REPEATS runs, 3 by default).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/WorkerProtocol.h"
#include "disk/Disk.h"
#include "ntfs/Ntfs.h"

using namespace lv;

namespace {
double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s IMAGE [REPEATS]\n", argv[0]);
    return 2;
  }
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  double best[5] = {1e99, 1e99, 1e99, 1e99, 1e99};
  size_t records = 0, named = 0;
  for (int run = 0; run < repeats; ++run) {
    FileReadSeek reader;
    if (!reader.OpenUtf8(argv[1])) {
      std::fprintf(stderr, "cannot open %s\n", argv[1]);
      return 1;
    }
    VolumeEntry volume;
    volume.fileSystem = L"NTFS";
    volume.sizeText = std::to_wstring(reader.SourceSize() >> 20) + L"   MB";
    LatestValueSink sink;
    const double t0 = Now();
    ntfs engine(reader, volume, sink);
    engine.recoveryMode = 1;
    engine.ReadBootSector();
    const double t1 = Now();
    engine.LocateMft();
    const double t2 = Now();
    engine.ReadMftByRuns();
    const double t3 = Now();
    engine.ParseEntries();
    const double t4 = Now();
    const double times[5] = {t1 - t0, t2 - t1, t3 - t2, t4 - t3, t4 - t0};
    for (int k = 0; k < 5; ++k) best[k] = std::min(best[k], times[k]);
    records = engine.entries.size();
    named = 0;
    for (const NtfsEntryRecord& e : engine.entries) named += e.HasName();
  }
  std::printf("ReadBootSector\t%.6f s\n", best[0]);
  std::printf("LocateMft\t%.6f s\n", best[1]);
  std::printf("ReadMftByRuns\t%.6f s\n", best[2]);
  std::printf("ParseEntries\t%.6f s\n", best[3]);
  std::printf("records\t%zu\n", records);
  std::printf("named\t%zu\n", named);
  std::printf("seconds\t%.6f\n", best[4]);
  std::printf("records/s\t%.0f\n", best[4] > 0 ? records / best[4] : 0.0);
  return 0;
}
