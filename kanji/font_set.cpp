// SPDX-License-Identifier: MIT
#include "kanji_internal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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

int Kanji_CellSize(const FontSet* font) { return font != nullptr ? font->size : 0; }

void Kanji_SetEncoding(FontSet* font, int value) {
  if (font != nullptr) font->encoding = value;
}

// Wider than int, so that any pair of ints gives a slot (outside the table,
// saturated) instead of overflowing.
int Kanji_TwoByteSlot(int first, int second) {
  const int64_t slot = int64_t{first} * 96 + second - 2849;
  return static_cast<int>(std::clamp<int64_t>(slot, INT_MIN, INT_MAX));
}

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
  return font != nullptr && slot >= 0 && slot < GlyphSlotCount ? font->glyphs[slot] : nullptr;
}

// The space characters have no ink by nature: a glyph is all they need.
int Kanji_HasCharacter(const FontSet* font, int slot) {
  const int32_t* rows = Kanji_GlyphRows(font, slot);
  if (rows == nullptr) return 0;
  if (slot == ' ' || slot == Kanji_TwoByteSlot(0x21, 0x21) || slot == Kanji_TwoByteSlot(0x29, 0x22))
    return 1;
  return std::any_of(rows, rows + font->size, [](int32_t row) { return row != 0; });
}

int Kanji_RenderingNamed(const char* name) {
  constexpr const char* kNames[] = {"mono", "autohint", "threshold"};  // OutlineRendering order
  for (int i = 0; name != nullptr && i < 3; ++i)
    if (strcmp(name, kNames[i]) == 0) return i;
  return -1;
}
