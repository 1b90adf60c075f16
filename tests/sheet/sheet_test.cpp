// SPDX-License-Identifier: MIT
#include "sheet.h"
#include "kanji.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>

namespace {

constexpr SheetPixel kEmpty{0, 0, 0, 0};
constexpr SheetPixel kWhite{255, 255, 255, 255};
constexpr SheetPixel kInk{0, 0, 0, 255};

// A font set without a file, for putting chosen rows into chosen slots.
struct HandFont {
  FontSet font{};
  std::vector<std::vector<int32_t>> rows;
  explicit HandFont(int size) {
    font.size = size;
    font.halfWidth = size / 2;
    rows.resize(GlyphSlotCount);
  }
  void Set(int slot, std::vector<int32_t> values) {
    rows[slot] = std::move(values);
    rows[slot].resize(font.size, 0);
    font.glyphs[slot] = rows[slot].data();
  }
};

GlyphSheet SheetOf(const HandFont& hand) {
  GlyphSheet sheet{};
  EXPECT_TRUE(CreateGlyphSheet(sheet, hand.font.size));
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    SDL_Surface* surface = RenderGlyphSlot(hand.font, slot);
    if (surface == nullptr) continue;
    CopyToSheetCell(sheet, surface, hand.font.size, slot);
    SDL_FreeSurface(surface);
  }
  return sheet;
}

SheetPixel At(const GlyphSheet& sheet, int x, int y) {
  return sheet.pixels[static_cast<size_t>(y) * sheet.width + x];
}

TEST(GlyphSheet, CreateSizesAndRefuses) {
  GlyphSheet sheet{};
  ASSERT_TRUE(CreateGlyphSheet(sheet, 16));
  EXPECT_EQ(sheet.width, 1024);
  EXPECT_EQ(sheet.height, 2368);
  EXPECT_EQ(sheet.pixels.size(), 9472u * 256);
  EXPECT_EQ(sheet.pixels[12345], kEmpty);
  for (int bad : {0, -3, 33}) {
    EXPECT_FALSE(CreateGlyphSheet(sheet, bad));
    EXPECT_EQ(sheet.width, 1024);
  }
  // A copy that does not fit the sheet's cells writes nothing.
  HandFont hand16(16), hand8(8);
  hand16.Set(65, {-1});
  hand8.Set(65, {-1});
  SDL_Surface* glyph16 = RenderGlyphSlot(hand16.font, 65);
  SDL_Surface* glyph8 = RenderGlyphSlot(hand8.font, 65);
  const struct {
    SDL_Surface* surface;
    int cellSize, slot;
  } copies[] = {{glyph16, 16, -1}, {glyph16, 16, 9472}, {glyph16, 16, INT_MAX}, {glyph8, 8, 0},
                {glyph16, 32, 0},  {glyph8, 16, 0},     {nullptr, 16, 0}};
  for (const auto& c : copies) {
    EXPECT_FALSE(CopyToSheetCell(sheet, c.surface, c.cellSize, c.slot)) << c.cellSize << c.slot;
    EXPECT_TRUE(std::all_of(sheet.pixels.begin(), sheet.pixels.end(),
                            [](SheetPixel p) { return p == kEmpty; }));
  }
  SDL_FreeSurface(glyph16);
  SDL_FreeSurface(glyph8);
}

// Every way a sheet's pixels are sized gives zeros, also over old pixels
// that clear() keeps in place, where a plain resize() would show them again.
TEST(ResizeSheetPixels, AlwaysGivesZeros) {
  struct Case {
    const char* name;
    size_t before;
    bool clear;
    size_t count;
  };
  const size_t mapped = size_t{1} << 20;  // large enough to be mapped, not from calloc
  const Case cases[] = {
      {"fresh", 0, false, 1000},
      {"after clear", 1000, true, 1000},
      {"shrinking", 1000, false, 10},
      {"growing", 10, false, 5000},
      {"after clear, mapped", mapped, true, mapped},
  };
  for (const Case& c : cases) {
    SheetPixels pixels(c.before, kInk);
    if (c.clear) pixels.clear();
    ASSERT_TRUE(ResizeSheetPixels(pixels, c.count)) << c.name;
    EXPECT_EQ(pixels.size(), c.count) << c.name;
    EXPECT_EQ(static_cast<size_t>(std::count(pixels.begin(), pixels.end(), kEmpty)), c.count)
        << c.name;
  }
}

// The zeros come from fresh storage, not from writing it: pixels at the
// readers' cap cost no memory until they are touched.
TEST(ResizeSheetPixels, LeavesFreshStorageUnwritten) {
  const long idle = RunInChild([] { return 0; }).maxRssKb;
  const ChildResult child = RunInChild([] {
    SheetPixels pixels;
    return ResizeSheetPixels(pixels, size_t{1} << 26) ? 0 : 1;
  });
  EXPECT_EQ(child.exitStatus, 0);
  EXPECT_LT(child.maxRssKb, idle + 4 * 1024) << "idle child " << idle << " KiB";
}

