// A font set filled from a packed glyph file instead of BDF fonts.
#include "kanji.h"
#include "qpk.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

static_assert(PackedSlotCount == GlyphSlotCount && PackedMaxCellSize == MaxCellSize,
              "the packed file's table is the font set's table");

FontSet* Kanji_CreateFontSetFromPacked(const char* path) {
  int32_t size = 0;
  std::vector<uint8_t> stream;
  const PackedRefusal reason = DecodePackedGlyphPath(path, size, stream);
  if (reason != PackedRefusal::None) {
    const int saved = errno;
    if (reason == PackedRefusal::CannotOpen || reason == PackedRefusal::ReadFailed)
      fprintf(stderr, "%s: %s (%s)\n", path, PackedRefusalText(reason), strerror(saved));
    else
      fprintf(stderr, "%s: %s\n", path, PackedRefusalText(reason));
    errno = saved;
    return nullptr;
  }
  FontSet* font = Kanji_CreateEmptyFontSet(size);
  if (font == nullptr) {
    fprintf(stderr, "%s: %s\n", path, PackedRefusalText(PackedRefusal::NoMemory));
    return nullptr;
  }
  PlacePackedGlyphs(stream.data(), size, font->rowPool, font->glyphs);
  return font;
}
