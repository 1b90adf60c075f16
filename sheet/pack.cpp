// SPDX-License-Identifier: MIT
// The sheet's cells into the packed glyph file's one-bit stream; the stream's
// layout belongs to qpk.
#include "qpk.h"
#include "sheet.h"

#include <cstring>

static_assert(sizeof(SheetPixel) == 4, "a sheet pixel compares as one 4-byte word");

bool PackGlyphSheet(PackedGlyphs& packed, const GlyphSheet& sheet, int cellSize) {
  if (sheet.pixels.empty() || sheet.width < 0 || sheet.height < 0 ||
      sheet.pixels.size() != static_cast<size_t>(sheet.width) * static_cast<size_t>(sheet.height))
    return false;
  constexpr SheetPixel kInk{0, 0, 0, 255};
  PackedCellPicture picture{sheet.pixels.data(), static_cast<size_t>(sheet.width),
                            static_cast<size_t>(sheet.height), SheetColumns, 0};
  memcpy(&picture.ink, &kInk, sizeof picture.ink);
  const bool known = sheet.filledCells.size() == static_cast<size_t>(SheetColumns) * SheetRows;
  if (!PackCellPicture(picture, cellSize, known ? sheet.filledCells.data() : nullptr, packed.bytes))
    return false;
  packed.cellSize = cellSize;
  return true;
}
