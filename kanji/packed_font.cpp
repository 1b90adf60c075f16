// A font set filled from a packed glyph file instead of BDF fonts.
#include "kanji_internal.h"
#include "qpk.h"

#include <cerrno>
#include <cstdio>

static_assert(PackedSlotCount == GlyphSlotCount && PackedMaxCellSize == MaxCellSize,
              "the packed file's table is the font set's table");

namespace {

// The decoder's result as a font set; null after recording why.
FontSet* FontSetFromDecoded(PackedRefusal reason, int32_t size, const std::vector<uint8_t>& cells,
                            const char* name) {
  if (reason != PackedRefusal::None) {
    Kanji_SetError("%s", PackedRefusalMessage(name, reason, errno).c_str());
    return nullptr;
  }
  FontSet* font = Kanji_CreateEmptyFontSet(size);
  if (font == nullptr) {
    Kanji_SetError("%s", PackedRefusalMessage(name, PackedRefusal::NoMemory, ENOMEM).c_str());
    return nullptr;
  }
  PlacePackedGlyphs(cells.data(), size, font->rowPool, font->glyphs);
  return font;
}

}  // namespace

FontSet* Kanji_CreateFontSetFromPacked(const char* path) {
  int32_t size = 0;
  std::vector<uint8_t> cells;
  const PackedRefusal reason = DecodePackedGlyphPath(path, size, cells);
  return FontSetFromDecoded(reason, size, cells, path);
}

FontSet* Kanji_CreateFontSetFromPackedStream(FILE* stream, const char* name) {
  int32_t size = 0;
  std::vector<uint8_t> cells;
  const PackedRefusal reason = DecodePackedGlyphStream(stream, size, cells);
  return FontSetFromDecoded(reason, size, cells, name);
}
