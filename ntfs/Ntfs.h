// The NTFS engine: boot sector, MFT location, record parsing into an entry
// table, and extraction of one entry's data.
//
// The engine reads the volume only through readWriteInterface, with the
// reader's baseOffset at the volume's first byte. It runs on the scan
// worker; the per-entry operations (times, data summary, extraction) are
// called later from one thread at a time, since they share the engine's
// buffers and the reader's position.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/ByteView.h"
#include "common/EntryData.h"
#include "common/NameStore.h"
#include "common/WorkerProtocol.h"
#include "disk/Disk.h"
#include "disk/VolumeView.h"
#include "ntfs/NtfsRecordMap.h"

namespace lv {

class NtfsRunStream;

inline constexpr uint32_t kMftRecordSize = 1024;

// One decoded data run. Cluster numbers are 64-bit: volumes beyond 2^31
// clusters exist.
struct MftRun {
  int64_t startCluster = 0;  // absolute cluster number; 0 for a sparse run
  uint64_t clusterCount = 0;
  bool sparse = false;       // the run has no offset field
};

// Table positions and links. 32 bits: a table never holds 2^31 records
// (that would be 2 TiB of MFT), and the entry table is the largest thing the
// program holds.
using NtfsIndex = int32_t;
inline constexpr int64_t kMaxNtfsEntries = INT32_MAX - 16;

// One element of the entry table. With an MFT read by its runs, an entry's
// index is its MFT record number.
struct NtfsEntryRecord {
  std::array<char, 4> signature{};  // first four bytes of the record ("FILE")
  uint16_t recordFlags = 0;         // bit 0 in use, bit 1 directory
  uint8_t kind = 0;                 // 'D' for a directory
  uint8_t isOrphan = 0;
  NtfsIndex selfIndex = 0;
  NtfsIndex parentIndex = 0;
  NtfsIndex firstChild = 0;         // 0: none
  NtfsIndex nextSibling = 0;        // 0 or negative: end of chain
  uint64_t recordOffset = 0;        // byte offset of the record in the volume
  std::u16string_view name;         // view into nameStore; data() null when unnamed
  uint64_t allocatedSize = 0;
  // The size of the entry's data, known from the parse (the data
  // attribute's data size, or the content length of resident data).
  uint64_t dataSize = 0;

  bool HasName() const { return name.data() != nullptr; }
  bool IsFileRecord() const { return signature == std::array<char, 4>{'F', 'I', 'L', 'E'}; }
  bool IsDirectory() const { return kind == 'D'; }
  bool IsDeleted() const { return (recordFlags & 1) == 0; }
};

// A 64-byte copy of one attribute header and where the attribute starts.
struct AttributeHeader {
  std::array<uint8_t, 64> bytes{};
  uint32_t position = 0;  // byte offset of the attribute in its record
};

// The result of ReadRecordHeader: the record's 48-byte header, its offset,
// its fixed-up bytes and its attribute headers.
struct RecordHeaderCopy {
  bool valid = false;  // the record could be positioned and read
  uint64_t recordOffset = 0;
  std::array<uint8_t, 48> header{};
  std::array<uint8_t, kMftRecordSize> fixedUp{};
  std::vector<AttributeHeader> attributes;
};

// Creation, modification and access file times, then the attribute letters.
struct EntryTimes {
  uint64_t creation = 0;
  uint64_t modification = 0;
  uint64_t access = 0;
  std::wstring attributes;
};

struct DataAttributeSummary {
  uint32_t dataOffset = 0;
  uint32_t dataLength = 0;
  uint16_t compressionUnit = 0;
  uint64_t firstVcn = 0;
  uint64_t lastVcn = 0;
  uint8_t residency = 0;                 // 'R' or 'N'; 0 without a data attribute
  const wchar_t* storageText = nullptr;  // "Compressed", "Encrypted", "Normal" or null
  uint64_t allocatedSize = 0;
  uint64_t dataSize = 0;
};

class ntfs {
 public:
  ntfs(readWriteInterface& reader, const VolumeEntry& volume, WorkerSink& statusLine);
  ~ntfs();
  ntfs(const ntfs&) = delete;
  ntfs& operator=(const ntfs&) = delete;

  // Boot sector and MFT location.
  bool ReadBootSector();
  bool LocateMft();
  void ReadMftByRuns();
  std::vector<MftRun> GetAttributeRuns(uint64_t recordOffset, uint32_t type);

