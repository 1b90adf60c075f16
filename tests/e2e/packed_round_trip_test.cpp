// SPDX-License-Identifier: MIT
// Real font pairs: BDF -> .qpk -> font set -> .qpk gives the same file, and
// the font read from the .qpk draws text exactly as the BDF font does.
#include "kanji.h"
#include "output.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using FontPtr = std::unique_ptr<FontSet, decltype(&Kanji_DestroyFontSet)>;
using SurfacePtr = std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)>;

FontPtr BdfFont(const FontPair& pair) {
  FontPtr font(Kanji_CreateFontSet(FontPath(pair.mainFont).c_str(), pair.size),
               Kanji_DestroyFontSet);
  if (font) Kanji_LoadBdf(font.get(), FontPath(pair.secondFont).c_str());
  return font;
}

// What the run packs from a font set: sheet, cells, one-bit stream.
PackedGlyphs PackedOf(const FontSet& font) {
  GlyphSheet sheet{0, 0, {}};
  PackedGlyphs packed{0, {}};
  if (!CreateGlyphSheet(sheet, font.size)) return packed;
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    SurfacePtr cell(RenderGlyphSlot(font, slot), SDL_FreeSurface);
    if (cell) CopyToSheetCell(sheet, cell.get(), font.size, slot);
  }
  PackGlyphSheet(packed, sheet, font.size);
  return packed;
}

// Shift-JIS: ASCII, katakana, kanji, punctuation (the commas and full stops
// move in vertical text).
constexpr const char* kTexts[] = {
    "Tavrest 0.9 [ok]",
    "\x83\x41\x83\x43\x83\x45\x83\x6E\x83\x93",                  // アイウハン
    "\x93\xfa\x96\x7b\x8c\xea\x82\xc5\x8f\x91\x82\xad",          // 日本語で書く
    "\x81\x41\x81\x42\x81\x43\x81\x44\x81\x75\x81\x76\x81\x5b",  // 、。，．「」ー
    "A\x93\xfa b\x81\x42",
};

void ExpectSamePixels(const SDL_Surface* a, const SDL_Surface* b) {
  ASSERT_TRUE(a != nullptr && b != nullptr);
  ASSERT_EQ(a->w, b->w);
  ASSERT_EQ(a->h, b->h);
  for (int y = 0; y < a->h; ++y) {
    const auto* rowA = static_cast<const uint8_t*>(a->pixels) + y * a->pitch;
    const auto* rowB = static_cast<const uint8_t*>(b->pixels) + y * b->pitch;
    ASSERT_EQ(memcmp(rowA, rowB, static_cast<size_t>(a->w) * 4), 0) << "row " << y;
  }
}

class PackedRoundTrip : public testing::TestWithParam<FontPair> {};

TEST_P(PackedRoundTrip, SameFileAndSameText) {
  const FontPair pair = GetParam();
  FontPtr bdf = BdfFont(pair);
  ASSERT_TRUE(bdf);
  const PackedGlyphs original = PackedOf(*bdf);
  TempDir dir;
  const std::string path = dir.File("font.qpk");
  ASSERT_TRUE(WritePackedGlyphs(original, path.c_str()));

  PackedGlyphs read{0, {}};
  ASSERT_TRUE(ReadPackedGlyphs(read, path.c_str()));
  EXPECT_EQ(read.cellSize, pair.size);
  EXPECT_TRUE(read.bytes == original.bytes);

  FontPtr packed(Kanji_CreateFontSetFromPacked(path.c_str()), Kanji_DestroyFontSet);
  ASSERT_TRUE(packed);
  EXPECT_EQ(packed->size, pair.size);
  EXPECT_EQ(packed->halfWidth, pair.size / 2);
  const PackedGlyphs again = PackedOf(*packed);
  const std::string againPath = dir.File("again.qpk");
  ASSERT_TRUE(WritePackedGlyphs(again, againPath.c_str()));
  EXPECT_TRUE(ReadFileOrEmpty(againPath) == ReadFileOrEmpty(path));

  Kanji_SetEncoding(bdf.get(), EncodingShiftJis);
  Kanji_SetEncoding(packed.get(), EncodingShiftJis);
  const SDL_Color ink{0, 0, 0, 0};
  for (const char* text : kTexts) {
    SCOPED_TRACE(text);
    SurfacePtr fromBdf(Kanji_RenderText(bdf.get(), text, ink, 32), SDL_FreeSurface);
    SurfacePtr fromPacked(Kanji_RenderText(packed.get(), text, ink, 32), SDL_FreeSurface);
    ExpectSamePixels(fromBdf.get(), fromPacked.get());
    SurfacePtr downBdf(Kanji_RenderTextVertical(bdf.get(), text, ink, 32), SDL_FreeSurface);
    SurfacePtr downPacked(Kanji_RenderTextVertical(packed.get(), text, ink, 32), SDL_FreeSurface);
    ExpectSamePixels(downBdf.get(), downPacked.get());
  }
}

INSTANTIATE_TEST_SUITE_P(RealFonts, PackedRoundTrip, testing::ValuesIn(kRealFontPairs),
                         [](const auto& info) { return std::string(info.param.mainFont); });

}  // namespace
