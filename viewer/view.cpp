// SPDX-License-Identifier: MIT
// What the viewer shows of a font set: counts per range, ink masks of the
// sheet, of a glyph and of a text, and text art.
#include "kanji.h"
#include "sheet.h"
#include "viewer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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

int SlotOfGlyphArgument(const char* argument) {
  errno = 0;
  char* end = nullptr;
  const long code = strtol(argument, &end, 0);
  if (errno == 0 && end != argument && *end == '\0') return SlotOfCode(code);
  int length = 0;
  const int codePoint = Kanji_DecodeUtf8(argument, &length);
  if (codePoint < 0 || argument[length] != '\0') return -1;
  const int jis = Kanji_UnicodeToJis(codePoint);
  return jis < 0 ? -1 : SlotOfCode(jis);
}

std::string Utf8Of(int codePoint) {
  const auto byte = [](int value) { return static_cast<char>(value); };
  if (codePoint < 0 || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
    return {};
  if (codePoint < 0x80) return {byte(codePoint)};
  if (codePoint < 0x800) return {byte(0xC0 | codePoint >> 6), byte(0x80 | (codePoint & 0x3F))};
  if (codePoint < 0x10000)
    return {byte(0xE0 | codePoint >> 12), byte(0x80 | (codePoint >> 6 & 0x3F)),
            byte(0x80 | (codePoint & 0x3F))};
  return {byte(0xF0 | codePoint >> 18), byte(0x80 | (codePoint >> 12 & 0x3F)),
          byte(0x80 | (codePoint >> 6 & 0x3F)), byte(0x80 | (codePoint & 0x3F))};
}

int PrintMissing(const FontSet& font, FILE* out) {
  int missing = 0;
  for (int first = 0x21; first <= 0x7E; ++first) {
    std::string line;
    for (int second = 0x21; second <= 0x7E; ++second) {
      const int jis = first << 8 | second;
      if (jis == 0x2121 || Kanji_JisCodeKind(jis) != JisCodeX0208 ||
          Kanji_HasCharacter(&font, Kanji_TwoByteSlot(first, second)))
        continue;
      line += Utf8Of(Kanji_JisToUnicode(jis));
      ++missing;
    }
    if (!line.empty()) fprintf(out, "%d: %s\n", first - 0x20, line.c_str());
  }
  fprintf(out, "%d JIS X 0208 characters have no glyph\n", missing);
  return missing;
}

int ReportUndrawn(const FontSet& font, const char* text, FILE* out) {
  constexpr int kNamed = 20;
  int codes[kNamed];
  const int missing = Kanji_MissingCharacters(&font, text, codes, kNamed);
  if (missing == 0) return 0;
  std::string names;
  for (int i = 0; i < std::min(missing, kNamed); ++i) {
    char code[16];
    snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(codes[i]));
    names += i == 0 ? " " : ", ";
    names += codes[i] < 0 ? std::string("an invalid byte") : Utf8Of(codes[i]) + " " + code;
  }
  fprintf(out, "tavrest-view: %d character%s without a glyph:%s%s\n", missing,
          missing == 1 ? "" : "s", names.c_str(), missing > kNamed ? ", ..." : "");
  return missing;
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

void PrintArt(const InkMask& mask, int scale, FILE* out) {
  const size_t width = static_cast<size_t>(mask.width) * static_cast<size_t>(scale);
  std::vector<char> line(width + 1, '\n');
  for (int y = 0; y < mask.height; ++y) {
    const uint8_t* ink = &mask.ink[static_cast<size_t>(y) * static_cast<size_t>(mask.width)];
    for (size_t x = 0; x < width; ++x) line[x] = ink[x / static_cast<size_t>(scale)] ? '#' : '.';
    for (int copy = 0; copy < scale; ++copy) fwrite(line.data(), 1, line.size(), out);
  }
}
