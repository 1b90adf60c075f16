// What the viewer shows of a font set: counts per range, ink masks of the
// sheet, of a glyph and of a text, and text art.
#include "kanji.h"
#include "sheet.h"
#include "viewer.h"

#include <new>

namespace {

// JIS row (1 to 94) of a slot with a JIS code; 0 for single-byte slots and
// the table's other cells.
int JisRowOfSlot(int slot) {
  const int code = Kanji_SlotJisCode(slot);
  return code < 0x100 ? 0 : (code >> 8) - 0x20;
}

bool SizeMask(InkMask& mask, int width, int height) {
  try {
    mask.ink.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  mask.width = width;
  mask.height = height;
  return true;
}

// Column j of a glyph `width` pixels wide is bit width - 1 - j, as drawn.
void PutGlyph(const int32_t* rows, int width, int height, int x0, int y0, InkMask& mask) {
  for (int i = 0; i < height; ++i) {
    uint8_t* line = &mask.ink[static_cast<size_t>(y0 + i) * static_cast<size_t>(mask.width) +
                              static_cast<size_t>(x0)];
    for (int j = 0; j < width; ++j)
      line[j] = (static_cast<uint32_t>(rows[i]) >> (width - 1 - j)) & 1u;
  }
}

}  // namespace

GlyphCounts CountGlyphs(const FontSet& font) {
  GlyphCounts counts;
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    if (Kanji_GlyphRows(&font, slot) == nullptr) continue;
    ++counts.total;
    const int row = JisRowOfSlot(slot);
    if (slot < 256)
      ++counts.singleByte;
    else if (row >= 1 && row <= 8)
      ++counts.symbols;
    else if (row >= 16 && row <= 47)
      ++counts.firstLevel;
    else if (row >= 48 && row <= 84)
      ++counts.secondLevel;
    else
      ++counts.other;
  }
  return counts;
}

void PrintCounts(const FontSet& font, const GlyphCounts& counts, FILE* out) {
  fprintf(out,
          "cell size: %d\n"
          "glyphs: %d\n"
          "single-byte: %d\n"
          "JIS rows 1-8: %d\n"
          "JIS rows 16-47: %d\n"
          "JIS rows 48-84: %d\n"
          "other: %d\n",
          font.size, counts.total, counts.singleByte, counts.symbols, counts.firstLevel,
          counts.secondLevel, counts.other);
}

int SlotOfCode(long code) {
  if (code >= 0 && code < 0x100) return static_cast<int>(code);
  const long first = code >> 8;
  const long second = code & 0xFF;
  if (code > 0xFFFF || first < 0x21 || first > 0x7E || second < 0x21 || second > 0x7E) return -1;
  return Kanji_TwoByteSlot(static_cast<int>(first), static_cast<int>(second));
}

bool SheetMask(const FontSet& font, InkMask& mask) {
  const int size = font.size;
  if (!SizeMask(mask, SheetColumns * size, SheetRows * size)) return false;
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    const int32_t* rows = Kanji_GlyphRows(&font, slot);
    if (rows == nullptr) continue;
    PutGlyph(rows, size, size, slot % SheetColumns * size, slot / SheetColumns * size, mask);
  }
  return true;
}

bool GlyphMask(const FontSet& font, int slot, InkMask& mask) {
  const int width = slot < 256 ? font.halfWidth : font.size;
  if (!SizeMask(mask, width, font.size)) return false;
  const int32_t* rows = Kanji_GlyphRows(&font, slot);
  if (rows != nullptr) PutGlyph(rows, width, font.size, 0, 0, mask);
  return true;
}

bool TextMask(const FontSet& font, const char* text, bool vertical, InkMask& mask) {
  const SDL_Color black{0, 0, 0, 0};
  SDL_Surface* surface = vertical ? Kanji_RenderTextVertical(&font, text, black, 32)
                                  : Kanji_RenderText(&font, text, black, 32);
  if (surface == nullptr) return false;
  // A surface that cannot be locked cannot be read: no mask rather than an empty one.
  const bool readable = SizeMask(mask, surface->w, surface->h) &&
                        (!SDL_MUSTLOCK(surface) || SDL_LockSurface(surface) == 0);
  if (readable) {
    const Uint32 background = surface->format->colorkey;  // the rendered text's key
    for (int y = 0; y < surface->h; ++y) {
      const auto* line = reinterpret_cast<const Uint32*>(
          static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch);
      for (int x = 0; x < surface->w; ++x)
        mask.ink[static_cast<size_t>(y) * static_cast<size_t>(surface->w) +
                 static_cast<size_t>(x)] = line[x] != background;
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  }
  SDL_FreeSurface(surface);
  return readable;
}

void PrintArt(const InkMask& mask, FILE* out) {
  std::vector<char> line(static_cast<size_t>(mask.width) + 1, '\n');
  for (int y = 0; y < mask.height; ++y) {
    for (int x = 0; x < mask.width; ++x)
      line[static_cast<size_t>(x)] =
          mask.ink[static_cast<size_t>(y) * static_cast<size_t>(mask.width) +
                   static_cast<size_t>(x)]
              ? '#'
              : '.';
    fwrite(line.data(), 1, line.size(), out);
  }
}
