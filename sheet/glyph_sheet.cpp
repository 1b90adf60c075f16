// SPDX-License-Identifier: MIT
#include "sheet.h"

#include "kanji.h"
#include "platform.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
#include <emmintrin.h>
#endif
#include <new>

static_assert(SheetColumns * SheetRows == GlyphSlotCount, "a cell for every glyph slot");

namespace {
constexpr size_t kMappedFrom = size_t{1} << 20;  // smaller blocks come from calloc

// Zeroed storage; throws std::bad_alloc when there is none. Large blocks are
// mapped afresh, in ordinary pages: the pages of cells nobody writes (whole
// rows of them in most fonts) then never take memory.
void* AllocateZeroed(size_t bytes) {
  void* storage = bytes < kMappedFrom ? calloc(bytes, 1) : MapZeroed(bytes);
  if (storage == nullptr && bytes != 0) throw std::bad_alloc();
  return storage;
}

void FreeZeroed(void* storage, size_t bytes) {
  if (bytes < kMappedFrom) {
    free(storage);
  } else {
    UnmapZeroed(storage, bytes);
  }
}

}  // namespace

SheetPixel* SheetPixelAllocator::allocate(size_t count) {
  return static_cast<SheetPixel*>(AllocateZeroed(count * sizeof(SheetPixel)));
}

void SheetPixelAllocator::deallocate(SheetPixel* storage, size_t count) {
  FreeZeroed(storage, count * sizeof(SheetPixel));
}

// A vector made here starts without storage, so resize() puts every pixel
// in new storage, where the allocator leaves the zeros it was given.
bool ResizeSheetPixels(SheetPixels& pixels, size_t count) {
  SheetPixels fresh;
  try {
    fresh.resize(count);
  } catch (const std::bad_alloc&) {  // the one place a sheet's memory may run out
    return false;
  }
  pixels.swap(fresh);
  return true;
}

bool CreateGlyphSheet(GlyphSheet& sheet, int cellSize) {
  if (cellSize < 1 || cellSize > MaxCellSize) return false;
  int32_t width = SheetColumns * cellSize;
  int32_t height = SheetRows * cellSize;
  if (!ResizeSheetPixels(sheet.pixels, static_cast<size_t>(width) * static_cast<size_t>(height)))
    return false;
  sheet.width = width;
  sheet.height = height;
  sheet.filledCells.clear();
  return true;
}

