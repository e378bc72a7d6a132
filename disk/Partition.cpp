#include "disk/Partition.h"

#include <array>
#include <set>

#include "common/Text.h"
#include "disk/BootSectorTests.h"

namespace lv {

namespace {

// Partition table layouts (little-endian).
namespace mbr {
constexpr size_t kEntries = 446;
constexpr size_t kEntrySize = 16;
constexpr size_t kType = 4;
constexpr size_t kFirstLba = 8;
constexpr size_t kSectorCount = 12;
}  // namespace mbr
namespace gpt {
constexpr size_t kHeader = 512;              // the header is sector 1
constexpr size_t kPartitionEntryLba = 72;    // within the header
constexpr size_t kEntrySize = 128;
constexpr size_t kStartingLba = 32;
constexpr size_t kEndingLba = 40;
constexpr size_t kName = 56;
constexpr size_t kNameChars = 36;
}  // namespace gpt

constexpr uint8_t kTypeEmpty = 0x00;
bool IsLink(uint8_t type) { return type == 0x05 || type == 0x0F; }

using Sector = std::array<uint8_t, 512>;

bool ReadSectorAt(readWriteInterface& reader, uint64_t lba, Sector& out) {
  if (lba > static_cast<uint64_t>(INT64_MAX) / kSectorSize) {
    reader.lastError = kErrorHandleEof;
    return false;
  }
  return ReadAt(reader, static_cast<int64_t>(lba * kSectorSize), out.data(), static_cast<uint32_t>(out.size()));
}

int ErrorOf(const readWriteInterface& reader) { return reader.lastError ? reader.lastError : kErrorHandleEof; }

std::u16string GptEntryName(ByteView entry) {
  std::u16string name;
  for (size_t i = 0; i < gpt::kNameChars; ++i) {
    const char16_t c = entry.Le16(gpt::kName + 2 * i);
    if (c == 0) break;
    name.push_back(c);
  }
  return name;
}

// File-system text and status message of an MBR partition type.
struct TypeInfo {
  std::wstring fileSystem;
  std::wstring message;
};

}  // namespace

void Partition::Append(const std::wstring& fileSystem, std::wstring sizeText, int64_t startSector) {
  VolumeEntry row;
  row.fileSystem = fileSystem;
  row.name = std::to_wstring(nextRow_++);
  row.sizeText = std::move(sizeText);
  row.startSector = startSector;
  ownerRows->push_back(std::move(row));
}

int Partition::StandardScan(readWriteInterface& reader) {
  nextRow_ = 0;
  ntfsCount_ = 0;
  reader.baseOffset = 0;
  std::array<uint8_t, 1024> head{};
  const bool headRead = ReadAt(reader, 0, head.data(), static_cast<uint32_t>(head.size()));
  if (gptEnabled && headRead) return ScanGpt(reader, ByteView(head.data(), head.size()));
  return ScanMbr(reader);
}

int Partition::ScanGpt(readWriteInterface& reader, ByteView head) {
  const uint64_t entryLba = head.Le64(gpt::kHeader + gpt::kPartitionEntryLba);
  // Entries beyond the end of the source read as zeros and fail the entry test.
  std::vector<uint8_t> array(kGptEntryArrayBytes, 0);
  if (entryLba <= static_cast<uint64_t>(INT64_MAX) / kSectorSize)
    ReadAt(reader, static_cast<int64_t>(entryLba * kSectorSize), array.data(), kGptEntryArrayBytes);
  const ByteView entries(array.data(), array.size());

  std::vector<ByteView> taken;
  for (int i = 0; i < kMaxGptEntries; ++i) {
    const ByteView entry = entries.Sub(static_cast<size_t>(i) * gpt::kEntrySize, gpt::kEntrySize);
    bool typeOk = true;
    for (size_t b = 0; b < 4; ++b) typeOk = typeOk && entry.U8(b) != 0x30;
    if (!typeOk || entry.Le64(gpt::kStartingLba) < 3) break;
    taken.push_back(entry);
  }

  for (const ByteView& entry : taken) {
    const uint64_t startLba = entry.Le64(gpt::kStartingLba);
    const uint64_t endLba = entry.Le64(gpt::kEndingLba);
    // A start no signed sector number can hold names no place on any disk.
    if (startLba > static_cast<uint64_t>(INT64_MAX)) continue;
    const std::u16string name = GptEntryName(entry);
    Sector sector{};
    const bool read = ReadSectorAt(reader, startLba, sector);
    if (name == u"Microsoft reserved partition") continue;
    // A first sector that cannot be read is recognised as nothing: the
    // entry is listed by its name and the volumes after it are still found.
    if (!read) sector.fill(0);
    const ByteView s(sector.data(), sector.size());
    const auto start = static_cast<int64_t>(startLba);

    if (IsNtfsBootSector(s)) {
      const uint64_t mib = s.Le64(boot::kNtfsTotalSectors) / 2048;  // total sectors × 512 ÷ 1 MiB
      if (mib > 0) {
        Append(L"NTFS", Format(L"%lld   MB", static_cast<long long>(mib)), start);
        statusText->SetStatus(Format(L"found NTFS %d...", ++ntfsCount_));
      }
    } else if (IsFatBootSector(s)) {
      const uint16_t sectorsPerFat = s.Le16(boot::kSectorsPerFat16);
      std::wstring fileSystem;
      uint64_t sectors = 0;
      if (sectorsPerFat == 0) {
        fileSystem = L"FAT32";
        statusText->SetStatus(L"found FAT 32...");
        // A FAT volume keeps its size in one of the two fields; a small
        // FAT32 volume uses the 16-bit one and would otherwise vanish.
        sectors = s.Le32(boot::kTotalSectors32);
        if (sectors == 0) sectors = s.Le16(boot::kTotalSectors16);
      } else if (sectorsPerFat == 200 || sectorsPerFat == 256) {
        fileSystem = L"FAT16";
        statusText->SetStatus(L"found FAT 16...");
        sectors = s.Le16(boot::kTotalSectors16);
        if (sectors == 0) sectors = s.Le32(boot::kTotalSectors32);
      } else {
        statusText->SetStatus(L"found unknown...");
      }
      if (!fileSystem.empty() && sectors / 2048 > 0)
        Append(fileSystem, Format(L"%lld  MB", static_cast<long long>(sectors / 2048)), start);
    } else if (IsExFatBootSector(s)) {
      statusText->SetStatus(L"found FAT 64...");
      const uint64_t mib = s.Le64(boot::kExFatVolumeLength) / 2048;
      if (mib > 0) Append(L"FAT64", Format(L"%lld  MB", static_cast<long long>(mib)), start);
    } else {
      const std::wstring fileSystem =
          HfsPlusTest(reader, start) ? std::wstring(L"HFS+") : Utf16ToWide(RoundTripCp1252(name));
      Append(fileSystem, Format(L"%lld", static_cast<long long>(static_cast<int64_t>(endLba - startLba) / 2048)),
             start);
      continue;
    }
    if (Stopping()) break;
  }
  return 0;
}

namespace {
TypeInfo ClassifyType(readWriteInterface& reader, uint8_t type, int64_t firstSector, bool logical, int& ntfsCount) {
  switch (type) {
    case 0x01: return {L"FAT12", L""};
    case 0x04:
    case 0x06:
    case 0x0E: return {L"FAT16", L"found FAT 16..."};
    case 0x07:
      if (ExFatTest(reader, firstSector)) return {L"FAT64", L"found FAT64..."};
      if (logical) return {L"NTFS", L"found NTFS..."};
      return {L"NTFS", Format(L"found NTFS %d...", ++ntfsCount)};
    case 0x0B:
    case 0x0C: return {L"FAT32", L"found FAT 32..."};
    case 0x42:
      if (!logical) return {L"NTFS", L"NTFS..."};
      break;
    case 0x83: return {L"extX", logical ? L"found extx..." : L"found ext2..."};
    default: break;
  }
  return {L"Unknown", L"found UNKNOWN..."};
}
}  // namespace

int Partition::ScanMbr(readWriteInterface& reader) {
  Sector sector{};
  if (!ReadSectorAt(reader, 0, sector)) return ErrorOf(reader);
  for (size_t i = 0; i < 4; ++i) {
    const ByteView entry = ByteView(sector.data(), sector.size()).Sub(mbr::kEntries + i * mbr::kEntrySize, mbr::kEntrySize);
    const uint8_t type = entry.U8(mbr::kType);
    const uint32_t firstLba = entry.Le32(mbr::kFirstLba);
    const uint32_t count = entry.Le32(mbr::kSectorCount);
    if (type == kTypeEmpty) return 0;
    if (IsLink(type)) return ScanExtendedChain(reader, firstLba);
    const TypeInfo info = ClassifyType(reader, type, firstLba, false, ntfsCount_);
    // The exFAT test moved the reader; the table is read again as the scan does.
    if (type == 0x07 && !ReadSectorAt(reader, 0, sector)) return ErrorOf(reader);
    if (!info.message.empty()) statusText->SetStatus(info.message);
    Append(info.fileSystem, Format(L"%lld   MB", static_cast<long long>(count / 2048)), firstLba);
  }
  return 0;
}

int Partition::ScanExtendedChain(readWriteInterface& reader, uint32_t extendedBase) {
  uint64_t linkOffset = 0;
  // A chain that comes back to a boot record it has read would only list
  // the same volumes again: it ends there, and after kMaxBootRecords anyway.
  std::set<uint64_t> visited;
  for (int records = 0; records < kMaxBootRecords; ++records) {
    const uint64_t ebrLba = uint64_t{extendedBase} + linkOffset;
    if (!visited.insert(ebrLba).second) return 0;
    reader.baseOffset = 0;
    Sector sector{};
    if (!ReadSectorAt(reader, ebrLba, sector)) return ErrorOf(reader);
    bool followLink = false;
    for (size_t i = 0; i < 4 && !followLink; ++i) {
      const ByteView entry =
          ByteView(sector.data(), sector.size()).Sub(mbr::kEntries + i * mbr::kEntrySize, mbr::kEntrySize);
      const uint8_t type = entry.U8(mbr::kType);
      const uint32_t firstLba = entry.Le32(mbr::kFirstLba);
      const uint32_t count = entry.Le32(mbr::kSectorCount);
      if (IsLink(type)) {
        linkOffset = firstLba;
        followLink = true;
      } else if (type == kTypeEmpty) {
        return 0;
      } else {
        const auto volumeStart = static_cast<int64_t>(ebrLba + firstLba);
        const TypeInfo info = ClassifyType(reader, type, volumeStart, true, ntfsCount_);
        if (type == 0x07 && !ReadSectorAt(reader, ebrLba, sector)) return ErrorOf(reader);
        // FAT12 has no message: the status line keeps what it showed.
        if (!info.message.empty()) statusText->SetStatus(info.message);
        Append(info.fileSystem, Format(L"%d   MB", static_cast<int>(count / 2048)), volumeStart);
      }
    }
    if (!followLink) return 0;  // four logical volumes: the chain ends here
  }
  return 0;
}

}  // namespace lv