// Each glyph is a single ink pixel at its top-left corner of its cell.
TEST(GlyphSheet, CellsOfCornerSlots) {
  const int s = 5;
  HandFont hand(s);
  const int slots[][3] = {{0, 0, 0}, {63, 63 * s, 0}, {64, 0, s}, {9471, 63 * s, 147 * s}};
  for (const auto& c : slots) hand.Set(c[0], {1 << (s - 1)});
  GlyphSheet sheet = SheetOf(hand);
  for (const auto& c : slots) {
    EXPECT_EQ(At(sheet, c[1], c[2]), kInk) << "slot " << c[0];
    EXPECT_EQ(At(sheet, c[1] + 1, c[2]), kWhite) << "slot " << c[0];
    EXPECT_EQ(At(sheet, c[1] + s - 1, c[2] + s - 1), kWhite) << "slot " << c[0];
  }
  EXPECT_EQ(At(sheet, s, 0), kEmpty);  // slot 1 is empty
}

TEST(GlyphSheet, RowsRightAlignedAndHighBitsIgnored) {
  HandFont hand(16);
  hand.Set(65, {0xFF, static_cast<int32_t>(0xFFFF0000u), 0});  // a half-width row, then bits >= 16
  GlyphSheet sheet = SheetOf(hand);
  const int x0 = 1 * 16, y0 = 1 * 16;  // slot 65: column 1, row 1
  for (int x = 0; x < 16; ++x) {
    EXPECT_EQ(At(sheet, x0 + x, y0), x >= 8 ? kInk : kWhite) << x;
    EXPECT_EQ(At(sheet, x0 + x, y0 + 1), kWhite) << x;
  }
}

TEST(GlyphSheet, SizeOneAndSizeThirtyTwo) {
  HandFont one(1);
  one.Set(5, {1});
  one.Set(6, {0});
  GlyphSheet small = SheetOf(one);
  EXPECT_EQ(small.width, 64);
  EXPECT_EQ(At(small, 5, 0), kInk);
  EXPECT_EQ(At(small, 6, 0), kWhite);
  EXPECT_EQ(At(small, 7, 0), kEmpty);

  HandFont big(32);
  big.Set(0, {static_cast<int32_t>(0x80000001u)});
  GlyphSheet large = SheetOf(big);
  EXPECT_EQ(At(large, 0, 0), kInk);
  EXPECT_EQ(At(large, 31, 0), kInk);
  EXPECT_EQ(At(large, 1, 0), kWhite);
}

// The copy reads the surface's own format at every depth, never past its
// rows; black is ink at every one of them.
TEST(GlyphSheet, CopyReadsSurfaceFormatAtEveryDepth) {
  struct Case {
    const char* name;
    int depth;
    Uint32 red, green, blue;
  };
  const Case cases[] = {
      {"1-bit", 1, 0, 0, 0},
      {"4-bit", 4, 0, 0, 0},
      {"8-bit", 8, 0, 0, 0},
      {"15-bit", 15, 0, 0, 0},
      {"16-bit", 16, 0, 0, 0},
      {"24-bit", 24, 0, 0, 0},
      {"32-bit, as glyphs are rendered", 32, 0, 0, 0},
      {"32-bit, red in the low byte", 32, 0x000000FF, 0x0000FF00, 0x00FF0000},
  };
  SDL_Color colours[] = {
      {0, 0, 0, 0}, {255, 255, 255, 0}, {0x11, 0x22, 0x33, 0}, {200, 100, 50, 0}};
  const int s = 5;  // the 32-bit paths take four pixels at a time
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SDL_Surface* surface =
        SDL_CreateRGBSurface(SDL_SWSURFACE, s, s, c.depth, c.red, c.green, c.blue, 0);
    ASSERT_NE(surface, nullptr);
    if (surface->format->palette != nullptr)
      SDL_SetColors(surface, colours, 0, c.depth == 1 ? 2 : 4);
    std::vector<SheetPixel> expected;
    for (int y = 0; y < s; ++y) {
      for (int x = 0; x < s; ++x) {
        const SDL_Color& colour = colours[(x + 2 * y) % 4];
        const Uint32 value = SDL_MapRGB(surface->format, colour.r, colour.g, colour.b);
        Kanji_PlotPixel(surface, x, y, value);
        SheetPixel pixel{0, 0, 0, 255};
        SDL_GetRGB(value, surface->format, &pixel.r, &pixel.g, &pixel.b);
        if (colour.r == 0 && colour.g == 0 && colour.b == 0) {
          EXPECT_EQ(pixel, kInk);
        }
        expected.push_back(pixel);
      }
    }
    GlyphSheet sheet{};
    ASSERT_TRUE(CreateGlyphSheet(sheet, s));
    CopyToSheetCell(sheet, surface, s, 65);
    SDL_FreeSurface(surface);
    for (int y = 0; y < s; ++y)
      for (int x = 0; x < s; ++x)
        EXPECT_EQ(At(sheet, s + x, s + y), expected[y * s + x]) << x << "," << y;
    EXPECT_EQ(At(sheet, s - 1, s), kEmpty);
    EXPECT_EQ(At(sheet, 2 * s, s), kEmpty);
  }
}

