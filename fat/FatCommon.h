// Helpers every FAT-family engine shares: DOS dates and times, 8.3 short
// names with their checksum; the recognition of a FAT BIOS parameter block
// (disk/FatParameters.h) is shared with the partition scans.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/ByteView.h"
#include "common/DisplayText.h"
#include "disk/FatParameters.h"

namespace lv {

// DOS date and time -------------------------------------------------------

// The fields of a DOS date (year - 1980 in bits 9..15, month 5..8, day
// 0..4) and time (hour 11..15, minute 5..10, two-second count 0..4), as
// stored: no field is checked or corrected.
CivilTime DosFields(uint16_t date, uint16_t time);
// Whether the fields name a real moment: month 1..12, a day the month has,
// hour < 24, minute < 60, seconds < 60.
bool IsValidDos(uint16_t date, uint16_t time);
// DOS times carry no zone: they are the wall-clock time of whoever wrote
// them. A saved file is stamped with that wall-clock time read in the
// current time zone (as the Linux FAT driver and mtools read it), so that
// it shows the time the volume shows. Seconds since 1970; nullopt for an
// invalid date or time.
std::optional<int64_t> DosToUnixLocal(uint16_t date, uint16_t time);
// The list's texts: "%02d/%02d/%d  %02d:%02d AM" with the fields as
// stored, and the date alone with its trailing blank.
std::wstring DosDateTimeText(uint16_t date, uint16_t time);
std::wstring DosDateText(uint16_t date);

// 8.3 names ---------------------------------------------------------------

inline constexpr size_t kShortNameBytes = 11;
inline constexpr uint8_t kDeletedMark = 0xE5;
// A first byte of 0x05 stands for a real 0xE5 (a lead byte in some code pages).
inline constexpr uint8_t kKanjiMark = 0x05;
// Bits of the entry's byte 12 that Windows writes for all-lower-case parts.
inline constexpr uint8_t kLowerBase = 0x08;
inline constexpr uint8_t kLowerExtension = 0x10;

// The display name of a short entry from its 11 name bytes and its byte 12:
// the base and the extension without their padding blanks, joined by '.'
// when there is an extension ("README  TXT" gives README.TXT, "DCIM       "
// gives DCIM); lower case where byte 12 says so; bytes in Windows-1252. The
// deletion mark 0xE5 in the first place becomes U+FFE5 (the lost letter is
// not guessed); 0x05 there is 0xE5.
std::u16string ShortEntryName(ByteView name11, uint8_t caseFlags);
// The checksum a long-name run carries of the short name it belongs to.
uint8_t ShortNameChecksum(ByteView name11);

}  // namespace lv
