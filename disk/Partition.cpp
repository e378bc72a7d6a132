#include "disk/Partition.h"

#include <algorithm>
#include <array>

#include "common/Text.h"
#include "disk/BootSectorTests.h"

namespace lv {

namespace {

// MiB of `sectors` table sectors of `ratio` × 512 bytes, without overflow.
uint64_t MiBOf(uint64_t sectors, uint64_t ratio) { return sectors / 2048 * ratio + sectors % 2048 * ratio / 2048; }

// Partition table layouts (little-endian).
namespace mbr {
constexpr size_t kEntries = 446;
constexpr size_t kEntrySize = 16;
constexpr size_t kType = 4;
constexpr size_t kFirstLba = 8;
constexpr size_t kSectorCount = 12;
constexpr size_t kSignature = 510;
}  // namespace mbr
namespace gpt {
constexpr size_t kHeaderSize = 12;           // within the GPT header
constexpr size_t kHeaderCrc = 16;
constexpr size_t kPartitionEntryLba = 72;
constexpr size_t kEntrySize = 128;
constexpr size_t kStartingLba = 32;
constexpr size_t kEndingLba = 40;
constexpr size_t kName = 56;
constexpr size_t kNameChars = 36;
}  // namespace gpt

constexpr uint8_t kTypeEmpty = 0x00;
constexpr uint8_t kTypeGptProtective = 0xEE;
bool IsLink(uint8_t type) { return type == 0x05 || type == 0x0F; }

using Sector = std::array<uint8_t, 512>;

// Reads the first 512 bytes of table sector `lba` of `sectorBytes` bytes.
bool ReadSectorAt(readWriteInterface& reader, uint64_t lba, Sector& out, uint32_t sectorBytes = 512) {
  if (lba > static_cast<uint64_t>(INT64_MAX) / sectorBytes) {
    reader.lastError = kErrorHandleEof;
    return false;
  }
  return ReadAt(reader, static_cast<int64_t>(lba * sectorBytes), out.data(), static_cast<uint32_t>(out.size()));
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

// CRC-32 (IEEE 802.3, reflected), as the GPT header carries it.
uint32_t Crc32(const uint8_t* data, size_t size) {
  static const auto kTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return table;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

// A GPT header with its signature and a checksum that matches.
bool IsSoundGptHeader(const Sector& header) {
  const ByteView h(header.data(), header.size());
  if (!h.Matches(0, "EFI PART")) return false;
  const uint32_t size = h.Le32(gpt::kHeaderSize);
  if (size < 92 || size > header.size()) return false;
  Sector copy = header;
  std::fill_n(copy.begin() + gpt::kHeaderCrc, 4, uint8_t{0});
  return Crc32(copy.data(), size) == h.Le32(gpt::kHeaderCrc);
}

// File-system text and status message of an MBR partition type.
struct TypeInfo {
  std::wstring fileSystem;
  std::wstring message;
};

// How many of the used primary entries of `table` name, read with sectors
// of `sectorBytes`, what they should: a boot record with its signature for
// a link, a GPT header for a protective entry, a recognised volume for the
// others.
// An entry that would end past the end of the source makes the size
// disagree outright (-1).
int MbrAgreement(readWriteInterface& reader, const Sector& table, uint32_t sectorBytes) {
  int agreeing = 0;
  const uint64_t sourceBytes = reader.SourceBytes();
  for (size_t i = 0; i < 4; ++i) {
    const ByteView entry = ByteView(table.data(), table.size()).Sub(mbr::kEntries + i * mbr::kEntrySize, mbr::kEntrySize);
    const uint8_t type = entry.U8(mbr::kType);
    const uint32_t firstLba = entry.Le32(mbr::kFirstLba);
    if (type == kTypeEmpty || firstLba == 0) continue;
    const uint64_t end = (uint64_t{firstLba} + entry.Le32(mbr::kSectorCount)) * sectorBytes;
    if (sourceBytes > 0 && end > sourceBytes && type != kTypeGptProtective) return -1;
    // What cannot be read stays zero and agrees with nothing.
    std::array<uint8_t, 1536> head{};
    ReadAt(reader, static_cast<int64_t>(uint64_t{firstLba} * sectorBytes), head.data(),
           static_cast<uint32_t>(head.size()));
    const ByteView bytes(head.data(), head.size());
    if (IsLink(type)) {
      agreeing += bytes.U8(mbr::kSignature) == 0x55 && bytes.U8(mbr::kSignature + 1) == 0xAA;
    } else if (type == kTypeGptProtective) {
      agreeing += bytes.Matches(0, "EFI PART");
    } else {
      agreeing += ExamineSector(bytes.Sub(0, 512)).kind != SectorKind::None ||
                  ExamineSector(bytes.Sub(1024, 512)).kind != SectorKind::None;
    }
  }
  return agreeing;
}
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
  notes.clear();
  reader.baseOffset = 0;
  tableSectorSize = sectorSize == 512 || sectorSize == 4096 ? sectorSize : 0;
  if (tableSectorSize == 0) {
    const uint32_t device = reader.DeviceSectorSize();
    if (device == 512 || device == 4096) tableSectorSize = device;
  }
  // A source that begins with a volume's own boot sector (an image of one
  // volume) is that volume: its boot code is no partition table.
  // A disk whose table agrees with what its entries name keeps its table,
  // even when its boot code looks like a boot sector.
  Sector table{};
  const bool tableAgrees = ReadSectorAt(reader, 0, table) &&
                           (MbrAgreement(reader, table, 512) > 0 || MbrAgreement(reader, table, 4096) > 0);
  if (!tableAgrees && ScanWholeVolume(reader, false)) return 0;
  const size_t first = ownerRows->size();
  const int code = gptEnabled ? ScanGpt(reader) : ScanMbr(reader);
  if (!gptEnabled) {
    // Rows in the order of the volumes on the disk (as mmls lists them),
    // numbered in that order.
    std::stable_sort(ownerRows->begin() + static_cast<std::ptrdiff_t>(first), ownerRows->end(),
                     [](const VolumeEntry& a, const VolumeEntry& b) { return a.startSector < b.startSector; });
    for (size_t i = first; i < ownerRows->size(); ++i) (*ownerRows)[i].name = std::to_wstring(i - first);
  }
  // An HFS+ or ext volume begins with an empty sector 0: with no table row,
  // the volume whose header lies 1024 bytes in is the source.
  if (ownerRows->size() == first) ScanWholeVolume(reader, true);
  return code;
}

bool Partition::ScanWholeVolume(readWriteInterface& reader, bool headerOnly) {
  std::array<uint8_t, 1536> head{};
  ReadAt(reader, 0, head.data(), static_cast<uint32_t>(head.size()));
  const ByteView bytes(head.data(), head.size());
  SectorFinding found = ExamineSector(bytes.Sub(0, 512));
  if (headerOnly) found = ExamineSector(bytes.Sub(1024, 512));
  std::wstring fileSystem;
  switch (found.kind) {
    case SectorKind::Ntfs: fileSystem = L"NTFS"; break;
    case SectorKind::ExFat: fileSystem = L"FAT64"; break;
    // FAT12 and FAT16 differ by their cluster count.
    case SectorKind::Fat16:
    case SectorKind::Fat32: fileSystem = RecognizeFileSystem(reader, 0, 0); break;
    case SectorKind::HfsPlus: fileSystem = L"HFS+"; break;
    case SectorKind::Ext: fileSystem = L"extX"; break;
    default:
      // An NTFS volume whose boot sector is damaged keeps its backup in its
      // last sector, an ext volume a copy of its superblock in block group 1.
      if (headerOnly && reader.SourceBytes() / 512 > 1) {
        const auto sectors = static_cast<int64_t>(std::min<uint64_t>(reader.SourceBytes() / 512, INT64_MAX));
        const std::wstring backup = RecognizeFileSystem(reader, 0, sectors);
        if (backup == L"NTFS" || backup == L"extX") {
          Append(backup, Format(backup == L"NTFS" ? L"%lld   MB" : L"%lld  MB", static_cast<long long>(sectors / 2048)), 0);
          return true;
        }
      }
      return false;
  }
  if (headerOnly != (found.headerSector == 2)) return false;
  const long long mib = static_cast<long long>(found.volumeBytes / 1048576);
  Append(fileSystem, Format(fileSystem == L"NTFS" ? L"%lld   MB" : L"%lld  MB", mib), 0);
  return true;
}

int Partition::ScanGpt(readWriteInterface& reader) {
  // The header: in sector 1 of the sector size given, or of the first size
  // at which a sound one is found there; a damaged one is replaced by the
  // backup in the last sector. When neither is sound, sector 1 of 512 bytes
  // is read as it stands.
  const std::vector<uint32_t> sizes =
      tableSectorSize ? std::vector<uint32_t>{tableSectorSize} : std::vector<uint32_t>{512, 4096};
  Sector header{};
  bool found = false;
  for (const uint32_t size : sizes) {
    Sector primary{};
    if (ReadSectorAt(reader, 1, primary, size) && IsSoundGptHeader(primary)) {
      header = primary, tableSectorSize = size, found = true;
      break;
    }
  }
  const uint64_t bytes = reader.SourceBytes();
  for (size_t i = 0; !found && i < sizes.size(); ++i) {
    const uint32_t size = sizes[i];
    Sector backup{};
    if (bytes / size < 2 || !ReadSectorAt(reader, bytes / size - 1, backup, size) || !IsSoundGptHeader(backup))
      continue;
    header = backup, tableSectorSize = size, found = true;
    notes.push_back(Format(L"the primary GPT header is damaged; the partitions are read from the backup header at "
                           L"sector %lld",
                           static_cast<long long>((bytes / size - 1) * (size / 512))));
  }
  if (!found) {
    if (!tableSectorSize) tableSectorSize = 512;
    ReadSectorAt(reader, 1, header, tableSectorSize);
  }
  const uint32_t sectorBytes = tableSectorSize;
  const uint64_t ratio = sectorBytes / 512;

  const uint64_t entryLba = ByteView(header.data(), header.size()).Le64(gpt::kPartitionEntryLba);
  // Entries beyond the end of the source read as zeros and fail the entry test.
  std::vector<uint8_t> array(kGptEntryArrayBytes, 0);
  if (entryLba <= static_cast<uint64_t>(INT64_MAX) / sectorBytes)
    ReadAt(reader, static_cast<int64_t>(entryLba * sectorBytes), array.data(), kGptEntryArrayBytes);
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
    if (startLba > static_cast<uint64_t>(INT64_MAX) / ratio) continue;
    const std::u16string name = GptEntryName(entry);
    Sector sector{};
    const bool read = ReadSectorAt(reader, startLba, sector, sectorBytes);
    if (name == u"Microsoft reserved partition") continue;
    // A first sector that cannot be read is recognised as nothing: the
    // entry is listed by its name and the volumes after it are still found.
    if (!read) sector.fill(0);
    const ByteView s(sector.data(), sector.size());
    const auto start = static_cast<int64_t>(startLba * ratio);
    // On a disk of 4096-byte sectors the volumes count in the same sectors.
    const bool ntfs = IsNtfsBootSector(s) || (sectorBytes != 512 && s.U8(boot::kJump) == 0xEB &&
                                              s.U8(boot::kJumpTarget) == 0x52 &&
                                              s.Le16(boot::kBytesPerSector) == sectorBytes);

    if (ntfs) {
      const uint64_t mib = MiBOf(s.Le64(boot::kNtfsTotalSectors), ratio);  // total sectors × 512 ÷ 1 MiB
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
      const uint64_t mib = MiBOf(sectors, ratio);
      if (!fileSystem.empty() && mib > 0) Append(fileSystem, Format(L"%lld  MB", static_cast<long long>(mib)), start);
    } else if (IsExFatBootSector(s)) {
      statusText->SetStatus(L"found FAT 64...");
      const uint64_t mib = MiBOf(s.Le64(boot::kExFatVolumeLength), ratio);
      if (mib > 0) Append(L"FAT64", Format(L"%lld  MB", static_cast<long long>(mib)), start);
    } else {
      // Other volumes by the header 1024 bytes in, else by the entry's name.
      const std::wstring fileSystem = HfsPlusTest(reader, start) ? std::wstring(L"HFS+")
                                      : ExtTest(reader, start)   ? std::wstring(L"extX")
                                                                 : Utf16ToWide(RoundTripCp1252(name));
      const auto span = static_cast<int64_t>(endLba - startLba);
      const long long mib = span >= 0 ? static_cast<long long>(MiBOf(static_cast<uint64_t>(span), ratio))
                                      : static_cast<long long>(span / 2048);
      Append(fileSystem, Format(L"%lld", mib), start);
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
  // An image does not say its sector size: the one its table agrees with
  // better; 512 bytes when both agree as well.
  if (!tableSectorSize)
    tableSectorSize = MbrAgreement(reader, sector, 4096) > MbrAgreement(reader, sector, 512) ? 4096 : 512;
  const uint64_t ratio = tableSectorSize / 512;
  int code = 0;
  std::vector<uint64_t> visited;
  // Every used entry is a volume or an extended partition, wherever it
  // stands in the table.
  for (size_t i = 0; i < 4; ++i) {
    const ByteView entry = ByteView(sector.data(), sector.size()).Sub(mbr::kEntries + i * mbr::kEntrySize, mbr::kEntrySize);
    const uint8_t type = entry.U8(mbr::kType);
    const uint32_t firstLba = entry.Le32(mbr::kFirstLba);
    const uint32_t count = entry.Le32(mbr::kSectorCount);
    if (type == kTypeEmpty) continue;
    if (IsLink(type)) {
      const int chain = ScanExtendedChain(reader, firstLba, visited);
      if (code == 0) code = chain;
      continue;
    }
    const auto start = static_cast<int64_t>(uint64_t{firstLba} * ratio);
    const TypeInfo info = ClassifyType(reader, type, start, false, ntfsCount_);
    // The exFAT test moved the reader; the table is read again as the scan does.
    if (type == 0x07 && !ReadSectorAt(reader, 0, sector)) return ErrorOf(reader);
    if (!info.message.empty()) statusText->SetStatus(info.message);
    Append(info.fileSystem, Format(L"%lld   MB", static_cast<long long>(uint64_t{count} * ratio / 2048)), start);
  }
  return code;
}

int Partition::ScanExtendedChain(readWriteInterface& reader, uint32_t extendedBase, std::vector<uint64_t>& visited) {
  const uint32_t sectorBytes = tableSectorSize;
  const uint64_t ratio = sectorBytes / 512;
  uint64_t linkOffset = 0;
  // A chain that comes back to a boot record it has read would only list
  // the same volumes again: it ends there, and after kMaxBootRecords anyway.
  for (int records = 0; records < kMaxBootRecords; ++records) {
    const uint64_t ebrLba = uint64_t{extendedBase} + linkOffset;
    if (std::find(visited.begin(), visited.end(), ebrLba) != visited.end()) return 0;
    visited.push_back(ebrLba);
    reader.baseOffset = 0;
    Sector sector{};
    if (!ReadSectorAt(reader, ebrLba, sector, sectorBytes)) return ErrorOf(reader);
    // Every entry of the boot record is examined; an empty one is skipped
    // and the first link names the next boot record.
    bool followLink = false;
    uint64_t nextLink = 0;
    for (size_t i = 0; i < 4; ++i) {
      const ByteView entry =
          ByteView(sector.data(), sector.size()).Sub(mbr::kEntries + i * mbr::kEntrySize, mbr::kEntrySize);
      const uint8_t type = entry.U8(mbr::kType);
      const uint32_t firstLba = entry.Le32(mbr::kFirstLba);
      const uint32_t count = entry.Le32(mbr::kSectorCount);
      if (IsLink(type)) {
        if (!followLink) nextLink = firstLba;
        followLink = true;
      } else if (type != kTypeEmpty) {
        const auto volumeStart = static_cast<int64_t>((ebrLba + firstLba) * ratio);
        const TypeInfo info = ClassifyType(reader, type, volumeStart, true, ntfsCount_);
        if (type == 0x07 && !ReadSectorAt(reader, ebrLba, sector, sectorBytes)) return ErrorOf(reader);
        // FAT12 has no message: the status line keeps what it showed.
        if (!info.message.empty()) statusText->SetStatus(info.message);
        Append(info.fileSystem, Format(L"%d   MB", static_cast<int>(uint64_t{count} * ratio / 2048)), volumeStart);
      }
    }
    if (!followLink) return 0;
    linkOffset = nextLink;
  }
  return 0;
}

}  // namespace lv
