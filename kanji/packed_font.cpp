// A font set filled from a packed glyph file instead of BDF fonts.
#include "kanji_internal.h"
#include "qpk.h"

#include <cerrno>
#include <cstdio>

static_assert(PackedSlotCount == GlyphSlotCount && PackedMaxCellSize == MaxCellSize,
              "the packed file's table is the font set's table");

FontSet* Kanji_CreateFontSetFromPacked(const char* path) {
  int32_t size = 0;
  std::vector<uint8_t> stream;
  const PackedRefusal reason = DecodePackedGlyphPath(path, size, stream);
  if (reason != PackedRefusal::None) {
    Kanji_SetError("%s", PackedRefusalMessage(path, reason, errno).c_str());
    return nullptr;
  }
  FontSet* font = Kanji_CreateEmptyFontSet(size);
  if (font == nullptr) {
    Kanji_SetError("%s", PackedRefusalMessage(path, PackedRefusal::NoMemory, ENOMEM).c_str());
    return nullptr;
  }
  PlacePackedGlyphs(stream.data(), size, font->rowPool, font->glyphs);
  return font;
}
