// SPDX-License-Identifier: MIT
// A font file of any content down FreeType's paths: the first byte picks the
// cell size and the format the rest is given as (PCF, TrueType, OpenType, a
// collection, or gzip of any of them), so that mutations stay on those paths.
// Loading must stay in bounds, leak nothing, fill only slots it reports, and
// the font's own size must be found or refused without harm.
#include "fuzz_support.h"
#include "kanji.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {
constexpr int kSizes[] = {8, 12, 16, 24};
constexpr const char* kMagic[] = {"\1fcp", "\0\1\0\0", "OTTO", "ttcf", ""};

void CheckReport(const FontSet& font, const FontLoadReport& report) {
  if (report.glyphsCut < 0 || report.glyphsCut > report.glyphsLoaded) abort();
  int filled = 0;
  for (const int32_t* rows : font.glyphs) filled += rows != nullptr;
  if (filled != report.glyphsLoaded) abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int size_index = data[0] & 3;
  const int magic_index = (data[0] >> 2) % 5;
  const size_t magicLength = magic_index == 1 ? 4 : strlen(kMagic[magic_index]);
  std::string content(kMagic[magic_index], magicLength);
  // The fifth choice adds nothing: gzip data, or a font with its own magic.
  content.append(reinterpret_cast<const char*>(data + 1), size - 1);
  const char* path = InputAsFile(reinterpret_cast<const uint8_t*>(content.data()), content.size());
  FontSet* font = Kanji_CreateEmptyFontSet(kSizes[size_index]);
  if (font == nullptr) abort();
  FontLoadReport report;
  Kanji_ClearError();
  if (Kanji_LoadBdfWithReport(font, path, &report) == 0) {
    CheckReport(*font, report);
  } else {
    for (const int32_t* rows : font->glyphs)
      if (rows != nullptr) abort();  // a refused font fills nothing
    if (Kanji_GetError()[0] == '\0') abort();
  }
  Kanji_DestroyFontSet(font);
  Kanji_FontPixelSize(path);
  return 0;
}
