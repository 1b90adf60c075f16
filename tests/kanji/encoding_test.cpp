// Pair conversion of Shift-JIS and EUC-JP two-byte characters to JIS pairs.
#include "kanji_internal.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Pair {
  int first;
  int second;
  bool operator==(const Pair&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Pair& pair) {
  return out << std::hex << "0x" << pair.first << " 0x" << pair.second << std::dec;
}

std::unique_ptr<FontSet> EmptyFont(int encoding) {
  auto font = std::make_unique<FontSet>();
  font->size = 16;
  font->halfWidth = 8;
  font->encoding = encoding;
  Kanji_ClearGlyphs(font.get());
  font->rowPool = nullptr;
  return font;
}

Pair Convert(int encoding, Pair bytes) {
  auto font = EmptyFont(encoding);
  unsigned char first = static_cast<unsigned char>(bytes.first);
  unsigned char second = static_cast<unsigned char>(bytes.second);
  Kanji_ConvertPair(font.get(), &first, &second);
  return Pair{first, second};
}

// Shift-JIS form of a JIS X 0208 pair, by the usual row-pair folding.
Pair ShiftJisForm(Pair jis) {
  int lead = (jis.first + 1) / 2 + (jis.first <= 0x5E ? 0x70 : 0xB0);
  int trail;
  if (jis.first % 2 == 1) {
    trail = jis.second + 0x1F;
    if (trail >= 0x7F) ++trail;
  } else {
    trail = jis.second + 0x7E;
  }
  return Pair{lead, trail};
}

TEST(ConvertPair, KnownCharacters) {
  struct Case {
    int encoding;
    Pair bytes;
    Pair jis;
    int slot;
  };
  const Case cases[] = {
      {EncodingShiftJis, {0x82, 0xA0}, {0x24, 0x22}, 641},   // hiragana small a
      {EncodingShiftJis, {0x81, 0x40}, {0x21, 0x21}, 352},   // ideographic space
      {EncodingShiftJis, {0x88, 0x9F}, {0x30, 0x21}, 1792},  // first kanji
      {EncodingShiftJis, {0x81, 0x80}, {0x21, 0x60}, 415},   // trail above 0x7F
      {EncodingShiftJis, {0x81, 0x7E}, {0x21, 0x5F}, 414},   // trail below 0x7F
      {EncodingShiftJis, {0xE0, 0x40}, {0x5F, 0x21}, 6304},  // upper lead range
      {EncodingShiftJis, {0xEA, 0xA4}, {0x74, 0x26}, 8325},  // last JIS X 0208 kanji
      {EncodingShiftJis, {0xEF, 0xFC}, {0x7E, 0x7E}, 9373},
      {EncodingShiftJis, {0x8A, 0xAE}, {0x34, 0x30}, 2191},  // "kan" of "kanryou"
      {EncodingShiftJis, {0x97, 0xB9}, {0x4E, 0x3B}, 4698},  // "ryou"
      {EncodingEuc, {0xA4, 0xA2}, {0x24, 0x22}, 641},
      {EncodingEuc, {0xFE, 0xFE}, {0x7E, 0x7E}, 9373},
      {EncodingEuc, {0x8E, 0xB1}, {0x0E, 0x31}, -1456},  // single shift: outside
      {EncodingJis, {0x24, 0x22}, {0x24, 0x22}, 641},
      {EncodingJis, {0xA4, 0xA2}, {0xA4, 0xA2}, 13057},  // JIS leaves bytes alone
      {7, {0x82, 0xA0}, {0x82, 0xA0}, 9791},             // unknown encoding too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "encoding " << c.encoding << ", bytes " << c.bytes);
    Pair jis = Convert(c.encoding, c.bytes);
    EXPECT_EQ(jis, c.jis);
    EXPECT_EQ(Kanji_TwoByteSlot(jis.first, jis.second), c.slot);
  }
}

TEST(ConvertPair, EveryJisX0208CodeReachesTheSameSlotInAllEncodings) {
  for (int first = 0x21; first <= 0x7E; ++first) {
    for (int second = 0x21; second <= 0x7E; ++second) {
      const Pair jis{first, second};
      const int slot = Kanji_TwoByteSlot(first, second);
      ASSERT_GE(slot, 352);
      ASSERT_LE(slot, 9373);
      ASSERT_EQ(Convert(EncodingJis, jis), jis);
      ASSERT_EQ(Convert(EncodingShiftJis, ShiftJisForm(jis)), jis) << jis;
      ASSERT_EQ(Convert(EncodingEuc, Pair{first | 0x80, second | 0x80}), jis) << jis;
    }
  }
}

}  // namespace
