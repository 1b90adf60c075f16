// SPDX-License-Identifier: MIT
// How much of Japanese text a font covers: the JIS X 0208 characters and the
// other characters of JIS X 0213 plane 1 it filled with ink, for -v.
#include "run_parts.h"

FontCoverage CountCoverage(const FontSet& font) {
  FontCoverage coverage;
  for (int first = 0x21; first <= 0x7E; ++first) {
    for (int second = 0x21; second <= 0x7E; ++second) {
      if (!Kanji_HasCharacter(&font, Kanji_TwoByteSlot(first, second))) continue;
      const int kind = Kanji_JisCodeKind(first << 8 | second);
      coverage.jisX0208 += kind == JisCodeX0208;
      coverage.jisX0213 += kind == JisCodeX0213;
    }
  }
  return coverage;
}

FontCoverage CoverageGained(const FontCoverage& before, const FontCoverage& after) {
  return FontCoverage{after.jisX0208 - before.jisX0208, after.jisX0213 - before.jisX0213};
}

void ReportCoverage(const FontLoad& load) {
  Report(
      "%s: %d of the %d JIS X 0208 characters, %d of the %d other characters of JIS X 0213 "
      "plane 1",
      load.path.c_str(), load.coverage.jisX0208, int{JisX0208CharacterCount},
      load.coverage.jisX0213, int{JisX0213OtherCharacterCount});
}
