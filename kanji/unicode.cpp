// Unicode characters placed by their JIS meaning.
#include "kanji_internal.h"

#include <algorithm>

namespace {

constexpr int kHalfWidthKatakanaFirst = 0xFF61;  // in JIS X 0201 at 0xA1
constexpr int kHalfWidthKatakanaLast = 0xFF9F;   // at 0xDF

}  // namespace

int Kanji_UnicodeToJis(int codePoint) {
  if (codePoint >= 0 && codePoint < 0x80) return codePoint;
  if (codePoint >= kHalfWidthKatakanaFirst && codePoint <= kHalfWidthKatakanaLast)
    return codePoint - kHalfWidthKatakanaFirst + 0xA1;
  const UnicodeJisPair* end = kUnicodeJisPairs + kUnicodeJisPairCount;
  const UnicodeJisPair* found =
      std::lower_bound(kUnicodeJisPairs, end, codePoint, [](const UnicodeJisPair& pair, int value) {
        return static_cast<int64_t>(pair.codePoint) < value;
      });
  if (found == end || static_cast<int64_t>(found->codePoint) != codePoint) return -1;
  return found->jis;
}

int Kanji_JisCodeSlot(int jis) { return jis < 256 ? jis : Kanji_TwoByteSlot(jis >> 8, jis & 0xFF); }

// Only load reports ask, for a few codes each: a scan of the table will do.
int Kanji_JisToUnicode(int jis) {
  if (jis >= 0 && jis < 0x80) return jis;
  if (jis >= 0xA1 && jis <= 0xDF) return jis - 0xA1 + kHalfWidthKatakanaFirst;
  if (jis < 256) return -1;
  // The table is sorted by code point; where EUC-JP and CP932 give two, the
  // first is the lower.
  for (size_t i = 0; i < kUnicodeJisPairCount; ++i)
    if (kUnicodeJisPairs[i].jis == jis) return static_cast<int>(kUnicodeJisPairs[i].codePoint);
  return -1;
}
