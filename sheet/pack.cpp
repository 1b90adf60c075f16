#include "sheet.h"

#include <new>

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
        for (int x = 0; x < cellSize; ++x)
          if (IsInk(row[x])) out[x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
        out += rowBytes;
      }
    }
  }
  return true;
}
