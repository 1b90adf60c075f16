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
  const auto inkFour = [&](int at) {
    const auto* four =
        reinterpret_cast<const __m128i*>(row + static_cast<size_t>(at) * kPixelBytes);
    return _mm_cmpeq_epi32(_mm_loadu_si128(four), inkLanes);
  };
  for (; x + 16 <= count; x += 16) {  // sixteen pixels narrowed to one bit each
    const __m128i low = _mm_packs_epi32(inkFour(x), inkFour(x + 4));
    const __m128i high = _mm_packs_epi32(inkFour(x + 8), inkFour(x + 12));
    const auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
    *out++ = kReversed[bits & 0xFF];  // pixel x to the top bit
    *out++ = kReversed[bits >> 8];
  }
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

namespace {

// `size` bits (at most 32) of a packed row from bit `first` on, the first of
// them on top; the row has 8 readable bytes past its last bit.
uint32_t BitsAt(const uint8_t* bits, size_t first, size_t size) {
  uint64_t window;
  memcpy(&window, bits + first / 8, sizeof window);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  window = __builtin_bswap64(window);
#endif
  return static_cast<uint32_t>(window << (first % 8) >> (64 - size));
}

// Writes a cell row's bits into the stream's `rowBytes`, first pixel on top.
void PutCellRow(uint32_t value, size_t size, size_t rowBytes, uint8_t* out) {
  const uint32_t aligned = value << (32 - size);
  out[0] = static_cast<uint8_t>(aligned >> 24);
  if (rowBytes > 1) out[1] = static_cast<uint8_t>(aligned >> 16);
  if (rowBytes > 2) out[2] = static_cast<uint8_t>(aligned >> 8);
  if (rowBytes > 3) out[3] = static_cast<uint8_t>(aligned);
}

bool IsBlank(const uint8_t* bits, size_t length) {
  uint64_t any = 0;
  size_t b = 0;
  for (uint64_t word; b + 8 <= length; b += 8) {
    memcpy(&word, bits + b, sizeof word);
    any |= word;
  }
  for (; b < length; ++b) any |= bits[b];
  return any == 0;
}

}  // namespace

// A picture row at a time: its pixels packed to bits in one pass, then each
// cell's part written to where that cell row lies in the stream. A row
// without ink, and a cell row without ink, write nothing: the stream starts
// zeroed.
bool PackCellPicture(const PackedCellPicture& picture, int32_t cellSize,
                     std::vector<uint8_t>& stream) {
  return PackCellPicture(picture, cellSize, nullptr, stream);
}

namespace {

// A band of `columns` cells from `firstSlot` without a filled cell.
bool BandEmpty(const uint8_t* filled, size_t firstSlot, size_t columns) {
  if (filled == nullptr) return false;
  const size_t end = std::min(firstSlot + columns, static_cast<size_t>(PackedSlotCount));
  return std::all_of(filled + firstSlot, filled + end, [](uint8_t cell) { return cell == 0; });
}

}  // namespace

