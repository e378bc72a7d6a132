// Signature settings files: loading with its refusals, the records the
// editor builds, and the default file the build generates.
#include <gtest/gtest.h>

#include <fstream>

#include "TestSupport.h"
#include "platform/MessageBox.h"
#include "common/Text.h"
#include "raw/SettingsFile.h"

#include <set>

namespace lv {
namespace {

constexpr const wchar_t* kInvalid = L"Please select a valid file..";

SignatureRecord Record(uint8_t index, std::u16string extension = u"jpg") {
  SignatureRecord r;
  r.extension = extension;
  r.extensionLength = static_cast<uint8_t>(extension.size());
  r.startSignature = {0xFF, 0xD8, 0xFF};
  r.startLength = 3;
  r.recordIndex = index;
  r.category = u"Photo";
  return r;
}

std::vector<uint8_t> FileOf(std::vector<SignatureRecord> records) {
  std::vector<uint8_t> bytes;
  for (const SignatureRecord& r : records) {
    const RecordBytes b = EncodeRecord(r);
    bytes.insert(bytes.end(), b.begin(), b.end());
  }
  return bytes;
}

std::vector<uint8_t> Records(size_t count) {
  std::vector<SignatureRecord> records;
  for (size_t i = 0; i < count; ++i) records.push_back(Record(static_cast<uint8_t>(i)));
  return FileOf(records);
}

TEST(CarveSettings, LoadRefusalsAndCounts) {
  // A 1 MiB file whose last 173 bytes are a record with index 0.
  auto ofSize = [](size_t size, uint8_t lastIndex) {
    std::vector<uint8_t> bytes(size);
    const RecordBytes first = EncodeRecord(Record(0));
    std::copy(first.begin(), first.end(), bytes.begin());
    const RecordBytes last = EncodeRecord(Record(lastIndex));
    std::copy(last.begin(), last.end(), bytes.end() - 173);
    return bytes;
  };
  auto wide = [](int32_t width) {
    SignatureRecord r = Record(0);
    r.sizeWidth = width;
    return FileOf({r});
  };
  auto longSignature = [] {
    SignatureRecord r = Record(1);
    std::vector<uint8_t> bytes = FileOf({Record(0), r});
    bytes[173 + sigrec::kEndLength] = 11;
    return bytes;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    SettingsKind kind;
    size_t already;  // rules loaded before
    bool accepted;
    size_t rules;    // rules after
    bool message;
  };
  const Case cases[] = {
      {"one record", Records(1), SettingsKind::User, 0, true, 1, false},
      {"exactly 1 MiB", ofSize(1 << 20, 0), SettingsKind::User, 0, true, 1, false},
      {"1 MiB and one byte", ofSize((1 << 20) + 1, 0), SettingsKind::User, 0, false, 0, true},
      {"default 1 MiB and one byte", ofSize((1 << 20) + 1, 0), SettingsKind::Default, 0, false, 0, true},
      {"user shorter than a record", std::vector<uint8_t>(172), SettingsKind::User, 0, false, 0, true},
      {"default shorter than a record", std::vector<uint8_t>(172), SettingsKind::Default, 0, false, 0, false},
      {"user size width 9", wide(9), SettingsKind::User, 0, false, 0, true},
      {"user size width 8", wide(8), SettingsKind::User, 0, true, 1, false},
      {"record index past the file", ofSize(3 * 173, 5), SettingsKind::User, 0, false, 0, true},
      {"signature of 11 bytes", longSignature(), SettingsKind::User, 0, false, 0, true},
      {"128 rules in all", Records(28), SettingsKind::User, 100, true, 128, false},
      {"129 rules in all", Records(29), SettingsKind::User, 100, false, 100, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingMessageBox box;
    ScopedMessages scope(&box);
    std::vector<CarveRule> rules(c.already);
    EXPECT_EQ(ParseSettings(c.bytes.data(), c.bytes.size(), c.kind, rules), c.accepted);
    EXPECT_EQ(rules.size(), c.rules);
    EXPECT_EQ(box.Texts(), c.message ? std::vector<std::wstring>{kInvalid} : std::vector<std::wstring>{});
  }
}

TEST(CarveSettings, FilesAndNumbering) {
  test::TempFolder folder;
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder.path() + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  };
  RecordingMessageBox box;
  ScopedMessages scope(&box);
  std::vector<CarveRule> rules;
  LatestValueSink sink;
  EXPECT_TRUE(LoadSettingsFile(write("default.txt", Records(3)), SettingsKind::Default, rules, sink));
  EXPECT_EQ(sink.Status(), L"Processing.....");
  EXPECT_TRUE(LoadSettingsFile(write("user.txt", Records(4)), SettingsKind::User, rules));
  ASSERT_EQ(rules.size(), 7u);
  for (size_t i = 0; i < rules.size(); ++i) EXPECT_EQ(rules[i].ruleNumber, static_cast<int>(i));
  EXPECT_TRUE(box.Texts().empty());

  EXPECT_FALSE(LoadSettingsFile(folder.path() + "/missing.txt", SettingsKind::Default, rules));
  EXPECT_TRUE(box.Texts().empty());
  EXPECT_FALSE(LoadSettingsFile(folder.path() + "/missing.txt", SettingsKind::User, rules));
  EXPECT_EQ(box.Texts(), std::vector<std::wstring>{L"Cannot open the selected file"});
  EXPECT_EQ(rules.size(), 7u);
}

TEST(CarveSettings, RuleFieldsFromRecord) {
  SignatureRecord r = Record(0, u"abcd");
  r.sizeOffset = 0;  // not a size field
  r.startOffset = -4;
  r.approxSize = int64_t{5} << 32;
  std::vector<uint8_t> bytes = FileOf({r});
  bytes[sigrec::kExtension + 8] = 'e';  // a fifth character in the fifth slot
  std::vector<CarveRule> rules;
  ASSERT_TRUE(ParseSettings(bytes.data(), bytes.size(), SettingsKind::User, rules));
  EXPECT_EQ(rules[0].extension, L"abcd");
  EXPECT_EQ(rules[0].sizeOffset, -1);
  EXPECT_EQ(rules[0].startOffset, -4);
  EXPECT_EQ(rules[0].approxSize, int64_t{5} << 32);
  EXPECT_EQ(rules[0].category, L"Photo");
}

TEST(CarveSettings, SaveEntryRecords) {
  struct Case {
    const char* what;
    EntryFields fields;
    uint64_t targetLength;
    std::wstring refusal;
    std::vector<uint8_t> start;
    int32_t sizeOffset;
  };
  auto fields = [](std::wstring start, std::wstring sizeOffset = L"") {
    EntryFields f;
    f.extension = L"png";
    f.startSignature = std::move(start);
    f.sizeOffset = std::move(sizeOffset);
    return f;
  };
  const Case cases[] = {
      {"0x prefixes", fields(L"0x89,0x50,0x4E,0x47"), 0, L"", {0x89, 0x50, 0x4E, 0x47}, -1},
      {"blanks and an empty piece", fields(L"89, 50,,4e"), 0, L"", {0x89, 0x50, 0x4E}, -1},
      {"low 8 bits", fields(L"0x1FF"), 0, L"", {0xFF}, -1},
      {"no digits reads 0", fields(L"zz,1"), 0, L"", {0x00, 0x01}, -1},
      {"size offset 0 stays -1", fields(L"1,2", L"0"), 0, L"", {1, 2}, -1},
      {"size offset 8", fields(L"1,2", L"8"), 0, L"", {1, 2}, 8},
      {"no signature", fields(L",,"), 0, L"signature length is zero..", {}, -1},
      {"eleven bytes", fields(L"1,2,3,4,5,6,7,8,9,10,11"), 0, L"signature length is more than 10..", {}, -1},
      {"no extension", EntryFields{}, 0, L"extention length is zero..", {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto built = BuildRecord(c.fields, c.targetLength);
    if (!c.refusal.empty()) {
      ASSERT_TRUE(std::holds_alternative<std::wstring>(built));
      EXPECT_EQ(std::get<std::wstring>(built), c.refusal);
      continue;
    }
    const SignatureRecord& r = std::get<SignatureRecord>(built);
    EXPECT_EQ(std::vector<uint8_t>(r.startSignature.begin(), r.startSignature.begin() + r.startLength), c.start);
    EXPECT_EQ(r.sizeOffset, c.sizeOffset);
  }

  EntryFields f = fields(L"1,2");
  f.extension = L"abcde";
  f.approxSize = L"2097152";
  f.skipSize = L"3000000000";
  f.startOffset = L"70000";
  f.category = std::wstring(60, L'c');
  const SignatureRecord r = std::get<SignatureRecord>(BuildRecord(f, 3 * 173 + 10));
  EXPECT_EQ(r.recordIndex, 3);
  EXPECT_EQ(r.extension, u"abcd");
  EXPECT_EQ(r.extensionLength, 5);
  EXPECT_EQ(r.approxSize, 2097152);
  EXPECT_EQ(r.skipSize, INT32_MAX);  // does not fit the 32-bit reading
  EXPECT_EQ(r.startOffset, static_cast<int16_t>(70000));
  EXPECT_EQ(r.category.size(), 50u);
}

TEST(CarveSettings, EditorAppendsWhatLoadingReads) {
  test::TempFolder folder;
  const std::string path = folder.path() + "/mine.txt";
  RecordingMessageBox box;
  ScopedMessages scope(&box);
  SignatureEditor editor;
  EntryFields f;
  f.extension = L"png";
  f.startSignature = L"89,50,4E,47";
  f.endSignature = L"49,45,4E,44,AE,42,60,82";
  f.approxSize = L"2097152";
  f.category = L"Photo";
  EXPECT_FALSE(editor.SaveEntry(f));
  EXPECT_EQ(box.Texts(), std::vector<std::wstring>{L"File not found for saving entry."});
  box.Clear();
  ASSERT_TRUE(editor.CreateTarget(path));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(editor.SaveEntry(f));
  EXPECT_FALSE(editor.OpenTarget(folder.path() + "/none/x.txt"));
  EXPECT_EQ(editor.TargetPath(), path);
  f.extension = L"webp";
  EXPECT_TRUE(editor.SaveEntry(f));
  EXPECT_EQ(box.Texts(), std::vector<std::wstring>(4, L"everything initialized well....."));
  std::vector<CarveRule> rules;
  ASSERT_TRUE(LoadSettingsFile(path, SettingsKind::User, rules));
  ASSERT_EQ(rules.size(), 4u);
  EXPECT_EQ(rules[3].extension, L"webp");
  EXPECT_EQ(rules[3].endLength, 8);
  EXPECT_EQ(rules[3].approxSize, 2097152);
  EXPECT_EQ(rules[3].sizeOffset, -1);
}

// The generated default file: every rule loads and fits the engine's limits.
TEST(CarveSettings, DefaultFileFromTheTable) {
  std::vector<CarveRule> rules;
  ASSERT_TRUE(LoadSettingsFile(LV_FILE_SETTING, SettingsKind::User, rules));
  EXPECT_GE(rules.size(), 30u);
  std::set<std::wstring> extensions;
  for (const CarveRule& rule : rules) {
    SCOPED_TRACE(WideToUtf8(rule.extension));
    extensions.insert(rule.extension);
    EXPECT_GE(rule.startLength, 2);
    EXPECT_LE(rule.startOffset + rule.startLength, 512);
    EXPECT_TRUE(rule.category == L"Photo" || rule.category == L"Audio" || rule.category == L"Video");
    EXPECT_FALSE(rule.HasEnd() && rule.HasSizeField());
    if (rule.HasSizeField()) {
      EXPECT_EQ(rule.sizeWidth, 4);
    }
  }
  for (const wchar_t* ext : {L"jpg", L"png", L"gif", L"bmp", L"tif", L"cr2", L"orf", L"rw2", L"heic", L"webp", L"mp3",
                             L"wav", L"ogg", L"flac", L"m4a", L"avi", L"mp4", L"mov", L"3gp", L"mkv", L"webm", L"mpg",
                             L"wmv", L"flv"})
    EXPECT_TRUE(extensions.count(ext)) << WideToUtf8(ext);
}

}  // namespace
}  // namespace lv
