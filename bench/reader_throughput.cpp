// Sequential read throughput of FileReadSeek: the whole source in 1 MiB
// requests, as the carving engine and the volume scans read.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "disk/AlignedBuffer.h"
#include "disk/Reader.h"
#include "platform/MessageBox.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: reader_throughput IMAGE [REPEATS]\n");
    return 2;
  }
  lv::StderrMessageBox messages;
  lv::SetMessages(&messages);
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
  lv::FileReadSeek reader;
  if (!reader.OpenUtf8(argv[1])) return 1;
  const uint32_t request = 1 << 20;
  // Page-aligned like dd's own buffer, as every large reader here uses.
  lv::AlignedBuffer buffer(request);
  double best = 0;
  for (int r = 0; r < repeats; ++r) {
    const auto start = std::chrono::steady_clock::now();
    uint64_t total = 0, checksum = 0;
    if (!reader.Seek(0)) return 1;
    for (;;) {
      const bool full = reader.Read(buffer.data(), request);
      const uint64_t got = full ? request : reader.SourceSize() - total;
      checksum += buffer[0];
      total += full ? request : got;
      if (!full) break;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double mibs = static_cast<double>(total) / 1048576.0 / seconds;
    if (mibs > best) best = mibs;
    std::fprintf(stderr, "run %d: %llu bytes in %.3f s (checksum %llu)\n", r + 1, static_cast<unsigned long long>(total),
                 seconds, static_cast<unsigned long long>(checksum));
  }
  std::printf("%.1f\n", best);
  return 0;
}
