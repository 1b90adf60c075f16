// SPDX-License-Identifier: MIT
// Unicode characters placed by their JIS meaning, and what each two-byte
// JIS code holds, both from the generated table (unicode_table.cpp).
#include "kanji_internal.h"

#include <algorithm>
#include <array>

namespace {

constexpr int kHalfWidthKatakanaFirst = 0xFF61;  // in JIS X 0201 at 0xA1
constexpr int kHalfWidthKatakanaLast = 0xFF9F;   // at 0xDF
constexpr int kJisRowLength = 94;
constexpr int kNecRow13 = 0x2D;  // the first byte of JIS row 13

const UnicodeJisPair* FindPair(const UnicodeJisPair* pairs, size_t count, int codePoint) {
  const UnicodeJisPair* end = pairs + count;
  const UnicodeJisPair* found =
      std::lower_bound(pairs, end, codePoint, [](const UnicodeJisPair& pair, int value) {
        return static_cast<int64_t>(pair.codePoint) < value;
      });
  return found != end && static_cast<int64_t>(found->codePoint) == codePoint ? found : nullptr;
}

// Index of a two-byte JIS code in rows 1 to 94; -1 outside them.
int JisIndex(int jis) {
  const int first = jis >> 8, second = jis & 0xFF;
  if (jis < 0 || jis > 0xFFFF || first < 0x21 || first > 0x7E || second < 0x21 || second > 0x7E)
    return -1;
  return (first - 0x21) * kJisRowLength + second - 0x21;
}

// The table turned around: each code's kind and its character's code point.
struct JisCodes {
  std::array<uint8_t, kJisRowLength * kJisRowLength> kind{};
  std::array<int32_t, kJisRowLength * kJisRowLength> codePoint{};
};

JisCodes IndexJisCodes() {
  JisCodes codes;
  codes.codePoint.fill(-1);
  for (size_t i = 0; i < kUnicodeJisPairsCount; ++i) {
    const UnicodeJisPair& pair = kUnicodeJisPairs[i];
    const int index = JisIndex(pair.jis);
    if (pair.source == UnicodeFromCp932) continue;  // JIS X 0208 has its own code point
    codes.kind[index] = pair.source == UnicodeFromJisX0208 ? JisCodeX0208 : JisCodeX0213;
    codes.codePoint[index] = static_cast<int32_t>(pair.codePoint);
  }
  for (size_t i = 0; i < kJisCombiningSequenceCount; ++i)
    codes.kind[JisIndex(kJisCombiningSequences[i])] = JisCodeX0213;
  return codes;
}

const JisCodes& TheJisCodes() {
  static const JisCodes codes = IndexJisCodes();
  return codes;
}

}  // namespace

int Kanji_UnicodeToJis(int codePoint) {
  if (codePoint >= 0 && codePoint < 0x80) return codePoint;
  if (codePoint >= kHalfWidthKatakanaFirst && codePoint <= kHalfWidthKatakanaLast)
    return codePoint - kHalfWidthKatakanaFirst + 0xA1;
  const UnicodeJisPair* pair = FindPair(kUnicodeJisPairs, kUnicodeJisPairsCount, codePoint);
  return pair != nullptr ? pair->jis : -1;
}

int Kanji_UnicodeFallbackJis(int codePoint) {
  const UnicodeJisPair* pair = FindPair(kUnicodeJisFallbacks, kUnicodeJisFallbacksCount, codePoint);
  return pair != nullptr ? pair->jis : -1;
}

int Kanji_JisCodeKind(int jis) {
  const int index = JisIndex(jis);
  return index < 0 ? static_cast<int>(JisCodeFree) : TheJisCodes().kind[static_cast<size_t>(index)];
}

int Kanji_JisToUnicode(int jis) {
  if (jis >= 0 && jis < 0x80) return jis;
  if (jis >= 0xA1 && jis <= 0xDF) return jis - 0xA1 + kHalfWidthKatakanaFirst;
  const int index = JisIndex(jis);
  return index < 0 ? -1 : TheJisCodes().codePoint[static_cast<size_t>(index)];
}

int Kanji_JisCodeSlot(int jis) { return jis < 256 ? jis : Kanji_TwoByteSlot(jis >> 8, jis & 0xFF); }

bool Kanji_IsFreeJisCode(int jis) {
  return JisIndex(jis) >= 0 && Kanji_JisCodeKind(jis) != JisCodeX0208;
}

int Kanji_FreeCodeTarget(int jis) {
  if (!Kanji_IsFreeJisCode(jis)) return -1;
  const UnicodeJisPair* end = kFreeCodeReadings + kFreeCodeReadingsCount;
  const UnicodeJisPair* reading =
      std::lower_bound(kFreeCodeReadings, end, jis,
                       [](const UnicodeJisPair& pair, int value) { return pair.jis < value; });
  if (reading != end && reading->jis == jis) {
    // JIS X 0213 keeps NEC row 13's characters where CP932 has them.
    if (jis >> 8 == kNecRow13 && reading->source == UnicodeFromCp932) return jis;
    const int target = Kanji_UnicodeToJis(static_cast<int>(reading->codePoint));
    return target >= 256 ? target : -1;  // a two-byte glyph fills no single-byte slot
  }
  return Kanji_JisCodeKind(jis) == JisCodeX0213 ? jis : -1;
}
