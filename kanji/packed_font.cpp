// SPDX-License-Identifier: MIT
// A font set filled from a packed glyph file instead of BDF fonts.
#include "kanji_internal.h"
#include "qpk.h"

#include <cerrno>
#include <cstdio>
#include <new>

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

// No exception leaves the library: running out of memory is a refusal.
FontSet* Kanji_CreateFontSetFromPacked(const char* path) {
  if (path == nullptr) {
    Kanji_SetError("no path to read");
    return nullptr;
  }
  try {
    int32_t size = 0;
    std::vector<uint8_t> cells;
    const PackedRefusal reason = DecodePackedGlyphPath(path, size, cells);
    return FontSetFromDecoded(reason, size, cells, path);
  } catch (const std::bad_alloc&) {
    Kanji_SetError("%s: not enough memory to read it", path);  // no string made here
    return nullptr;
  }
}

FontSet* Kanji_CreateFontSetFromPackedStream(FILE* stream, const char* name) {
  if (stream == nullptr || name == nullptr) {
    Kanji_SetError("no stream to read, or no name for it");
    return nullptr;
  }
  try {
    int32_t size = 0;
    std::vector<uint8_t> cells;
    const PackedRefusal reason = DecodePackedGlyphStream(stream, size, cells);
    return FontSetFromDecoded(reason, size, cells, name);
  } catch (const std::bad_alloc&) {
    Kanji_SetError("%s: not enough memory to read it", name);
    return nullptr;
  }
}
