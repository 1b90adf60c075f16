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
