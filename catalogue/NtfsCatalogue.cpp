#include "catalogue/NtfsCatalogue.h"

#include <exception>
#include <optional>

#include "common/DisplayText.h"
#include "common/SafeName.h"
#include "common/Text.h"

namespace lv {

ItemData NtfsCatalogue::DataOf(EntryIndex entry) const {
  if (!Valid(entry)) return kNoItemData;
  return static_cast<ItemData>(reinterpret_cast<uintptr_t>(&At(entry)));
}

EntryIndex NtfsCatalogue::IndexOf(ItemData data) const {
  const auto& entries = engine_.entries;
  if (data == kNoItemData || data == kVolumeTopData || entries.empty()) return kNoEntry;
  const auto base = static_cast<ItemData>(reinterpret_cast<uintptr_t>(entries.data()));
  if (data < base) return kNoEntry;
  const ItemData offset = data - base;
  if (offset % sizeof(NtfsEntryRecord) != 0) return kNoEntry;
  const ItemData index = offset / sizeof(NtfsEntryRecord);
  return index < entries.size() ? static_cast<EntryIndex>(index) : kNoEntry;
}

EntryIndex NtfsCatalogue::FirstChild(EntryIndex entry) const {
  return Valid(entry) ? Link(At(entry).firstChild) : kNoEntry;
}

EntryIndex NtfsCatalogue::NextSibling(EntryIndex entry) const {
  return Valid(entry) ? Link(At(entry).nextSibling) : kNoEntry;
}

std::vector<EntryIndex> NtfsCatalogue::TopLevel() const {
  std::vector<EntryIndex> top;
  const EntryIndex root = RootEntry();
  const EntryIndex orphan = OrphanEntry();
  bool orphanSeen = false;
  if (root != kNoEntry && recoveryMode_ != 3) {
    // The root's chain; a chain that comes back to an entry already taken
    // (or to the root itself) ends there.
    std::vector<uint8_t> seen(Size(), 0);
    seen[static_cast<size_t>(root)] = 1;
    for (EntryIndex e = FirstChild(root); e != kNoEntry && !seen[static_cast<size_t>(e)]; e = NextSibling(e)) {
      seen[static_cast<size_t>(e)] = 1;
      top.push_back(e);
      if (e == orphan) orphanSeen = true;
    }
  }
  if (!orphanSeen && orphan != kNoEntry && orphan != root) top.push_back(orphan);
  return top;
}

std::wstring NtfsCatalogue::Name(EntryIndex entry) const {
  if (!Valid(entry) || !At(entry).HasName()) return std::wstring();
  return Utf16ToWide(At(entry).name);
}

void NtfsCatalogue::NameInto(EntryIndex entry, std::wstring& out) const {
  out.clear();
  if (!Valid(entry) || !At(entry).HasName()) return;
  AppendUtf16ToWide(At(entry).name, out);
}

bool NtfsCatalogue::IsFolder(EntryIndex entry, FolderUse) const { return Valid(entry) && At(entry).IsDirectory(); }

bool NtfsCatalogue::IsDeleted(EntryIndex entry) const { return Valid(entry) && At(entry).IsDeleted(); }

bool NtfsCatalogue::IsValidRecord(EntryIndex entry) const { return Valid(entry) && At(entry).IsFileRecord(); }

bool NtfsCatalogue::SkipsSubtree(EntryIndex entry) const {
  return Valid(entry) && At(entry).IsDirectory() && At(entry).HasName() && At(entry).name == u".";
}

bool NtfsCatalogue::CountsAsFile(EntryIndex entry) const { return Valid(entry) && !At(entry).IsDirectory(); }

bool NtfsCatalogue::IsWritten(EntryIndex entry) const {
  return Valid(entry) && !(At(entry).HasName() && At(entry).name == u"$BadClus");
}

namespace {
std::wstring TimeText(uint64_t fileTime) {
  const std::optional<CivilTime> local = FileTimeToLocal(fileTime);
  return local ? DateTimeText(*local) : std::wstring();
}
}  // namespace

EntryTexts NtfsCatalogue::Texts(EntryIndex entry) {
  EntryTexts texts;
  if (!Valid(entry)) return texts;
  const EntryTimes times = engine_.GetTimesAndAttributes(At(entry).recordOffset);
  texts.creation = TimeText(times.creation);
  texts.access = TimeText(times.access);
  texts.modification = TimeText(times.modification);
  texts.size = SizeText(DataSize(entry));
  texts.attributes = times.attributes;
  return texts;
}

uint64_t NtfsCatalogue::DataSize(EntryIndex entry) { return Valid(entry) ? engine_.EntryDataSize(entry) : 0; }

std::string NtfsCatalogue::FolderComponent(EntryIndex entry) const {
  if (!Valid(entry) || !At(entry).HasName() || At(entry).name.empty()) return std::string();
  return SafeComponent(At(entry).name);
}

ExtractResult NtfsCatalogue::Extract(EntryIndex entry, const std::string& folder) {
  ExtractResult result;
  if (!Valid(entry)) return result;
  engine_.outputPath = folder;
  if (engine_.outputPath.empty() || engine_.outputPath.back() != '/') engine_.outputPath.push_back('/');
  try {
    result.ok = engine_.ExtractEntry(std::to_wstring(entry));
  } catch (const std::exception&) {
    result.ok = false;
  }
  result.path = engine_.outputPath;
  return result;
}

bool NtfsCatalogue::Rename(EntryIndex entry, std::u16string_view name) {
  if (!Valid(entry)) return false;
  engine_.nameStore.emplace_back(name);
  engine_.entries[static_cast<size_t>(entry)].name = engine_.nameStore.back();
  return true;
}

}  // namespace lv
