#include "kanji_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

FontSet* Kanji_CreateEmptyFontSet(int size) {
  if (size < 1 || size > MaxCellSize) {
    Kanji_SetError("the cell size %d is outside 1 to %d", size, MaxCellSize);
    return nullptr;
  }
  FontSet* font = static_cast<FontSet*>(malloc(sizeof(FontSet)));
  if (font == nullptr) {
    errno = ENOMEM;
    Kanji_SetError("not enough memory for a font set of size %d", size);
    return nullptr;
  }
  font->rowPool =
      static_cast<int32_t*>(calloc(static_cast<size_t>(GlyphSlotCount) * size, sizeof(int32_t)));
  if (font->rowPool == nullptr) {
    free(font);
    errno = ENOMEM;
    Kanji_SetError("not enough memory for a font set of size %d", size);
    return nullptr;
  }
  font->size = size;
  font->halfWidth = size / 2;
  font->encoding = EncodingJis;
  Kanji_ClearGlyphs(font);
  return font;
}

FontSet* Kanji_CreateFontSet(const char* path, int size) {
  FontSet* font = Kanji_CreateEmptyFontSet(size);
  if (font == nullptr) return nullptr;
  if (Kanji_LoadBdf(font, path) != 0) {
    Kanji_DestroyFontSet(font);
    return nullptr;
  }
  return font;
}

void Kanji_DestroyFontSet(FontSet* font) {
  if (font == nullptr) return;
  free(font->rowPool);
  free(font);
}

void Kanji_ClearGlyphs(FontSet* font) {
  for (int32_t*& rows : font->glyphs) rows = nullptr;
}

void Kanji_FillFallbackSlot(FontSet* font, int codePoint, int slot) {
  const int jis = Kanji_UnicodeFallbackJis(codePoint);
  if (jis < 0 || font->glyphs[slot] == nullptr) return;
  const int fallback = Kanji_JisCodeSlot(jis);
  if (font->glyphs[fallback] != nullptr) return;
  int32_t* rows = font->rowPool + static_cast<size_t>(fallback) * static_cast<size_t>(font->size);
  std::copy(font->glyphs[slot], font->glyphs[slot] + font->size, rows);
  font->glyphs[fallback] = rows;
}

int Kanji_CellSize(const FontSet* font) { return font->size; }

void Kanji_SetEncoding(FontSet* font, int value) { font->encoding = value; }

int Kanji_TwoByteSlot(int first, int second) { return first * 96 + second - 2849; }

int Kanji_SlotJisCode(int slot) {
  if (slot < 0 || slot >= GlyphSlotCount) return -1;
  if (slot < 256) return slot;
  constexpr int kBlock = 96;  // a JIS row's slots: second bytes 0x20 to 0x7F
  const int fromBlocks = slot - Kanji_TwoByteSlot(0, 0x20);
  const int first = fromBlocks / kBlock;
  const int second = 0x20 + fromBlocks % kBlock;
  if (first < 0x21 || first > 0x7E || second < 0x21 || second > 0x7E) return -1;
  return first << 8 | second;
}

const int32_t* Kanji_GlyphRows(const FontSet* font, int slot) {
  return slot >= 0 && slot < GlyphSlotCount ? font->glyphs[slot] : nullptr;
}

// The space characters have no ink by nature: a glyph is all they need.
int Kanji_HasCharacter(const FontSet* font, int slot) {
  const int32_t* rows = Kanji_GlyphRows(font, slot);
  if (rows == nullptr) return 0;
  if (slot == ' ' || slot == Kanji_TwoByteSlot(0x21, 0x21) || slot == Kanji_TwoByteSlot(0x29, 0x22))
    return 1;
  return std::any_of(rows, rows + font->size, [](int32_t row) { return row != 0; });
}
