// LZNT1 decompression of one NTFS compression unit (MS-XCA, section LZNT1).
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ByteView.h"

namespace lv {

// Decompresses `input` (a sequence of chunks, each behind a 16-bit header:
// low 12 bits + 3 the chunk's size with its header, bit 15 set for a
// compressed chunk) into `output`, at most `capacity` bytes, and returns the
// number of bytes produced.
//  - A header whose low 12 bits are 0 ends the input; so does an input of
//    fewer than two bytes left.
//  - A chunk whose size runs past the input stops decompression; what was
//    produced before it stays.
//  - A chunk with bit 15 clear and exactly 4096 data bytes is copied raw;
//    any other chunk is decoded as compressed.
//  - Every chunk stands for 4096 bytes of output: when a further chunk
//    follows a chunk that produced fewer, the gap is filled with zeros.
//  - A back-reference before the chunk's start ends that chunk.
size_t Lznt1Decompress(ByteView input, uint8_t* output, size_t capacity);

}  // namespace lv
