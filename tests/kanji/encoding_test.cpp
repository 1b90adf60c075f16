// SPDX-License-Identifier: MIT
// Pair conversion of Shift-JIS and EUC-JP two-byte characters to JIS pairs,
// and Unicode characters to JIS codes.
#include "iconv_text.h"
#include "kanji_internal.h"

#include <gtest/gtest.h>

#include <cstring>
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

std::string Bytes(Pair pair) {
  return {static_cast<char>(pair.first), static_cast<char>(pair.second)};
}

// JIS X 0208 by EUC-JP, and where CP932 disagrees its code point too, unless
// JIS X 0213 has that one elsewhere; the rest of plane 1 by EUC-JISX0213.
TEST(UnicodeToJis, EveryPlane1CharacterByTheIconvTables) {
  Iconv euc("UTF-32LE", "EUC-JP"), cp932("UTF-32LE", "CP932"), x0213("UTF-32LE", "EUC-JISX0213");
  ASSERT_TRUE(euc.ok() && cp932.ok() && x0213.ok());
  size_t characters = 0, variants = 0, displaced = 0, others = 0, sequences = 0;
  for (int first = 0x21; first <= 0x7E; ++first) {
    for (int second = 0x21; second <= 0x7E; ++second) {
      const int jis = first << 8 | second;
      const std::string eucBytes = Bytes(Pair{first | 0x80, second | 0x80});
      const long codePoint = CodePointOf(euc, eucBytes);
      const int kind = Kanji_JisCodeKind(jis);
      if (codePoint >= 0) {
        ++characters;
        ASSERT_EQ(Kanji_UnicodeToJis(static_cast<int>(codePoint)), jis) << std::hex << codePoint;
        ASSERT_EQ(Kanji_JisToUnicode(jis), codePoint);
        ASSERT_EQ(kind, JisCodeX0208);
        const long variant = CodePointOf(cp932, Bytes(ShiftJisForm(Pair{first, second})));
        const int variantJis = Kanji_UnicodeToJis(static_cast<int>(variant));
        variants += variant != codePoint && variantJis == jis;
        displaced += variantJis != jis;
        ASSERT_EQ(Kanji_UnicodeFallbackJis(variant), variantJis == jis ? -1 : jis);
        continue;
      }
      std::string decoded;
      const bool assigned = x0213.Convert(eucBytes, decoded) && !decoded.empty();
      ASSERT_EQ(kind, assigned ? JisCodeX0213 : JisCodeFree) << std::hex << jis;
      const long single = CodePointOf(x0213, eucBytes);
      ASSERT_EQ(Kanji_JisToUnicode(jis), single) << std::hex << jis;
      if (single >= 0) {
        ASSERT_EQ(Kanji_UnicodeToJis(static_cast<int>(single)), jis);
      }
      others += single >= 0;
      sequences += assigned && single < 0;
    }
  }
  EXPECT_EQ(characters, size_t{JisX0208CharacterCount});
  EXPECT_EQ(variants, 3u);
  EXPECT_EQ(displaced, 3u);  // U+2225, U+FF0D, U+FF5E
  EXPECT_EQ(others + sequences, size_t{JisX0213OtherCharacterCount});
  EXPECT_EQ(sequences, kJisCombiningSequenceCount);
  EXPECT_EQ(kUnicodeJisPairsCount, characters + variants + others);  // nothing else in the table
  EXPECT_EQ(kUnicodeJisFallbacksCount, displaced);
}

TEST(UnicodeToJis, SingleByteCharactersAndCodePointsWithoutJisMeaning) {
  Iconv shiftJis("UTF-32LE", "SHIFT_JIS");
  ASSERT_TRUE(shiftJis.ok());
  for (int code = 0; code < 0x80; ++code) EXPECT_EQ(Kanji_UnicodeToJis(code), code);
  for (int byte = 0xA1; byte <= 0xDF; ++byte) {
    const long codePoint = CodePointOf(shiftJis, std::string(1, static_cast<char>(byte)));
    EXPECT_EQ(Kanji_UnicodeToJis(static_cast<int>(codePoint)), byte) << std::hex << codePoint;
  }
  // Yen and overline are JIS X 0201's 0x5C and 0x7E, but those slots hold ASCII.
  for (int codePoint : {-1, 0x80, 0xA5, 0x203E, 0x400, 0xFFA0, 0xD800, 0x20000, 0x10FFFF, 0x110000})
    EXPECT_EQ(Kanji_UnicodeToJis(codePoint), -1) << std::hex << codePoint;
  for (int jis : {-1, 0, 0x41, 0x2120, 0x217F, 0x7F21, 0x2020, 0x12121}) {
    EXPECT_EQ(Kanji_JisCodeKind(jis), JisCodeFree) << std::hex << jis;
    EXPECT_EQ(Kanji_JisToUnicode(jis), jis == 0 || jis == 0x41 ? jis : -1) << std::hex << jis;
  }
  for (int jis : {0x80, 0xA0, 0xE0, 0xFF}) EXPECT_EQ(Kanji_JisToUnicode(jis), -1) << jis;
  EXPECT_EQ(Kanji_JisToUnicode(0xA1), 0xFF61);
}

// Every length's shortest form decodes; overlong forms, surrogates and
// values past U+10FFFF start no character (a length of 1, code point -1).
TEST(DecodeUtf8, ShortestFormsOfUnicodeOnly) {
  const struct {
    const char* bytes;
    int codePoint;
  } cases[] = {
      {"A", 'A'},
      {"\xC2\x80", 0x80},
      {"\xE0\xA0\x80", 0x800},
      {"\xED\x9F\xBF", 0xD7FF},
      {"\xEE\x80\x80", 0xE000},
      {"\xF0\x90\x80\x80", 0x10000},
      {"\xF4\x8F\xBF\xBF", 0x10FFFF},
      {"\xC0\x80", -1},          // overlong U+0000
      {"\xC1\xBF", -1},          // overlong U+007F
      {"\xE0\x80\xAF", -1},      // overlong '/'
      {"\xE0\x9F\xBF", -1},      // overlong U+07FF
      {"\xF0\x83\x81\x82", -1},  // overlong あ
      {"\xF0\x8F\xBF\xBF", -1},  // overlong U+FFFF
      {"\xED\xA0\x80", -1},      // surrogates
      {"\xED\xBF\xBF", -1},
      {"\xF4\x90\x80\x80", -1},  // U+110000
      {"\xF5\x80\x80\x80", -1},
      {"\xF7\xBF\xBF\xBF", -1},
      {"\xF8\x88\x80\x80\x80", -1},  // five and six bytes
      {"\xFC\x84\x80\x80\x80\x80", -1},
  };
  for (const auto& c : cases) {
    int length = 0;
    EXPECT_EQ(Kanji_DecodeUtf8(c.bytes, &length), c.codePoint) << c.bytes;
    EXPECT_EQ(length, c.codePoint < 0 ? 1 : static_cast<int>(strlen(c.bytes))) << c.bytes;
  }
}

}  // namespace
