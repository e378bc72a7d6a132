// What the catalogue needs of one engine's entry table.
//
// Each engine keeps its own flat table of its own record type, linked into
// first-child / next-sibling chains. The tree fill, the file list, search
// and saving walk those chains and ask the per-file-system questions (which
// entries are folders for which purpose, which are deleted, how a row reads,
// what an entry's data is) through this interface; one small adapter per
// engine, in the engine's own folder, answers them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/EntryData.h"
#include "common/WorkerProtocol.h"

namespace lv {

// An opaque value a tree item or list row carries: for tree items the
// address of the engine's entry record, for list rows the tree item they
// show, or the entry itself for search results.
using ItemData = uint64_t;
inline constexpr ItemData kNoItemData = 0;

// Position of an entry in its engine's table.
using EntryIndex = int64_t;
inline constexpr EntryIndex kNoEntry = -1;

// Item data of the tree's top item ("ROOT"): the volume's top level, whose
// children are CatalogueTable::TopLevel().
inline constexpr ItemData kVolumeTopData = ~ItemData{0};

// The folder tests differ by purpose on some file systems.
enum class FolderUse : uint8_t {
  Tree,    // tree fill: folders get folder items and are descended into
  List,    // file list: folders get no row
  Search,  // search: folders are searched below
  Save,    // folder save: folders become sub-folders
};

// The five texts of a list row after the name.
struct EntryTexts {
  std::wstring creation, access, modification, size, attributes;
};

class CatalogueTable {
 public:
  virtual ~CatalogueTable() = default;

  // The file-system name used in messages ("NTFS").
  virtual std::wstring_view KindName() const = 0;
  virtual size_t Size() const = 0;

  // Item data of an entry, and back; kNoEntry for data that names no entry.
  virtual ItemData DataOf(EntryIndex entry) const = 0;
  virtual EntryIndex IndexOf(ItemData data) const = 0;

  // Child chains; kNoEntry ends them. Only indexes inside the table are
  // returned.
  virtual EntryIndex FirstChild(EntryIndex entry) const = 0;
  virtual EntryIndex NextSibling(EntryIndex entry) const = 0;
  // The entries shown directly below "ROOT", in order; the tree fill and
  // the save of the whole volume walk them.
  virtual std::vector<EntryIndex> TopLevel() const = 0;
  // The entry the top level hangs from, never shown itself (NTFS: the root
  // record); kNoEntry when there is none.
  virtual EntryIndex RootEntry() const { return kNoEntry; }

  virtual std::wstring Name(EntryIndex entry) const = 0;
  // The same into a buffer the caller reuses (the fills call it per entry).
  virtual void NameInto(EntryIndex entry, std::wstring& out) const { out = Name(entry); }
  // The name search matches (exFAT, ext and HFS+ trim blanks).
  virtual std::wstring SearchName(EntryIndex entry) const { return Name(entry); }
  virtual bool IsFolder(EntryIndex entry, FolderUse use) const = 0;
  virtual bool IsDeleted(EntryIndex entry) const = 0;
  // A record the list, search and save may read (NTFS: a "FILE" record).
  virtual bool IsValidRecord(EntryIndex) const { return true; }
  // A folder whose subtree is never entered (NTFS: ".").
  virtual bool SkipsSubtree(EntryIndex) const { return false; }
  // Counted by a folder save (ext: regular files only; HFS+: file records).
  virtual bool CountsAsFile(EntryIndex entry) const { return !IsFolder(entry, FolderUse::Save); }
  // Written by a folder save (NTFS: not "$BadClus").
  virtual bool IsWritten(EntryIndex) const { return true; }

  // Row texts, and the size they use (known from the scan; no disk read).
  virtual EntryTexts Texts(EntryIndex entry) = 0;
  virtual uint64_t DataSize(EntryIndex entry) = 0;

  // The sub-folder component a folder save creates for a folder; empty
  // when none is created. Always one safe path component.
  virtual std::string FolderComponent(EntryIndex entry) const = 0;
  // The name a saved file gets: one safe component of the trimmed name;
  // empty when the entry has no name (nothing is written then).
  virtual std::string FileComponent(EntryIndex entry) const = 0;
  // The entry's data for the shared writer. Shows what the engine's
  // extraction shows on the way ("not a valid entry...").
  virtual EntryData OpenData(EntryIndex entry) = 0;
  // A single-file save reports where it wrote (exFAT, ext, HFS+).
  virtual bool ReportsSingleSave() const { return false; }

  // The recycle-bin step: whether it runs, and how a recycled entry gets
  // its former name back.
  virtual bool HasRecycleStep() const { return false; }
  virtual bool Rename(EntryIndex, std::u16string_view) { return false; }

  // The engine's stop request, polled by the catalogue's walks.
  virtual StopFlag& StopRequested() = 0;
};

}  // namespace lv