bool PackCellPicture(const PackedCellPicture& picture, int32_t cellSize, const uint8_t* filled,
                     std::vector<uint8_t>& stream) {
  if (!CellSizeValid(cellSize) || picture.columns < 1) return false;
  const size_t size = static_cast<size_t>(cellSize);
  const size_t columns = static_cast<size_t>(picture.columns);
  const size_t cellRows = (PackedSlotCount + columns - 1) / columns;
  if (columns * size > picture.width || cellRows * size > picture.height) return false;
  const size_t rowPixels = columns * size;
  const size_t rowBitBytes = (rowPixels + 7) / 8;
  std::vector<uint8_t> packed;
  std::vector<uint8_t> rowBits;
  try {
    packed.resize(PackedStreamLength(cellSize));
    rowBits.resize(rowBitBytes + 8);
  } catch (const std::bad_alloc&) {  // the stream's one allocation, and a row's
    return false;
  }
  const size_t rowBytes = (size + 7) / 8;
  const auto* pixels = static_cast<const uint8_t*>(picture.pixels);
  for (size_t y = 0; y < cellRows * size; ++y) {
    if (y % size == 0 && BandEmpty(filled, y / size * columns, columns)) {
      y += size - 1;  // the stream holds those cells' zeros already
      continue;
    }
    PackRow(pixels + y * picture.width * kPixelBytes, static_cast<int>(rowPixels), picture.ink,
            rowBits.data());
    if (IsBlank(rowBits.data(), rowBitBytes)) continue;
    const size_t firstSlot = y / size * columns;
    const size_t fromBottom = size - 1 - y % size;
    for (size_t c = 0; c < columns && firstSlot + c < static_cast<size_t>(PackedSlotCount); ++c) {
      if (filled != nullptr && filled[firstSlot + c] == 0) continue;
      const uint32_t value = BitsAt(rowBits.data(), c * size, size);
      if (value != 0)
        PutCellRow(value, size, rowBytes,
                   &packed[((firstSlot + c) * size + fromBottom) * rowBytes]);
    }
  }
  stream.swap(packed);
  return true;
}

namespace {

constexpr size_t kMaxRunBytes = kMaxPendingRun + 1;
constexpr size_t kCodedBlock = 4096;

// Where a run of data[p] ends: up to `limit`, eight bytes at a time while
// they all match, so long empty stretches cost little.
size_t RunEnd(const uint8_t* data, size_t p, size_t limit) {
  const uint64_t pattern = data[p] * uint64_t{0x0101010101010101};
  size_t end = p + 1;
  for (uint64_t word; end + 8 <= limit; end += 8) {
    memcpy(&word, data + end, sizeof word);
    if (word != pattern) break;
  }
  while (end < limit && data[end] == data[p]) ++end;
  return end;
}

// Where raw bytes from p end: before the next pair of equal bytes, at most
// kMaxRawCount on.
size_t RawEnd(const uint8_t* data, size_t p, size_t length) {
  const size_t limit = std::min(length, p + kMaxRawCount);
  size_t end = p + 1;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // Eight bytes at a time, each beside its right neighbour: a zero byte of
  // their difference is a pair (the lowest one flagged is exact).
  constexpr uint64_t kOnes = 0x0101010101010101, kHighs = 0x8080808080808080;
  for (; end < limit && end + 9 <= length; end += 8) {
    uint64_t here, next;
    memcpy(&here, data + end, sizeof here);
    memcpy(&next, data + end + 1, sizeof next);
    const uint64_t difference = here ^ next;
    const uint64_t pairs = (difference - kOnes) & ~difference & kHighs;
    if (pairs != 0) return std::min(limit, end + static_cast<size_t>(__builtin_ctzll(pairs)) / 8);
  }
  if (end >= limit) return limit;
#endif
  while (end < limit && !(end + 1 < length && data[end] == data[end + 1])) ++end;
  return end;
}

}  // namespace

// Packets are coded into a small block, which is appended to `out` whenever
// it may not hold the next one.
void EncodePackedStream(const uint8_t* data, size_t length, std::vector<uint8_t>& out) {
  uint8_t block[kCodedBlock + 1 + kMaxRawCount];
  uint8_t* coded = block;
  for (size_t p = 0; p < length;) {
    if (coded > block + kCodedBlock) {
      out.insert(out.end(), block, coded);
      coded = block;
    }
    if (p + 1 < length && data[p] == data[p + 1]) {
      const size_t end = RunEnd(data, p, std::min(length, p + kMaxRunBytes));
      *coded++ = static_cast<uint8_t>(0x80 + end - p - 1);
      *coded++ = data[p];
      p = end;
      continue;
    }
    const size_t end = RawEnd(data, p, length);
    *coded++ = static_cast<uint8_t>(end - p - 1);
    memcpy(coded, data + p, end - p);
    coded += end - p;
    p = end;
  }
  out.insert(out.end(), block, coded);
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
    coded.reserve(4 + stream.size());  // most streams code shorter: no copy as it grows
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