  // Record parsing.
  bool ParseRecord(uint64_t recordOffset, int64_t index);
  void LinkToParent(int64_t index);
  void ParseEntries();
  void LinkOrphans();
  EntryTimes GetTimesAndAttributes(uint64_t recordOffset);
  RecordHeaderCopy ReadRecordHeader(int64_t index);
  DataAttributeSummary DataAttributeInfo(const RecordHeaderCopy& header);

  // Deep scan and MFT candidates. ScanAllRecords always returns false;
  // FindMftCandidates returns the number of candidates found; UseCandidate
  // is true when the candidate's data attribute gave at least one run.
  bool ScanAllRecords();
  uint64_t FindMftCandidates(uint64_t maximum);
  bool UseCandidate(int64_t candidate);

  // Data extraction: writes the entry (index as decimal text) through the
  // shared writer into the folder `outputPath` (ending in "/"); on return
  // `outputPath` is the written file's path.
  bool ExtractEntry(const std::wstring& indexText);
  // The entry's data as a stream for the shared writer, with its times.
  // Shows "not a valid entry..." for a record that is no file record, and
  // the directory message for a directory with a data attribute. The
  // stream reads through the engine's buffers: consume it before the next
  // engine operation.
  EntryData OpenEntryData(int64_t index);
  // The real size of an entry's data: the data size of its non-resident
  // data attribute (the first extent's, when the data goes on in other
  // records through the attribute list), or the content length of a
  // resident one.
  uint64_t EntryDataSize(int64_t index);

  readWriteInterface& reader;
  VolumeEntry volume;
  VolumeView view;  // the volume, from its first byte
  WorkerSink* statusLine;      // status text
  WorkerSink* progressTarget;  // ProgressRange / ProgressPosition
  PauseGate* pauseGate = nullptr;

  std::vector<uint8_t> bootSector;
  std::array<uint8_t, kMftRecordSize> recordBuffer{};
  uint64_t bytesPerCluster = 0;
  uint64_t volumeSize = 0;
  uint64_t currentOffset = 0;
  uint64_t currentRecordOffset = 0;
  uint32_t recordsPerStep = 0;
  uint64_t clusterSpan = 0;
  std::vector<NtfsEntryRecord> entries;
  std::vector<MftRun> mftRuns;
  std::vector<NtfsEntryRecord> mftCandidates;
  std::vector<AttributeHeader> attributeHeaders;
  NameStore nameStore;  // owns every name; entries hold views
  uint8_t mftLocated = 0;
  uint8_t runFromFirstEntry = 1;
  uint8_t checkMftName = 1;
  StopFlag stopRequested{0};
  int64_t orphanIndex = -1;
  int64_t rootIndex = 5;
  int32_t recoveryMode = 0;  // 1 standard, 2 advanced, 3 deep

  // Extraction state.
  std::string outputPath;  // UTF-8 path
  std::u16string currentName;
  uint8_t hasDataAttribute = 0;
  uint8_t dataViaAttributeList = 0;
  std::vector<MftRun> dataRuns;
  uint16_t unitClusters = 0;
  // Records named by the attribute list's data entries: (low 32 bits of the
  // record number, high 16 bits).
  std::vector<std::pair<uint32_t, uint16_t>> listedRecords;

  static constexpr const char16_t* kOrphanName = u"ORPHAN_ENTRY";

 private:
  // Geometry.
  std::optional<uint64_t> BootClusterSize() const;
  uint64_t ClusterSize() const { return bytesPerCluster ? bytesPerCluster : 4096; }
  uint64_t VolumeLimitBytes() const;
  uint64_t VolumeClusters() const;

  // Record access.
  bool ReadRecordAt(uint64_t offset, uint8_t* out);
  void ParseRecordBytes(const uint8_t* raw, int64_t index);
  // With `extensionOfIndex` the record is an extension record of entry
  // `index` (found through its attribute list), whose names name the entry
  // if it has none.
  void ApplyFileNames(const uint8_t* fixedUp, int64_t index, bool extensionOfIndex = false);
  // The entry's data size from its record (or, for an extension record,
  // its base record's).
  void NoteDataSize(const uint8_t* fixedUp, int64_t index, bool extensionOfIndex = false);
  bool WouldCycle(int64_t child, int64_t parent) const;
  void MarkLinked(int64_t child, int64_t parent);
  void ResetLinkState();
  void EnsureLinkState();
  void DropLastEntry();
  void AppendEntry(const uint8_t* signature, uint64_t recordOffset);
  // Appends the record found in a scan slot and parses it at once; with
  // `keepIndexZeroFree` a placeholder first takes index 0, which is never a
  // link target. Returns the new entry's index; `parsed` tells whether the
  // record could be read (its fixed-up copy is then in fixedScratch_).
  int64_t AppendScannedRecord(uint64_t offset, ByteView bytes, bool keepIndexZeroFree, bool* parsed = nullptr);

