#include "sheet.h"

#include <cstring>
#include <new>

bool CreateGlyphSheet(GlyphSheet& sheet, int cellSize) {
  if (cellSize < 1 || cellSize > MaxCellSize) return false;
  int32_t width = SheetColumns * cellSize;
  int32_t height = SheetRows * cellSize;
  std::vector<SheetPixel> pixels;
  try {
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height), SheetPixel{0, 0, 0, 0});
  } catch (const std::bad_alloc&) {  // the one place the sheet's memory may run out
    return false;
  }
  sheet.width = width;
  sheet.height = height;
  sheet.pixels.swap(pixels);
  return true;
}

SDL_Surface* RenderGlyphSlot(const FontSet& font, int slot) {
  const int32_t* rows = font.glyphs[slot];
  if (rows == nullptr) return nullptr;
  const int s = font.size;
  SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, s, s, 32, 0, 0, 0, 0);
  if (surface == nullptr) return nullptr;
  const Uint32 white = SDL_MapRGB(surface->format, 255, 255, 255);
  const Uint32 black = SDL_MapRGB(surface->format, 0, 0, 0);
  SDL_FillRect(surface, nullptr, white);
  for (int i = 0; i < s; ++i) {
    Uint32* line = reinterpret_cast<Uint32*>(static_cast<uint8_t*>(surface->pixels) + i * surface->pitch);
    const uint32_t row = static_cast<uint32_t>(rows[i]);
    for (int j = 0; j < s; ++j)
      if ((row >> (s - 1 - j)) & 1u) line[j] = black;
  }
  return surface;
}

static uint8_t Channel(Uint32 pixel, Uint32 mask, Uint8 shift, Uint8 loss) {
  return static_cast<uint8_t>(((pixel & mask) >> shift) << loss);
}

void CopyToSheetCell(GlyphSheet& sheet, const SDL_Surface* surface, int cellSize, int slot) {
  const SDL_PixelFormat* f = surface->format;
  const int x0 = (slot % SheetColumns) * cellSize;
  const int y0 = (slot / SheetColumns) * cellSize;
  // Glyph surfaces hold two colours; convert each distinct value only once.
  Uint32 lastValue = 0;
  SheetPixel lastPixel{Channel(0, f->Rmask, f->Rshift, f->Rloss),
                       Channel(0, f->Gmask, f->Gshift, f->Gloss),
                       Channel(0, f->Bmask, f->Bshift, f->Bloss), 255};
  for (int y = 0; y < cellSize; ++y) {
    const Uint32* line = reinterpret_cast<const Uint32*>(
        static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch);
    SheetPixel* out = &sheet.pixels[static_cast<size_t>(y0 + y) * static_cast<size_t>(sheet.width) +
                                    static_cast<size_t>(x0)];
    for (int x = 0; x < cellSize; ++x) {
      if (line[x] != lastValue) {
        lastValue = line[x];
        lastPixel = SheetPixel{Channel(lastValue, f->Rmask, f->Rshift, f->Rloss),
                               Channel(lastValue, f->Gmask, f->Gshift, f->Gloss),
                               Channel(lastValue, f->Bmask, f->Bshift, f->Bloss), 255};
      }
      out[x] = lastPixel;
    }
  }
}
