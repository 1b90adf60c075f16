// SPDX-License-Identifier: MIT
// A BDF file of any content, at each cell size the program takes: loading
// must stay in bounds, every filled slot must hold rows of the set, and the
// load report must agree with what was placed, the cut glyphs it names too.
#include "fuzz_support.h"
#include "kanji.h"
#include "sheet.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr int kSizes[] = {1, 8, 16, 24, 32};

// One sheet per size, kept across inputs: they are large.
GlyphSheet& SheetFor(int index) {
  static GlyphSheet sheets[5];
  if (sheets[index].pixels.empty() && !CreateGlyphSheet(sheets[index], kSizes[index])) abort();
  return sheets[index];
}

void CheckReport(const FontSet& font, const FontLoadReport& report) {
  if (memchr(report.registry, '\0', sizeof report.registry) == nullptr) abort();
  if (memchr(report.propertiesRegistry, '\0', sizeof report.propertiesRegistry) == nullptr) abort();
  if (report.charset < CharsetJis || report.charset > CharsetRefused) abort();
  if (report.codesSkipped < 0 || report.glyphsCut < 0 || report.glyphsCut > report.glyphsLoaded)
    abort();
  int filled = 0;
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    if (font.glyphs[slot] == nullptr) continue;
    ++filled;
    if (report.charset == CharsetSingleByte && slot >= 128) abort();
  }
  if (filled != report.glyphsLoaded) abort();
  if (report.charset == CharsetRefused && filled != 0) abort();
  // The cut glyphs named are loaded glyphs.
  for (int i = 0; i < report.glyphsCut && i < ReportedCutGlyphs; ++i) {
    const int code = report.cutCodes[i];
    const int slot = code < 256 ? code : Kanji_TwoByteSlot(code >> 8, code & 0xFF);
    if (code < 0 || code > 0xFFFF || slot < 0 || slot >= GlyphSlotCount) abort();
    if (font.glyphs[slot] == nullptr) abort();
    if (report.cutCharacters[i] < -1 || report.cutCharacters[i] > 0x10FFFF) abort();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int index = data[0] % 5;
  const char* path = InputAsFile(data + 1, size - 1);
  FontSet* font = Kanji_CreateEmptyFontSet(kSizes[index]);
  FontLoadReport report;
  if (font == nullptr) abort();
  // The file exists and the size is valid, so only a refused format fails,
  // and it fills nothing.
  if (Kanji_LoadBdfWithReport(font, path, &report) != 0) {
    for (const int32_t* rows : font->glyphs)
      if (rows != nullptr) abort();
    Kanji_DestroyFontSet(font);
    return 0;
  }
  CheckReport(*font, report);
  int drawn = 0;
  for (int slot = 0; slot < GlyphSlotCount && drawn < 64; ++slot) {
    const int32_t* rows = font->glyphs[slot];
    if (rows == nullptr) continue;
    if (rows != font->rowPool + static_cast<size_t>(slot) * font->size) abort();
    SDL_Surface* surface = RenderGlyphSlot(*font, slot);
    if (surface == nullptr) abort();
    CopyToSheetCell(SheetFor(index), surface, font->size, slot);
    SDL_FreeSurface(surface);
    ++drawn;
  }
  Kanji_DestroyFontSet(font);
  return 0;
}