  // Record numbers of a deep scan. A record's number comes from its header
  // or, for records without that field, from its place in the MFT that an
  // intact boot sector names.
  struct MftSegment {
    uint64_t offset = 0, bytes = 0, firstNumber = 0;
  };
  std::vector<MftSegment> MftSegmentsFromBootSector();
  std::optional<uint64_t> RecordNumberOf(uint64_t offset, ByteView header) const;
  // After a deep scan: the entries with an attribute list take names and
  // data sizes from their extension records; those left without a name
  // leave the table.
  void ResolveExtensionRecords(const std::vector<NtfsIndex>& withList);
  // The entry's own record number and where a record named by its
  // attribute list lies: the table position when the MFT was read by its
  // runs, the extension record of that number after a deep scan.
  std::optional<uint64_t> OwnRecordNumber(const RecordHeaderCopy& header, int64_t index) const;
  std::optional<uint64_t> ListedRecordOffset(const RecordHeaderCopy& header, int64_t index, uint64_t number) const;
  RecordHeaderCopy ReadRecordHeaderAt(uint64_t offset);
  // Runs of the non-resident attribute of `type` at `attributeIndex` in the
  // walk (-1: the first one), continued into later attributes of the type
  // while a run list ends without its terminator.
  std::vector<MftRun> RunsOfAttribute(const uint8_t* fixedUp, uint32_t type, int attributeIndex,
                                      bool unnamedOnly);
  std::vector<MftRun> RunsWithin(const uint8_t* fixedUp, uint32_t type, int attributeIndex, bool unnamedOnly,
                                 uint64_t volumeClusters);
  int SelectDataAttribute(const RecordHeaderCopy& header) const;

  // Volume scans: the shared walk of 512-byte slots in 10 MiB chunks below
  // `limit`. `beforeChunk` gets the chunk number and returns false to end
  // the scan; `onSlot` gets the slot's volume offset and the bytes from it
  // to the chunk's end, and returns how far to advance (512 or 1024) or 0
  // to end the scan. False when the chunk buffer cannot be allocated.
  bool ScanSlots(uint64_t limit, const std::function<bool(uint64_t)>& beforeChunk,
                 const std::function<uint32_t(uint64_t, ByteView)>& onSlot);

  // Extraction.
  friend class NtfsRunStream;
  void ReadAttributeList(const RecordHeaderCopy& header);
  // The content of the record's attribute list, read from its own clusters
  // when it is non-resident (into `storage`); nullopt without a list.
  std::optional<ByteView> AttributeListContent(const RecordHeaderCopy& header, std::vector<uint8_t>& storage);
  bool DataFromAttributeList(const RecordHeaderCopy& header, int64_t index);
  // A stream of the data along runs (compressed: unitClusters per unit).
  std::unique_ptr<DataStream> RunData(std::vector<MftRun> runs, uint64_t spanClusters, bool compressed,
                                      uint64_t dataSize);
  // Reads `bytes` from a cluster on; false when it cannot be positioned.
  bool ReadClusterBytes(uint64_t cluster, uint64_t bytes, uint8_t* out);

  std::array<uint8_t, kMftRecordSize> fixedScratch_{};
  std::vector<uint8_t> window_;       // batched MFT reads
  std::vector<NtfsIndex> lastChild_;    // tail of each entry's child chain
  std::vector<NtfsIndex> linkedUnder_;  // the chain each entry was linked into, -1 none
  // Records of an MFT with clusters below 1024 bytes that begin at the end
  // of one run and go on in the next: record offset -> its pieces.
  std::unordered_map<uint64_t, std::vector<std::pair<uint64_t, uint32_t>>> splitRecords_;
  bool sizeFromText_ = false;
  bool namesToBase_ = false;          // table indices are record numbers (ParseEntries)
  bool deepTable_ = false;            // the table holds a deep scan's records in the order found
  ExtensionRecordMap extensionRecords_;
  std::vector<MftSegment> deepMftSegments_;
  bool runsRefused_ = false;          // a run list decoded since it was cleared was refused
  std::vector<uint8_t> ioBuffer_;     // extraction reads, reused
  std::vector<uint8_t> unitOutput_;   // one decompressed unit
};

}  // namespace lv
