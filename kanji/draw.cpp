#include "kanji.h"

void Kanji_PlotPixel(SDL_Surface*, int, int, Uint32) {}
int Kanji_DrawText(const FontSet*, int, int, SDL_Surface*, const char*, SDL_Color) { return 0; }
int Kanji_DrawTextVertical(const FontSet*, int, int, SDL_Surface*, const char*, SDL_Color) {
  return 0;
}
SDL_Surface* Kanji_RenderText(const FontSet*, const char*, SDL_Color, int) { return nullptr; }
SDL_Surface* Kanji_RenderTextVertical(const FontSet*, const char*, SDL_Color, int) {
  return nullptr;
}
