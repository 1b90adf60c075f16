// SPDX-License-Identifier: MIT
// tavrest-view: looks into a packed glyph file, or into a font as tavrest
// would convert it: counts, the sheet or a text as PNG, one glyph as text art.
#pragma once

#include "kanji.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One byte per pixel, 1 for ink; rows top first.
struct InkMask {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> ink;
};

// What to look at: a .qpk file, or a font (and a second one) converted at
// `size`, 0 for the font's own size.
struct ViewSource {
  const char* file = nullptr;
  const char* second = nullptr;
  int size = 0;
  // --baseline, --face, --render, --no-condense
  FontLoadOptions options = {}, secondOptions = {};
};

// --faces: a font's faces, a line each: index, family and style, between
// tabs. 0, or 1 after the reason on standard error.
int PrintFaces(const char* path, FILE* out);

// The font set to look at, owned by the caller; null with the exit status
// (1, or 2 for a usage error) and the reason when there is none.
struct Viewed {
  FontSet* font = nullptr;
  int status = 0;
  std::string problem;
};

// A file whose first 4 bytes give a cell size from 1 to 32 is read as a
// .qpk (pipes too); any other regular file as a font, converted in memory as
// tavrest converts it (sheet, packing, coding) and read back from those bytes.
Viewed OpenViewed(const ViewSource& source);

// Slots with a glyph, per range of the table.
struct GlyphCounts {
  int total = 0;
  int singleByte = 0;   // slots 0 to 255
  int symbols = 0;      // JIS rows 1 to 8
  int firstLevel = 0;   // JIS rows 16 to 47
  int secondLevel = 0;  // JIS rows 48 to 84
  int other = 0;
};

GlyphCounts CountGlyphs(const FontSet& font);
void PrintCounts(const FontSet& font, const GlyphCounts& counts, FILE* out);

// The slot of a single-byte code (below 0x100) or of a JIS code (both bytes
// 0x21 to 0x7E); -1 for anything else.
int SlotOfCode(long code);

// The slot --glyph names: a single-byte or JIS code as SlotOfCode takes it
// ("0x467C"), or one UTF-8 character placed as text drawing places it ("日");
// -1 for anything else.
int SlotOfGlyphArgument(const char* argument);
// A code point as UTF-8; nothing for an invalid one.
std::string Utf8Of(int codePoint);

// --missing: the JIS X 0208 characters without a glyph, a line per JIS row
// that lacks any ("2: ◇◆"), then their count. The ideographic space (0x2121)
// has no ink by nature and is not listed. Returns the count.
int PrintMissing(const FontSet& font, FILE* out);
// The characters of a UTF-8 text that have no glyph: one line with their
// count and the first 20, nothing when there are none. Returns the count.
int ReportUndrawn(const FontSet& font, const char* text, FILE* out);

// The whole glyph sheet, 64 cells across, as the converter lays it out.
bool SheetMask(const FontSet& font, InkMask& mask);
// One glyph as the library draws it: half a cell wide for single-byte slots.
bool GlyphMask(const FontSet& font, int slot, InkMask& mask);
// A text drawn by the font library; false when it cannot be drawn.
bool TextMask(const FontSet& font, const char* text, bool vertical, InkMask& mask);
// '#' for ink, '.' for none, each pixel `scale` characters wide and `scale`
// lines high.
void PrintArt(const InkMask& mask, int scale, FILE* out);

constexpr int MaxScale = 16;

// Black ink over a transparent (or white) background, each pixel a square of
// `scale` pixels, written whole or not at all; false with errno set when the
// file cannot be written.
bool WriteInkPng(const InkMask& mask, bool whiteBackground, int scale, const char* path);
