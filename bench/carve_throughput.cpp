// Carving throughput next to a plain sequential read of the same source
// through the reader, in the same run: both in 1 MiB chunks, the read into
// one page-aligned buffer, the carve with the given settings file.
//   carve_throughput IMAGE SETTINGS [ROUNDS]
// Prints "read MiB/s", "carve MiB/s" and the items found, best of the rounds.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "disk/AlignedBuffer.h"
#include "disk/Reader.h"
#include "disk/VolumeView.h"
#include "platform/MessageBox.h"
#include "raw/MyJpg.h"
#include "raw/SettingsFile.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: carve_throughput IMAGE SETTINGS [ROUNDS]\n");
    return 2;
  }
  lv::RecordingMessageBox quiet;  // "done.." after every run
  lv::SetMessages(&quiet);
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  lv::FileReadSeek reader;
  if (!reader.OpenUtf8(argv[1])) return 1;
  std::vector<lv::CarveRule> rules;
  if (!lv::LoadSettingsFile(argv[2], lv::SettingsKind::User, rules)) return 1;
  const uint64_t bytes = reader.SourceSize();
  const double mib = static_cast<double>(bytes) / 1048576.0;
  double bestRead = 0, bestCarve = 0;
  size_t items = 0;
  for (int round = 0; round < rounds; ++round) {
    {
      lv::VolumeView view(reader, 0);
      lv::AlignedBuffer buffer(lv::kCarveChunk);
      uint64_t checksum = 0;
      const auto start = std::chrono::steady_clock::now();
      for (uint64_t at = 0; at < bytes; at += lv::kCarveChunk) {
        view.ReadBatch(at, buffer.data(), std::min<uint64_t>(lv::kCarveChunk, bytes - at));
        checksum += buffer[0];
      }
      const double rate = mib / Seconds(start);
      std::fprintf(stderr, "round %d: read %.1f MiB/s (checksum %llu)\n", round + 1, rate,
                   static_cast<unsigned long long>(checksum));
      bestRead = std::max(bestRead, rate);
    }
    {
      lv::myJpg engine(reader, lv::NoSink());
      engine.rules = rules;
      engine.bytesToScan = bytes;
      const auto start = std::chrono::steady_clock::now();
      engine.Run();
      const double rate = mib / Seconds(start);
      items = engine.items.size();
      std::fprintf(stderr, "round %d: carve %.1f MiB/s, %zu items\n", round + 1, rate, items);
      bestCarve = std::max(bestCarve, rate);
    }
  }
  std::printf("%.1f %.1f %zu\n", bestRead, bestCarve, items);
  lv::SetMessages(nullptr);
  return 0;
}
