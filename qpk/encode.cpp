// SPDX-License-Identifier: MIT
// Packed glyph file writing: cells into the one-bit stream, the stream into
// run and raw packets behind the 4-byte header.
#include "qpk_internal.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t kPixelBytes = 4;
constexpr size_t kMaxRawCount = 121;
constexpr size_t kMaxPendingRun = 121;  // plus the run's last byte: 122

// kReversed[b] is b with its eight bits in the opposite order.
constexpr auto kReversed = [] {
  std::array<uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b)
    for (int k = 0; k < 8; ++k)
      if (b & (1 << k)) table[b] |= static_cast<uint8_t>(0x80 >> k);
  return table;
}();

// Eight pixels to a byte, first pixel in the top bit; a pixel compares whole.
void PackRow(const uint8_t* row, int count, uint32_t ink, uint8_t* out) {
  int x = 0;
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
  const __m128i inkLanes = _mm_set1_epi32(static_cast<int>(ink));
  for (; x + 8 <= count; x += 8) {
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x * kPixelBytes));
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + (x + 4) * kPixelBytes));
    int lowBits = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(low, inkLanes)));
    int highBits = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(high, inkLanes)));
    *out++ = kReversed[static_cast<unsigned>(lowBits | highBits << 4)];  // pixel x to the top bit
  }
#endif
  for (; x < count; x += 8) {
    const int end = std::min(count, x + 8);
    unsigned bits = 0;
    for (int k = x; k < end; ++k) {
      uint32_t word;
      memcpy(&word, row + static_cast<size_t>(k) * kPixelBytes, sizeof word);
      bits = bits << 1 | (word == ink);
    }
    *out++ = static_cast<uint8_t>(bits << (8 - (end - x)));
  }
}

bool CellSizeValid(int32_t cellSize) { return cellSize >= 1 && cellSize <= PackedMaxCellSize; }

}  // namespace

bool PackCellPicture(const PackedCellPicture& picture, int32_t cellSize,
                     std::vector<uint8_t>& stream) {
  if (!CellSizeValid(cellSize) || picture.columns < 1) return false;
  const size_t size = static_cast<size_t>(cellSize);
  const size_t columns = static_cast<size_t>(picture.columns);
  const size_t cellRows = (PackedSlotCount + columns - 1) / columns;
  if (columns * size > picture.width || cellRows * size > picture.height) return false;
  std::vector<uint8_t> packed;
  try {
    packed.resize(PackedStreamLength(cellSize));
  } catch (const std::bad_alloc&) {  // the stream's one allocation
    return false;
  }
  const size_t rowBytes = (size + 7) / 8;
  const auto* pixels = static_cast<const uint8_t*>(picture.pixels);
  uint8_t* out = packed.data();
  for (size_t slot = 0; slot < static_cast<size_t>(PackedSlotCount); ++slot) {
    const size_t x0 = slot % columns * size;
    const size_t bottom = slot / columns * size + size - 1;
    for (size_t k = 0; k < size; ++k) {  // the cell's bottom row first
      PackRow(pixels + ((bottom - k) * picture.width + x0) * kPixelBytes, cellSize, picture.ink,
              out);
      out += rowBytes;
    }
  }
  stream.swap(packed);
  return true;
}

void WriteRunPacket(PendingBytes& pending, std::vector<uint8_t>& out) {
  if (pending.count == 0) return;
  out.push_back(static_cast<uint8_t>(0x80 + pending.count));
  out.push_back(pending.start[0]);
  pending.count = 0;
}

void WriteRawPacket(PendingBytes& pending, std::vector<uint8_t>& out) {
  if (pending.count == 0) return;
  out.push_back(static_cast<uint8_t>(pending.count - 1));
  out.insert(out.end(), pending.start, pending.start + pending.count);
  pending.count = 0;
}

void EncodePackedStream(const uint8_t* data, size_t length, std::vector<uint8_t>& out) {
  PendingBytes run{data, 0};
  PendingBytes raw{data, 0};
  for (size_t p = 0; p < length; ++p) {
    bool continuesRun = p + 1 < length && data[p] == data[p + 1] && run.count < kMaxPendingRun;
    if (continuesRun) {
      if (run.count == 0) run.start = data + p;
      ++run.count;
      WriteRawPacket(raw, out);
    } else if (run.count != 0) {
      WriteRunPacket(run, out);  // data[p] is the run's last byte
    } else {
      if (raw.count == 0) raw.start = data + p;
      ++raw.count;
      if (raw.count == kMaxRawCount || p + 1 == length) WriteRawPacket(raw, out);
    }
  }
}

bool EncodePackedFile(int32_t cellSize, const std::vector<uint8_t>& stream,
                      std::vector<uint8_t>& file) {
  if (!CellSizeValid(cellSize) || stream.size() != PackedStreamLength(cellSize) ||
      !PaddingClear(stream.data(), cellSize)) {
    errno = EINVAL;
    return false;
  }
  const uint32_t size = static_cast<uint32_t>(cellSize);  // little-endian
  std::vector<uint8_t> coded;
  try {
    coded = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
             static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
    EncodePackedStream(stream.data(), stream.size(), coded);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  file.swap(coded);
  return true;
}
