// SPDX-License-Identifier: MIT
// Any text drawn with a real font, in each encoding (UTF-8 too), horizontally
// and vertically, at any pen, on small surfaces of each depth (1- and 4-bit
// ones pack their rows); a rendered text is as long as its width, and the
// characters without a glyph are counted alike however many are asked for.
#include "kanji.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const FontSet* RealFont() {
  static FontSet* font = [] {
    FontSet* loaded = Kanji_CreateFontSet(TAVREST_FONT_DIR "/jiskan16.bdf", 16);
    if (loaded == nullptr) {
      fprintf(stderr, "fonts missing: run tests/support/make_fonts.sh %s\n", TAVREST_FONT_DIR);
      abort();
    }
    Kanji_LoadBdf(loaded, TAVREST_FONT_DIR "/8x16rk.bdf");
    return loaded;
  }();
  return font;
}

int Pen(uint8_t byte) { return static_cast<int8_t>(byte) * 2; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  static const int kDepths[] = {1, 2, 4, 8, 15, 16, 24, 32};
  FontSet font = *RealFont();  // a copy, so the encoding is this input's own
  const uint8_t mode = data[0];
  Kanji_SetEncoding(&font, mode % 4);
  const bool vertical = mode & 4;
  const int depth = kDepths[(mode >> 3) & 7];
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);  // ends at a zero byte
  const SDL_Color colour{static_cast<Uint8>(mode), 0x80, 0x10, 0};

  SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, 40, 24, depth, 0, 0, 0, 0);
  if (surface == nullptr) abort();
  if (vertical)
    Kanji_DrawTextVertical(&font, Pen(data[1]), Pen(data[2]), surface, text.c_str(), colour);
  else
    Kanji_DrawText(&font, Pen(data[1]), Pen(data[2]), surface, text.c_str(), colour);
  SDL_FreeSurface(surface);

  // The characters without a glyph: the same count whatever room is given,
  // never more than the text has bytes, and only `room` of them written.
  int codes[5] = {0, 0, 0, 0, 0x7FFFFFFF};
  const int missing = Kanji_MissingCharacters(&font, text.c_str(), codes, 4);
  if (missing != Kanji_MissingCharacters(&font, text.c_str(), nullptr, 0) || missing < 0 ||
      static_cast<size_t>(missing) > strlen(text.c_str()) || codes[4] != 0x7FFFFFFF)
    abort();

  if (mode & 0x40) {
    SDL_Surface* rendered = vertical ? Kanji_RenderTextVertical(&font, text.c_str(), colour, depth)
                                     : Kanji_RenderText(&font, text.c_str(), colour, depth);
    if (rendered != nullptr &&
        (vertical ? rendered->h : rendered->w) != Kanji_TextWidth(&font, text.c_str()))
      abort();
    SDL_FreeSurface(rendered);
  }
  return 0;
}
