// SPDX-License-Identifier: MIT
// The font library's reader of packed glyph files: nothing printed and the
// reason, naming the file, for each file the decoder refuses; for an accepted
// one, a glyph in every slot whose cell has ink.
#include "../qpk/packed_cases.h"
#include "kanji.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace packed_cases;

TEST(PackedFont, RefusesWithItsReasonAndFillsInkedSlots) {
  TempDir dir;
  for (const DecoderCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string path = CaseFile(dir, c);
    testing::internal::CaptureStderr();
    FontSet* font = Kanji_CreateFontSetFromPacked(path.c_str());
    const std::string message = testing::internal::GetCapturedStderr();
    if (c.reason != PackedRefusal::None) {
      EXPECT_EQ(font, nullptr);
      EXPECT_EQ(message, "");
      EXPECT_EQ(Kanji_GetError(), path + ": " + PackedRefusalText(c.reason));
      continue;
    }
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(message, "");
    EXPECT_EQ(font->halfWidth, font->size / 2);
    int inked = 0;
    for (const int32_t* rows : font->glyphs) inked += rows != nullptr;
    EXPECT_EQ(inked, GlyphSlotCount);
    EXPECT_EQ(font->glyphs[GlyphSlotCount - 1][0], font->size == 1 ? 1 : 0x01010101);  // bytes 01
    Kanji_DestroyFontSet(font);
  }
}

}  // namespace
