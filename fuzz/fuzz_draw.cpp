// Any text drawn with a real font, in each encoding, horizontally and
// vertically, at any pen, on small surfaces of each depth.
#include "kanji.h"

#include <cstdio>
#include <cstdlib>
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
  static const int kDepths[] = {8, 16, 24, 32};
  FontSet font = *RealFont();  // a copy, so the encoding is this input's own
  const uint8_t mode = data[0];
  Kanji_SetEncoding(&font, mode % 3);
  const bool vertical = mode & 4;
  const int depth = kDepths[(mode >> 3) & 3];
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);  // ends at a zero byte
  const SDL_Color colour{static_cast<Uint8>(mode), 0x80, 0x10, 0};

  SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, 40, 24, depth, 0, 0, 0, 0);
  if (surface == nullptr) abort();
  if (vertical)
    Kanji_DrawTextVertical(&font, Pen(data[1]), Pen(data[2]), surface, text.c_str(), colour);
  else
    Kanji_DrawText(&font, Pen(data[1]), Pen(data[2]), surface, text.c_str(), colour);
  SDL_FreeSurface(surface);

  if (mode & 0x40) {
    SDL_Surface* rendered = vertical ? Kanji_RenderTextVertical(&font, text.c_str(), colour, depth)
                                     : Kanji_RenderText(&font, text.c_str(), colour, depth);
    if (rendered != nullptr) SDL_FreeSurface(rendered);
  }
  return 0;
}
