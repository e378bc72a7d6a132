// The advanced scan: every 512-byte sector of a range, read in 1 MiB blocks,
// tested for a volume's boot sector or header.
#include <algorithm>

#include "common/Text.h"
#include "disk/AlignedBuffer.h"
#include "disk/BootSectorTests.h"
#include "disk/Partition.h"

namespace lv {

namespace {
constexpr uint64_t kMiB = 1048576;
// HFS+ volumes larger than this are taken for a misread header.
constexpr uint64_t kMaxHfsMiB = 20971519;
}  // namespace

int64_t Partition::AdvancedTest(ByteView bytes, int64_t sector) {
  const SectorFinding found = ExamineSector(bytes);
  if (found.kind == SectorKind::None) return 0;
  const uint64_t mib = found.volumeBytes / kMiB;
  std::wstring fileSystem, sizeText;
  switch (found.kind) {
    case SectorKind::Ntfs:
      if (mib == 0) return 0;
      fileSystem = L"NTFS";
      sizeText = Format(L"%lld   MB", static_cast<long long>(mib));
      statusText->SetStatus(Format(L"found NTFS %d...", ++ntfsCount_));
      break;
    case SectorKind::Fat32:
    case SectorKind::Fat16:
      fileSystem = found.kind == SectorKind::Fat32 ? L"FAT32" : L"FAT16";
      statusText->SetStatus(found.kind == SectorKind::Fat32 ? L"found FAT 32..." : L"found FAT 16...");
      sizeText = Format(L"%lld  MB", static_cast<long long>(mib));
      break;
    case SectorKind::FatUnknown:
      statusText->SetStatus(L"found unknown...");
      return 0;
    case SectorKind::ExFat:
      fileSystem = L"FAT64";
      statusText->SetStatus(L"found FAT 64...");
      sizeText = Format(L"%lld  MB", static_cast<long long>(mib));
      break;
    case SectorKind::HfsPlus:
      if (mib == 0 || mib > kMaxHfsMiB || sector < found.headerSector) return 0;
      fileSystem = L"HFS+";
      sizeText = Format(L"%lld  MB", static_cast<long long>(mib));
      statusText->SetStatus(L"found HFS+...");
      break;
    case SectorKind::Ext:
      if (mib == 0 || sector < found.headerSector) return 0;
      fileSystem = L"extX";
      sizeText = Format(L"%lld  MB", static_cast<long long>(mib));
      statusText->SetStatus(L"found ext2...");
      break;
    case SectorKind::None: return 0;
  }
  // Volumes below 1 MiB are neither listed nor jumped over.
  if (mib == 0) return 0;
  const int64_t start = sector - found.headerSector;
  Append(fileSystem, std::move(sizeText), start);
  if (ownerPage) ownerPage->RowFound(ownerRows->back());
  if (!skipVolumeSize) return 0;
  // The scan goes on with the first sector after the volume's extent.
  const uint64_t end = CheckedAdd(static_cast<uint64_t>(start), found.extentSectors).value_or(UINT64_MAX);
  return static_cast<int64_t>(std::min<uint64_t>(end, INT64_MAX));
}

int Partition::AdvancedScan(readWriteInterface& reader) {
  if (ownerPage) ownerPage->SetFilterEnabled(false);
  stopRequested = 0;
  nextRow_ = 0;
  ntfsCount_ = 0;
  statusText->SetStatus(L"Scanning partition.....");
  statusText->ProgressRange(0, 1000);
  reader.baseOffset = 0;
  // The source's own size where it knows it; the device's sector count else.
  const int64_t deviceSectors =
      reader.SourceBytes() > 0 ? static_cast<int64_t>(reader.SourceBytes() / kSectorSize) : DeviceSectorCount;
  int result = 1;
  AlignedBuffer block(kScanBlockBytes);
  int64_t current = std::max<int64_t>(customStartSector, 0);
  while (block.data() && current < deviceSectors) {
    if (customEndSector > 0 && current > customEndSector) break;
    // The last block holds what is left of the source.
    const auto sectors = static_cast<uint32_t>(std::min<int64_t>(kScanBlockSectors, deviceSectors - current));
    if (!ReadAt(reader, current * static_cast<int64_t>(kSectorSize), block.data(), sectors * 512)) {
      result = reader.lastError ? reader.lastError : kErrorHandleEof;
      break;
    }
    int64_t i = 0;
    bool stopped = false;
    while (i < sectors) {
      if (Stopping()) {
        stopped = true;
        break;
      }
      const uint8_t* sector = block.data() + i * 512;
      if (!MayHoldVolumeStart(sector)) {
        ++i;
        continue;
      }
      const int64_t next = AdvancedTest(ByteView(sector, 512), current + i);
      i = next > current + i ? next - current : i + 1;
      if (Stopping()) {
        stopped = true;
        break;
      }
    }
    current += i;
    const int64_t shown = std::min<int64_t>(current, deviceSectors);
    statusText->ProgressPosition(static_cast<int64_t>(static_cast<__int128>(shown) * 1000 / deviceSectors));
    if (stopped) {
      statusText->SetStatus(L"Scanned Partitions");
      break;
    }
  }
  if (ownerPage) ownerPage->SetFilterEnabled(true);
  return result;
}

}  // namespace lv
