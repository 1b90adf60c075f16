// Glyph sheet: one RGBA image with a square cell for every glyph slot, and
// its packing into one-bit rows.
#pragma once

#include "kanji.h"

#include <cstdint>
#include <vector>

constexpr int SheetColumns = 64;
constexpr int SheetRows = 148;  // SheetColumns * SheetRows == GlyphSlotCount

struct SheetPixel {
  uint8_t r;
  uint8_t g;
  uint8_t b;
  uint8_t a;
  bool operator==(const SheetPixel&) const = default;
};

// Pixel (x, y) is pixels[y * width + x]; rows top-down.
struct GlyphSheet {
  int32_t width;
  int32_t height;
  std::vector<SheetPixel> pixels;
};

// One bit per sheet pixel, cells in slot order, each cell's rows bottom-up,
// every row starting a new byte, first pixel in the top bit.
struct PackedGlyphs {
  int32_t cellSize;
  std::vector<uint8_t> bytes;
};

// Sizes the sheet for cells of cellSize (1 to MaxCellSize), all pixels zero.
// False, with the sheet unchanged, for a bad size or when memory runs out.
bool CreateGlyphSheet(GlyphSheet& sheet, int cellSize);

// Black-on-white size x size surface of the slot, owned by the caller; null
// for an empty slot, or when SDL cannot create the surface.
SDL_Surface* RenderGlyphSlot(const FontSet& font, int slot);
// Copies a rendered glyph into the slot's cell, reading the surface's own
// pixel format; alpha is always 255.
void CopyToSheetCell(GlyphSheet& sheet, const SDL_Surface* surface, int cellSize, int slot);

// Appends the packed stream of the sheet and sets cellSize. False, with
// `packed` unchanged, for an empty sheet, a cell size below 1, or when
// memory runs out.
bool PackGlyphSheet(PackedGlyphs& packed, const GlyphSheet& sheet, int cellSize);

// Ink is opaque black; everything else packs as 0.
inline bool IsInk(SheetPixel p) { return p.r == 0 && p.g == 0 && p.b == 0 && p.a == 255; }