bool TrackFilledCells(GlyphSheet& sheet) {
  try {
    sheet.filledCells.assign(SheetColumns * SheetRows, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool CellRowKnownEmpty(const GlyphSheet& sheet, int band) {
  if (sheet.filledCells.size() != size_t{SheetColumns} * SheetRows || band < 0 || band >= SheetRows)
    return false;
  const uint8_t* row = sheet.filledCells.data() + static_cast<size_t>(band) * SheetColumns;
  return std::all_of(row, row + SheetColumns, [](uint8_t filled) { return filled == 0; });
}

namespace {

// Eight pixels for every eight bits of a row, first pixel in the top bit.
struct EightPixelTable {
  Uint32 white;
  Uint32 black;
  Uint32 pixels[256][8];
};

// Made again only when the colours change, which in a run they never do.
const EightPixelTable& EightPixelsOf(Uint32 white, Uint32 black) {
  thread_local EightPixelTable table{1, 1, {}};  // white == black: never asked for
  if (table.white == white && table.black == black) return table;
  table.white = white;
  table.black = black;
  for (int bits = 0; bits < 256; ++bits)
    for (int k = 0; k < 8; ++k) table.pixels[bits][k] = bits >> (7 - k) & 1 ? black : white;
  return table;
}

// Writes one row of a glyph: column j is black when bit (s - 1 - j) is set.
// Four pixels are the first four of the entry whose top bits they are.
void RenderRow(uint32_t row, int s, const EightPixelTable& table, Uint32* line) {
  const uint32_t bits = row << (32 - s);  // column j is now bit 31 - j; bits past s fall off
  int j = 0;
  for (; j + 8 <= s; j += 8) memcpy(line + j, table.pixels[bits >> (24 - j) & 255], 32);
  for (; j + 4 <= s; j += 4) memcpy(line + j, table.pixels[(bits >> (28 - j) & 15) << 4], 16);
  for (; j < s; ++j) line[j] = table.pixels[bits >> (31 - j) & 1][7];
}

bool IsGlyphSurface(const SDL_Surface* surface, int s) {
  return surface != nullptr && surface->w == s && surface->h == s &&
         surface->format->BytesPerPixel == 4 && surface->pixels != nullptr;
}

}  // namespace

SDL_Surface* CreateGlyphSurface(const FontSet& font) {
  return SDL_CreateRGBSurface(SDL_SWSURFACE, font.size, font.size, 32, 0, 0, 0, 0);
}

// Every pixel is written once, white or black, which gives the same surface
// as a white fill followed by the black pixels.
bool RenderGlyphInto(const FontSet& font, int slot, SDL_Surface* surface) {
  const int32_t* rows = Kanji_GlyphRows(&font, slot);
  const int s = font.size;
  if (rows == nullptr || !IsGlyphSurface(surface, s)) return false;
  const EightPixelTable& table = EightPixelsOf(SDL_MapRGB(surface->format, 255, 255, 255),
                                               SDL_MapRGB(surface->format, 0, 0, 0));
  auto* line = static_cast<uint8_t*>(surface->pixels);
  for (int i = 0; i < s; ++i, line += surface->pitch)
    RenderRow(static_cast<uint32_t>(rows[i]), s, table, reinterpret_cast<Uint32*>(line));
  return true;
}

SDL_Surface* RenderGlyphSlot(const FontSet& font, int slot) {
  if (Kanji_GlyphRows(&font, slot) == nullptr) return nullptr;
  SDL_Surface* surface = CreateGlyphSurface(font);
  if (surface != nullptr) RenderGlyphInto(font, slot, surface);
  return surface;
}

namespace {

uint32_t SheetWord(Uint32 value, const SDL_PixelFormat* f) {
  const SheetPixel pixel{static_cast<uint8_t>(((value & f->Rmask) >> f->Rshift) << f->Rloss),
                         static_cast<uint8_t>(((value & f->Gmask) >> f->Gshift) << f->Gloss),
                         static_cast<uint8_t>(((value & f->Bmask) >> f->Bshift) << f->Bloss), 255};
  uint32_t word;
  memcpy(&word, &pixel, sizeof word);
  return word;
}

#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
// A channel's mask and shifts, spread over four lanes once per cell.
struct ChannelLanes {
  __m128i mask, shift, loss;
};

ChannelLanes LanesOf(Uint32 mask, Uint8 shift, Uint8 loss) {
  return {_mm_set1_epi32(static_cast<int>(mask)), _mm_cvtsi32_si128(shift),
          _mm_cvtsi32_si128(loss)};
}

// One channel of four surface pixels, in the low byte of each lane.
__m128i Channel(__m128i values, const ChannelLanes& c) {
  __m128i channel = _mm_sll_epi32(_mm_srl_epi32(_mm_and_si128(values, c.mask), c.shift), c.loss);
  return _mm_and_si128(channel, _mm_set1_epi32(0xFF));
}
#endif

// The surface's pixel layout, read once per cell.
struct SurfaceLayout {
  const SDL_PixelFormat* format;
  bool redBlueSwap;  // SDL's usual 32-bit layout: 8-bit channels, red on top
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
  ChannelLanes red, green, blue;
#endif
};

bool IsRedBlueSwap(const SDL_PixelFormat* f) {
  return f->Rmask == 0xFF0000 && f->Gmask == 0xFF00 && f->Bmask == 0xFF && f->Rshift == 16 &&
         f->Gshift == 8 && f->Bshift == 0 && f->Rloss == 0 && f->Gloss == 0 && f->Bloss == 0;
}

SurfaceLayout LayoutOf(const SDL_PixelFormat* f) {
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
  return {f, IsRedBlueSwap(f), LanesOf(f->Rmask, f->Rshift, f->Rloss),
          LanesOf(f->Gmask, f->Gshift, f->Gloss), LanesOf(f->Bmask, f->Bshift, f->Bloss)};
#else
  return {f, IsRedBlueSwap(f)};
#endif
}

// Converts one row of surface pixels to sheet pixels in the surface's format.
void CopyRow(const Uint32* line, int count, const SurfaceLayout& layout, SheetPixel* out) {
  int x = 0;
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
  const ChannelLanes& red = layout.red;
  const ChannelLanes& green = layout.green;
  const ChannelLanes& blue = layout.blue;
  const __m128i opaque = _mm_set1_epi32(INT32_MIN >> 7);  // 0xFF000000: alpha 255
  if (layout.redBlueSwap) {
    const __m128i greenByte = _mm_set1_epi32(0xFF00);
    const __m128i low = _mm_set1_epi32(0xFF);
    for (; x + 4 <= count; x += 4) {
      __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x));
      __m128i word = _mm_or_si128(_mm_and_si128(values, greenByte), opaque);
      word = _mm_or_si128(word, _mm_and_si128(_mm_srli_epi32(values, 16), low));
      word = _mm_or_si128(word, _mm_slli_epi32(_mm_and_si128(values, low), 16));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), word);
    }
  }
  for (; x + 4 <= count; x += 4) {
    __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x));
    __m128i word = _mm_or_si128(Channel(values, red), opaque);
    word = _mm_or_si128(word, _mm_slli_epi32(Channel(values, green), 8));
    word = _mm_or_si128(word, _mm_slli_epi32(Channel(values, blue), 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), word);
  }
#endif
  for (; x < count; ++x) {
    uint32_t word = SheetWord(line[x], layout.format);
    memcpy(out + x, &word, sizeof word);
  }
}

