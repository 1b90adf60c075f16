// SPDX-License-Identifier: MIT
// Packed glyph files that each refusal rule of the decoder refuses alone,
// and ones it accepts, for every reader of the format.
#pragma once

#include "qpk.h"
#include "test_support.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace packed_cases {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kInk = 0x80;  // at size 1, the cell's one pixel

inline Bytes Header(int32_t size) {
  const uint32_t v = static_cast<uint32_t>(size);
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

// Run packets of the longest kind covering `count` bytes of `value`.
inline Bytes Runs(size_t count, uint8_t value = kInk) {
  Bytes out;
  for (; count >= 2; count -= std::min<size_t>(count, 128)) {
    out.push_back(static_cast<uint8_t>(0x7F + std::min<size_t>(count, 128)));
    out.push_back(value);
  }
  if (count == 1) out.insert(out.end(), {0x00, value});
  return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline Bytes RawOf(size_t count, uint8_t value) {
  Bytes out{static_cast<uint8_t>(count - 1)};
  out.insert(out.end(), count, value);
  return out;
}

constexpr size_t kFull = 9472;  // the stream at size 1
constexpr size_t kAllButOne = kFull - 128;

struct DecoderCase {
  const char* name;
  Bytes file;
  PackedRefusal reason;
};

inline std::vector<DecoderCase> Cases() {
  return {
      {"runs of 128", Cat({Header(1), Runs(kFull)}), PackedRefusal::None},
      {"a raw packet of 128", Cat({Header(1), RawOf(128, kInk), Runs(kAllButOne)}),
       PackedRefusal::None},
      {"size 32", Cat({Header(32), Runs(kFull * 32 * 4, 0x01)}), PackedRefusal::None},
      {"size 0", Cat({Header(0), Runs(kFull)}), PackedRefusal::BadCellSize},
      {"size 33", Cat({Header(33), Runs(kFull * 33 * 5)}), PackedRefusal::BadCellSize},
      {"size -1", Cat({Header(-1), Runs(kFull)}), PackedRefusal::BadCellSize},
      {"three bytes", {1, 0, 0}, PackedRefusal::BadCellSize},
      {"empty", {}, PackedRefusal::BadCellSize},
      // As a run of one the stream would be complete.
      {"header 0x80", Cat({Header(1), {0x80, kInk}, Runs(kFull - 1)}), PackedRefusal::BadPacket},
      {"a packet short", Cat({Header(1), Runs(kAllButOne)}), PackedRefusal::StreamShort},
      {"header only", Header(1), PackedRefusal::StreamShort},
      {"inside a raw packet", Cat({Header(1), Runs(kAllButOne), {0x7F, 1, 2, 3}}),
       PackedRefusal::StreamShort},
      {"a run without its byte", Cat({Header(1), Runs(kAllButOne), {0xFF}}),
       PackedRefusal::StreamShort},
      {"a run past the end", Cat({Header(1), Runs(kFull - 2), {0x82, kInk}}),
       PackedRefusal::StreamOverrun},
      {"a raw packet past the end", Cat({Header(1), Runs(kFull - 1), {0x01, kInk, kInk}}),
       PackedRefusal::StreamOverrun},
      {"one byte more", Cat({Header(1), Runs(kFull), {0x00}}), PackedRefusal::TrailingBytes},
      {"a packet more", Cat({Header(1), Runs(kFull), Runs(2)}), PackedRefusal::TrailingBytes},
      // Bits past the one pixel of each row, and in the last byte of size 12's two.
      {"padding bits set", Cat({Header(1), RawOf(128, 0x7F), Runs(kAllButOne)}),
       PackedRefusal::PaddingSet},
      {"padding bits set at size 12",
       Cat({Header(12), Runs(kFull * 12 * 2 - 1, 0xF0), {0x00, 0x08}}), PackedRefusal::PaddingSet},
  };
}

// The case's bytes in `dir`, as case.qpk.
inline std::string CaseFile(const TempDir& dir, const DecoderCase& c) {
  const std::string path = dir.File("case.qpk");
  WriteFileBytes(path, std::string(c.file.begin(), c.file.end()));
  return path;
}

}  // namespace packed_cases
