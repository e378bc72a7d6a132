// The marker segments at the head of a JPEG file. A camera's JPEG holds a
// whole thumbnail image, FF D8 .. FF D9 included, inside its Exif APP1
// segment, so the first FF D9 after a start is often the thumbnail's end.
// The image's own end can only follow its first scan's header: walking
// the segments (each with its length) up to SOS tells where the search for
// the end may begin.
#pragma once

#include <cstdint>

namespace lv {

// Whether a rule's start and end signatures are a JPEG's (FF D8 FF at the
// sector's start, ending FF D9): such finds get the segment walk.
bool IsJpegRule(const uint8_t* start, uint8_t startLength, int32_t startOffset, const uint8_t* end,
                uint8_t endLength);

struct JpegWalk {
  uint64_t advanced = 0;  // bytes from the walk's first byte
  bool needMore = false;  // the next marker lies at or past `available`
};

// Walks marker segments from data[0], where a marker is expected (the byte
// after SOI on the first call, the position a previous walk stopped at on
// later ones), through `available` bytes. It stops at the first byte after
// the SOS segment, at a byte where the structure breaks off (no marker,
// a length below 2), or at a marker that lies past what is here.
JpegWalk WalkJpegHeader(const uint8_t* data, uint64_t available);

}  // namespace lv
