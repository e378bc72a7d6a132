#include "fuzz/CarveTargets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "disk/Reader.h"
#include "platform/MessageBox.h"
#include "raw/CarvedItemData.h"
#include "raw/MyJpg.h"
#include "raw/SettingsFile.h"

namespace lv::fuzz {
namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

CarveRule Builtin(std::vector<uint8_t> start, std::vector<uint8_t> end, int64_t approx, int32_t sizeOffset = -1) {
  CarveRule rule;
  std::copy(start.begin(), start.end(), rule.startSignature.begin());
  rule.startLength = static_cast<uint8_t>(start.size());
  std::copy(end.begin(), end.end(), rule.endSignature.begin());
  rule.endLength = static_cast<uint8_t>(end.size());
  rule.approxSize = approx;
  if (sizeOffset > 0) rule.sizeOffset = sizeOffset, rule.sizeWidth = 4, rule.headerSize = 8;
  rule.extension = L"x";
  return rule;
}

}  // namespace

void CarveSettings(const uint8_t* data, size_t size) {
  RecordingMessageBox box;
  ScopedMessages scope(&box);
  for (const SettingsKind kind : {SettingsKind::User, SettingsKind::Default}) {
    std::vector<CarveRule> rules(kind == SettingsKind::User ? 0 : 64);
    const size_t before = rules.size();
    const bool accepted = ParseSettings(data, size, kind, rules);
    if (!accepted && rules.size() != before) Fail("a refused file added rules");
    if (rules.size() > kMaxRules) Fail("more rules than the engine supports");
    for (size_t i = before; i < rules.size(); ++i) {
      const CarveRule& rule = rules[i];
      if (rule.ruleNumber != static_cast<int>(i)) Fail("rule number is not the position");
      if (rule.startLength > 10 || rule.endLength > 10) Fail("signature longer than the record");
      if (rule.extension.size() > 4 || rule.category.size() > 50) Fail("text longer than the record");
      if (rule.sizeOffset == 0) Fail("size offset 0 kept");
    }
  }
}

void CarveRun(const uint8_t* data, size_t size) {
  RecordingMessageBox box;
  ScopedMessages scope(&box);
  size_t settingsLength = size >= 2 ? (data[0] | size_t{data[1]} << 8) : 0;
  if (size < 2) return;
  settingsLength = std::min(settingsLength, size - 2);
  std::vector<CarveRule> rules;
  if (!ParseSettings(data + 2, settingsLength, SettingsKind::User, rules) || rules.empty()) {
    rules = {Builtin({0xFF, 0xD8, 0xFF}, {0xFF, 0xD9}, 1 << 20), Builtin({'R', 'I', 'F', 'F'}, {}, 1 << 22, 4),
             Builtin({'I', 'D', '3'}, {}, 3000), Builtin({'P', 0x2A}, {0x2A, 'E'}, 0)};
    for (size_t i = 0; i < rules.size(); ++i) rules[i].ruleNumber = static_cast<int>(i);
  }
  const uint8_t* body = data + 2 + settingsLength;
  const size_t bodyLength = size - 2 - settingsLength;
  constexpr size_t kChunk = 1 << 20;
  std::vector<uint8_t> image(kChunk + kChunk / 16 + bodyLength);
  // Across the first chunk boundary, so that finds, ends and skips meet it.
  std::memcpy(image.data() + kChunk - std::min(bodyLength, kChunk) / 2, body, bodyLength);
  MemoryReader reader(std::move(image));
  const std::vector<uint8_t>& bytes = reader.Image();
  myJpg engine(reader, NoSink());
  engine.rules = rules;
  engine.bytesToScan = image.size();
  if (!engine.Run()) Fail("run did not start");
  const auto range = static_cast<int64_t>(bytes.size());
  for (size_t i = 0; i < engine.items.size(); ++i) {
    const CarvedItem& item = engine.items[i];
    if (item.startOffset < 0 || item.startOffset % 512 != 0 || item.size < 0 || item.size > range - item.startOffset)
      Fail("item outside the range");
    // The copies of the first few items that are not too large.
    if (i >= 4 || item.size > (1 << 17)) continue;
    EntryData copy = CarvedItemData(reader, 0, item, nullptr);
    std::string copied;
    if (!ReadWhole(copy, 1 << 18, copied) || copied.size() != CopyLength(item.size)) Fail("copy of the wrong length");
    if (std::memcmp(copied.data(), bytes.data() + item.startOffset, static_cast<size_t>(item.size)) != 0)
      Fail("copy differs from the range");
  }
}

}  // namespace lv::fuzz
