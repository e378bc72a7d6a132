// Signature settings files: reading one into the rule list, and the
// editor's Save Entry, which builds a record from the editor's texts and
// appends it to the open target file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/WorkerProtocol.h"
#include "raw/SignatureRecord.h"

namespace lv {

// The default file lies beside the programs; the user picks the others.
enum class SettingsKind : uint8_t { Default, User };

inline constexpr const char* kDefaultSettingsName = "FileSetting.txt";

// Appends the rules of a settings file to `rules`, numbered on from the
// rules already there; true when the file was accepted. A refused file adds
// no rules. Messages: "Cannot open the selected file" (a user file that
// cannot be opened; a default file is passed over silently), "Please select
// a valid file.." (shorter than one record for a user file, longer than
// 1 MiB, a last record whose sizeWidth is above 8 for a user file, and
// beyond what the format allows: a record count past the file's end, a
// signature longer than 10 bytes, more rules than the engine's 128). While
// a default file is read the status is "Processing.....".
bool LoadSettingsFile(const std::string& path, SettingsKind kind, std::vector<CarveRule>& rules,
                      WorkerSink& status = NoSink());
// The same over a file's bytes already in memory.
bool ParseSettings(const uint8_t* bytes, size_t size, SettingsKind kind, std::vector<CarveRule>& rules);

// The texts of the settings editor's boxes.
struct EntryFields {
  std::wstring extension;       // "File Extention :"
  std::wstring startSignature;  // "Starting Signature :"
  std::wstring endSignature;    // "Ending Signature :"
  std::wstring sizeOffset;      // "Offset to Size Byte :"
  std::wstring startOffset;     // "Starting Signature Offset:"
  std::wstring sizeWidth;       // "Number Of Bytes In Size :"
  std::wstring headerSize;      // "Header size :"
  std::wstring approxSize;      // "Approx file size :"
  std::wstring skipSize;        // "Size_to_skip_WhileParsing :"
  std::wstring category;        // "Put Under Category :"
  bool sizeIncludesHeader = false;  // "Size includes header size"
};

// A signature text: comma-separated hexadecimal pieces, empty pieces
// skipped, each read like wcstoul in base 16 (leading blanks and "0x"
// accepted, reading stops at the first non-digit, no digit reads 0) and
// kept to its low 8 bits: "89, 50,,4e" → 89 50 4E, "0x1FF" → FF.
std::vector<uint8_t> ParseSignatureText(std::wstring_view text);
// A number box: a decimal 32-bit value, 0 when empty or not a number,
// INT32_MAX or INT32_MIN when it does not fit.
int32_t ReadNumberBox(std::wstring_view text);

// The record Save Entry appends to a target file now `targetLength` bytes
// long, or the message that refuses the entry.
std::variant<SignatureRecord, std::wstring> BuildRecord(const EntryFields& fields, uint64_t targetLength);

// The settings editor's target file: at most one open, until the editor
// closes (the object goes).
class SignatureEditor {
 public:
  SignatureEditor() = default;
  ~SignatureEditor();
  SignatureEditor(const SignatureEditor&) = delete;
  SignatureEditor& operator=(const SignatureEditor&) = delete;

  // "Save in \nnew File": creates the file, emptying one that exists.
  bool CreateTarget(const std::string& path);
  // "Save in \nExisiting FIle": an existing file, kept as it is.
  bool OpenTarget(const std::string& path);
  bool HasTarget() const { return fd_ >= 0; }
  // The path box ("Select Path to Save Entries"): a target that cannot be
  // opened leaves it as it was.
  const std::string& TargetPath() const { return path_; }

  // Save Entry: builds the record and appends it; shows "File not found for
  // saving entry." without a target, the refusal of BuildRecord, or
  // "everything initialized well....." once written.
  bool SaveEntry(const EntryFields& fields);

 private:
  bool Replace(int fd, const std::string& path);
  int fd_ = -1;
  std::string path_;
};

}  // namespace lv