// Straightforward bit-by-bit packing, to compare the packer with.
std::vector<uint8_t> ReferencePack(const GlyphSheet& sheet, int s) {
  int rowBytes = (s + 7) / 8;
  std::vector<uint8_t> out;
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    int x0 = slot % 64 * s, y0 = slot / 64 * s;
    for (int y = s - 1; y >= 0; --y) {
      std::vector<uint8_t> row(static_cast<size_t>(rowBytes), 0);
      for (int x = 0; x < s; ++x)
        if (At(sheet, x0 + x, y0 + y) == kInk) row[x / 8] |= static_cast<uint8_t>(1 << (7 - x % 8));
      out.insert(out.end(), row.begin(), row.end());
    }
  }
  return out;
}

TEST(PackGlyphSheet, LayoutAtEverySize) {
  const std::pair<int, size_t> sizes[] = {{1, 9472},    {8, 75776},   {10, 189440}, {12, 227328},
                                          {16, 303104}, {24, 681984}, {32, 1212416}};
  std::mt19937 random(7);
  for (const auto& [s, length] : sizes) {
    GlyphSheet sheet{};
    ASSERT_TRUE(CreateGlyphSheet(sheet, s));
    const SheetPixel choices[] = {kEmpty, kWhite, kInk, kInk, {0, 0, 0, 254}, {1, 0, 0, 255}};
    for (SheetPixel& p : sheet.pixels) p = choices[random() % 6];
    PackedGlyphs packed{0, {}};
    ASSERT_TRUE(PackGlyphSheet(packed, sheet, s));
    EXPECT_EQ(packed.cellSize, s);
    ASSERT_EQ(packed.bytes.size(), length) << "size " << s;
    EXPECT_EQ(packed.bytes, ReferencePack(sheet, s)) << "size " << s;
    // Cells known to be empty (zeroed, and so marked) are skipped unread.
    ASSERT_TRUE(TrackFilledCells(sheet));
    for (int slot = 0; slot < 9472; ++slot) {
      sheet.filledCells[slot] = slot / 64 % 3 != 0 && random() % 4 != 0;
      for (int y = 0; y < s && sheet.filledCells[slot] == 0; ++y)
        std::fill_n(&sheet.pixels[(slot / 64 * s + y) * sheet.width + slot % 64 * s], s, kEmpty);
    }
    ASSERT_TRUE(PackGlyphSheet(packed, sheet, s));
    EXPECT_EQ(packed.bytes, ReferencePack(sheet, s)) << "size " << s << ", empty cells known";
  }
}

TEST(PackGlyphSheet, WorkedRowsAndBottomRowFirst) {
  GlyphSheet sheet{};
  ASSERT_TRUE(CreateGlyphSheet(sheet, 10));
  for (int x : {0, 1, 9}) sheet.pixels[static_cast<size_t>(9) * sheet.width + x] = kInk;
  PackedGlyphs packed{0, {}};
  ASSERT_TRUE(PackGlyphSheet(packed, sheet, 10));
  EXPECT_EQ(packed.bytes[0], 0xC0);  // the cell's bottom row comes first
  EXPECT_EQ(packed.bytes[1], 0x40);
  for (size_t i = 2; i < packed.bytes.size(); ++i) ASSERT_EQ(packed.bytes[i], 0) << i;
}

TEST(PackGlyphSheet, RefusalsLeavePackedAsItWas) {
  GlyphSheet eight{};
  ASSERT_TRUE(CreateGlyphSheet(eight, 8));
  GlyphSheet taller = eight;
  ++taller.height;
  const std::pair<GlyphSheet, int> cases[] = {
      {{0, 0, {}}, 16},              // empty
      {eight, 0},                    // cell sizes outside 1 to 32
      {eight, 33},      {eight, 9},  // too small for its cells
      {taller, 8},                   // pixels short of its size
  };
  for (const auto& [sheet, size] : cases) {
    PackedGlyphs packed{3, {1, 2}};
    EXPECT_FALSE(PackGlyphSheet(packed, sheet, size)) << size;
    EXPECT_EQ(packed.cellSize, 3);
    EXPECT_EQ(packed.bytes, (std::vector<uint8_t>{1, 2}));
  }
}

TEST(PackGlyphSheet, PackingTwiceGivesTheSameStream) {
  GlyphSheet sheet{};
  ASSERT_TRUE(CreateGlyphSheet(sheet, 1));
  sheet.pixels[9471] = kInk;
  PackedGlyphs packed{0, {}};
  ASSERT_TRUE(PackGlyphSheet(packed, sheet, 1));
  const std::vector<uint8_t> once = packed.bytes;
  ASSERT_TRUE(PackGlyphSheet(packed, sheet, 1));
  EXPECT_EQ(packed.bytes, once);
  EXPECT_EQ(once.size(), 9472u);
}

}  // namespace
