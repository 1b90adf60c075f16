// SPDX-License-Identifier: MIT
// Glyph sheet: one RGBA image with a square cell for every glyph slot, and
// its packing into one-bit rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

// The sheet knows fonts and SDL surfaces only by name, so that code using
// sheets (the file formats) builds without the font library or SDL.
struct FontSet;
struct SDL_Surface;

constexpr int SheetColumns = 64;
constexpr int SheetRows = 148;  // one cell per glyph slot (checked where the slots are known)

struct SheetPixel {
  uint8_t r;
  uint8_t g;
  uint8_t b;
  uint8_t a;
  bool operator==(const SheetPixel&) const = default;
};

// A sheet's pixel storage. It starts zeroed without being written (fresh
// pages from the system), so a new sheet costs nothing until its pixels are
// touched, and empty cells that are only read never take memory. Pixels made
// without a value keep what the storage holds: zeros in new storage, but old
// pixels where a vector shrinks and grows again in place. So a sheet's
// pixels are sized only by ResizeSheetPixels.
struct SheetPixelAllocator {
  using value_type = SheetPixel;
  template <class U>
  struct rebind {  // a vector asks for its own element type only
    using other = SheetPixelAllocator;
  };
  // Throws std::bad_alloc when there is no memory.
  SheetPixel* allocate(size_t count);
  void deallocate(SheetPixel* storage, size_t count);
  void construct(SheetPixel*) noexcept {}
  template <class... Args>
  void construct(SheetPixel* p, Args&&... args) {
    ::new (static_cast<void*>(p)) SheetPixel(std::forward<Args>(args)...);
  }
  bool operator==(const SheetPixelAllocator&) const = default;
};
using SheetPixels = std::vector<SheetPixel, SheetPixelAllocator>;

// Gives `pixels` fresh storage of `count` zero pixels, whatever it held
// before, without writing the new storage. False, with `pixels` unchanged,
// when memory runs out.
bool ResizeSheetPixels(SheetPixels& pixels, size_t count);

// Pixel (x, y) is pixels[y * width + x]; rows top-down.
struct GlyphSheet {
  int32_t width;
  int32_t height;
  SheetPixels pixels;
  // Which cells are filled, when the sheet's maker keeps count: one entry
  // per slot, set by CopyToSheetCell, so that packing and the TGA writer skip
  // rows of empty cells without reading them. A cell whose entry is 0 holds
  // only zero pixels. Empty, as every sheet starts and as the readers leave
  // it: not known, and every cell is read. TrackFilledCells starts the count.
  std::vector<uint8_t> filledCells = {};
};

// One bit per sheet pixel, cells in slot order, each cell's rows bottom-up,
// every row starting a new byte, first pixel in the top bit.
struct PackedGlyphs {
  int32_t cellSize;
  std::vector<uint8_t> bytes;
};

// Starts counting the filled cells of a sheet CreateGlyphSheet has just
// made, whose pixels are all zero; false, counting nothing, when memory runs
// out.
bool TrackFilledCells(GlyphSheet& sheet);
// True when the sheet knows that no cell of cell row `band` is filled.
bool CellRowKnownEmpty(const GlyphSheet& sheet, int band);

// Sizes the sheet for cells of cellSize (1 to the font library's MaxCellSize,
// 32), all pixels zero.
// False, with the sheet unchanged, for a bad size or when memory runs out.
bool CreateGlyphSheet(GlyphSheet& sheet, int cellSize);

// Black-on-white size x size surface of the slot, owned by the caller; null
// for an empty slot, or when SDL cannot create the surface.
SDL_Surface* RenderGlyphSlot(const FontSet& font, int slot);
// The same in steps, for a caller that draws every glyph into one surface:
// a size x size 32-bit surface, owned by the caller (null when SDL cannot
// make one), and the slot's glyph drawn into it, every pixel written. False,
// with the surface untouched, for an empty slot or a surface of another
// size or depth.
SDL_Surface* CreateGlyphSurface(const FontSet& font);
bool RenderGlyphInto(const FontSet& font, int slot, SDL_Surface* surface);
// Copies a rendered glyph into the slot's cell, reading the surface's own
// pixel format, of any depth from 1 to 32 bits; alpha is always 255. False,
// with the sheet unchanged, for a null surface or one smaller than the cell,
// a slot outside 0 to 9471, or a cell size the sheet was not made for.
bool CopyToSheetCell(GlyphSheet& sheet, const SDL_Surface* surface, int cellSize, int slot);

// Packs the sheet's 9472 cells into `packed`: its stream is replaced and its
// cellSize set. False, with `packed` unchanged, for an empty sheet, a cell
// size outside 1 to 32, a sheet too small for cells of that size or whose
// pixels do not match its size, or when memory runs out.
bool PackGlyphSheet(PackedGlyphs& packed, const GlyphSheet& sheet, int cellSize);

// Ink is opaque black; everything else packs as 0.
inline bool IsInk(SheetPixel p) { return p.r == 0 && p.g == 0 && p.b == 0 && p.a == 255; }
