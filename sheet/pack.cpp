#include "sheet.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
#include <emmintrin.h>
#endif

namespace {
constexpr SheetPixel kInk{0, 0, 0, 255};

// kReversed[b] is b with its eight bits in the opposite order.
constexpr auto kReversed = [] {
  std::array<uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b)
    for (int k = 0; k < 8; ++k)
      if (b & (1 << k)) table[b] |= static_cast<uint8_t>(0x80 >> k);
  return table;
}();

// Eight pixels to a byte, first pixel in the top bit; a pixel compares whole.
void PackRow(const SheetPixel* row, int count, uint8_t* out) {
  uint32_t ink;
  memcpy(&ink, &kInk, sizeof ink);
  int x = 0;
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
  const __m128i inkLanes = _mm_set1_epi32(static_cast<int>(ink));
  for (; x + 8 <= count; x += 8) {
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + 4));
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
      memcpy(&word, row + k, sizeof word);
      bits = bits << 1 | (word == ink);
    }
    *out++ = static_cast<uint8_t>(bits << (8 - (end - x)));
  }
}

}  // namespace

bool PackGlyphSheet(PackedGlyphs& packed, const GlyphSheet& sheet, int cellSize) {
  if (sheet.pixels.empty() || cellSize < 1) return false;
  const size_t rowBytes = (static_cast<size_t>(cellSize) + 7) / 8;
  const int cellsAcross = sheet.width / cellSize;
  const int cellsDown = sheet.height / cellSize;
  const size_t streamLength =
      static_cast<size_t>(cellsAcross) * static_cast<size_t>(cellsDown) * cellSize * rowBytes;
  const size_t start = packed.bytes.size();
  try {
    packed.bytes.resize(start + streamLength, 0);
  } catch (const std::bad_alloc&) {  // the stream's one allocation
    return false;
  }
  packed.cellSize = cellSize;
  uint8_t* out = packed.bytes.data() + start;
  for (int r = 0; r < cellsDown; ++r) {
    for (int c = 0; c < cellsAcross; ++c) {
      for (int y = cellSize - 1; y >= 0; --y) {
        const SheetPixel* row = &sheet.pixels[static_cast<size_t>(r * cellSize + y) * sheet.width +
                                              static_cast<size_t>(c) * cellSize];
        PackRow(row, cellSize, out);
        out += rowBytes;
      }
    }
  }
  return true;
}
