// The advanced volume scan next to a plain sequential read of the same
// source through the reader, in the same run: both in 1 MiB blocks into a
// page-aligned buffer.
//   advanced_scan_throughput IMAGE [ROUNDS]
// Prints "read MiB/s", "scan MiB/s" and the rows found, best of the rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "disk/AlignedBuffer.h"
#include "disk/Partition.h"
#include "disk/Reader.h"
#include "platform/MessageBox.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: advanced_scan_throughput IMAGE [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  lv::FileReadSeek reader;
  if (!reader.OpenUtf8(argv[1])) return 1;
  const uint64_t bytes = reader.SourceSize();
  const double mib = static_cast<double>(bytes) / 1048576.0;
  double bestRead = 0, bestScan = 0;
  size_t rows = 0;
  for (int round = 0; round < rounds; ++round) {
    {
      lv::AlignedBuffer buffer(lv::Partition::kScanBlockBytes);
      uint64_t checksum = 0;
      const auto start = std::chrono::steady_clock::now();
      for (uint64_t at = 0; at < bytes; at += lv::Partition::kScanBlockBytes) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(lv::Partition::kScanBlockBytes, bytes - at));
        lv::ReadAt(reader, static_cast<int64_t>(at), buffer.data(), n);
        checksum += buffer[0];
      }
      const double rate = mib / Seconds(start);
      std::fprintf(stderr, "round %d: read %.1f MiB/s (checksum %llu)\n", round + 1, rate,
                   static_cast<unsigned long long>(checksum));
      bestRead = std::max(bestRead, rate);
    }
    {
      std::vector<lv::VolumeEntry> found;
      lv::Partition scan(found, lv::NoSink());
      const auto start = std::chrono::steady_clock::now();
      scan.AdvancedScan(reader);
      const double rate = mib / Seconds(start);
      rows = found.size();
      std::fprintf(stderr, "round %d: advanced scan %.1f MiB/s, %zu rows\n", round + 1, rate, rows);
      bestScan = std::max(bestScan, rate);
    }
  }
  std::printf("%.1f %.1f %zu\n", bestRead, bestScan, rows);
  return 0;
}
