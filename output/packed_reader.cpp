// SPDX-License-Identifier: MIT
// Packed glyph file reading: the shared decoder, into the output layer's record.
#include "output.h"

bool ReadPackedGlyphs(PackedGlyphs& packed, const char* path, PackedRefusal& reason) {
  reason = DecodePackedGlyphPath(path, packed.cellSize, packed.bytes);
  return reason == PackedRefusal::None;
}

bool ReadPackedGlyphs(PackedGlyphs& packed, const char* path) {
  PackedRefusal reason;
  return ReadPackedGlyphs(packed, path, reason);
}
