// A BDF file of any content, at each cell size the program takes: loading
// must stay in bounds and every filled slot must hold rows of the set.
#include "fuzz_support.h"
#include "kanji.h"
#include "sheet.h"

#include <cstdlib>

namespace {
constexpr int kSizes[] = {1, 8, 16, 24, 32};

// One sheet per size, kept across inputs: they are large.
GlyphSheet& SheetFor(int index) {
  static GlyphSheet sheets[5];
  if (sheets[index].pixels.empty() && !CreateGlyphSheet(sheets[index], kSizes[index])) abort();
  return sheets[index];
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int index = data[0] % 5;
  const char* path = InputAsFile(data + 1, size - 1);
  FontSet* font = Kanji_CreateFontSet(path, kSizes[index]);
  if (font == nullptr) abort();  // the file exists and the size is valid
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