// A pixel value of a surface below 32 bits; rows of 1 to 4 bits hold several
// pixels in a byte, leftmost pixel in the top bits.
Uint32 PixelValue(const uint8_t* line, int x, const SDL_PixelFormat* format) {
  const int bits = format->BitsPerPixel;
  if (bits < 8) {
    const int perByte = 8 / bits;
    const int shift = 8 - bits * (x % perByte + 1);
    return static_cast<Uint32>(line[x / perByte] >> shift) & ((1u << bits) - 1);
  }
  if (format->BytesPerPixel == 1) return line[x];
  if (format->BytesPerPixel == 2) {
    Uint16 value;
    memcpy(&value, line + 2 * x, sizeof value);
    return value;
  }
  const uint8_t* p = line + 3 * x;
  return SDL_BYTEORDER == SDL_LIL_ENDIAN ? p[0] | p[1] << 8 | p[2] << 16
                                         : p[0] << 16 | p[1] << 8 | p[2];
}

// Surfaces of other depths, a pixel at a time, read as SDL reads their format.
void CopyRowAnyDepth(const uint8_t* line, int count, const SDL_PixelFormat* format,
                     SheetPixel* out) {
  for (int x = 0; x < count; ++x) {
    SDL_GetRGB(PixelValue(line, x, format), format, &out[x].r, &out[x].g, &out[x].b);
    out[x].a = 255;
  }
}

// The sheet's cells are cellSize square, and the surface holds one at least.
bool FitsSheetCell(const GlyphSheet& sheet, const SDL_Surface* surface, int cellSize, int slot) {
  return surface != nullptr && surface->pixels != nullptr && slot >= 0 &&
         slot < SheetColumns * SheetRows && cellSize >= 1 &&
         sheet.width == int64_t{SheetColumns} * cellSize &&
         sheet.height == int64_t{SheetRows} * cellSize &&
         sheet.pixels.size() == static_cast<size_t>(sheet.width) * sheet.height &&
         surface->w >= cellSize && surface->h >= cellSize;
}

}  // namespace

namespace {

// SDL's usual 32-bit layout, the one glyphs are rendered in: red and blue
// swap places, alpha becomes 255.
void CopySwappedRow(const Uint32* line, int count, SheetPixel* out) {
  int x = 0;
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
  const __m128i greenByte = _mm_set1_epi32(0xFF00);
  const __m128i redBlue = _mm_set1_epi32(0xFF00FF);
  const __m128i opaque = _mm_set1_epi32(INT32_MIN >> 7);  // 0xFF000000: alpha 255
  constexpr int kSwapHalves = 0xB1;                       // 16-bit halves of each lane
  for (; x + 4 <= count; x += 4) {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x));
    __m128i swapped = _mm_and_si128(values, redBlue);
    swapped = _mm_shufflehi_epi16(_mm_shufflelo_epi16(swapped, kSwapHalves), kSwapHalves);
    const __m128i word =
        _mm_or_si128(_mm_or_si128(_mm_and_si128(values, greenByte), opaque), swapped);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), word);
  }
#endif
  for (; x < count; ++x) {
    const uint32_t value = line[x];
    const uint32_t word =
        (value & 0xFF00) | 0xFF000000u | (value >> 16 & 0xFF) | (value & 0xFF) << 16;
    memcpy(out + x, &word, sizeof word);
  }
}

}  // namespace

bool CopyToSheetCell(GlyphSheet& sheet, const SDL_Surface* surface, int cellSize, int slot) {
  if (!FitsSheetCell(sheet, surface, cellSize, slot)) return false;
  if (!sheet.filledCells.empty()) sheet.filledCells[static_cast<size_t>(slot)] = 1;
  const size_t x0 = static_cast<size_t>(slot % SheetColumns) * cellSize;
  const size_t y0 = static_cast<size_t>(slot / SheetColumns) * cellSize;
  const SDL_PixelFormat* format = surface->format;
  if (format->BytesPerPixel == 4 && IsRedBlueSwap(format)) {
    const auto* line = static_cast<const uint8_t*>(surface->pixels);
    SheetPixel* out = &sheet.pixels[y0 * static_cast<size_t>(sheet.width) + x0];
    for (int y = 0; y < cellSize; ++y, line += surface->pitch, out += sheet.width)
      CopySwappedRow(reinterpret_cast<const Uint32*>(line), cellSize, out);
    return true;
  }
  const bool wholeWords = format->BytesPerPixel == 4;  // four at a time, as glyphs are rendered
  const SurfaceLayout layout = LayoutOf(format);
  for (int y = 0; y < cellSize; ++y) {
    const uint8_t* line = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch;
    SheetPixel* out = &sheet.pixels[(y0 + y) * static_cast<size_t>(sheet.width) + x0];
    if (wholeWords) {
      CopyRow(reinterpret_cast<const Uint32*>(line), cellSize, layout, out);
    } else {
      CopyRowAnyDepth(line, cellSize, format, out);
    }
  }
  return true;
}
