// SPDX-License-Identifier: MIT
// The checked-in Unicode table against its sources: regenerated from glibc's
// iconv it is the same file, and Debian's fonts fill the slots of JIS X 0213
// plane 1 that glibc and Python's euc_jis_2004 codec give their characters.
#include "iconv_text.h"
#include "kanji_internal.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace {

TEST(UnicodeTable, RegeneratedFromIconvIsTheCheckedInFile) {
  TempDir dir;
  std::vector<uint8_t> output;
  ASSERT_TRUE(RunProgram({TAVREST_MAKE_UNICODE_TABLE, dir.File("unicode_table.cpp")}, output));
  const std::vector<uint8_t> made = ReadFileOrEmpty(dir.File("unicode_table.cpp"));
  ASSERT_FALSE(made.empty());
  EXPECT_TRUE(made == ReadFileOrEmpty(TAVREST_SOURCE_DIR "/kanji/unicode_table.cpp"))
      << "kanji/unicode_table.cpp is stale: run make_unicode_table kanji/unicode_table.cpp";
}

// JIS code to code point, for the plane-1 codes JIS X 0208 leaves free.
using CodeMap = std::map<int, long>;

// glibc's EUC-JISX0213 and Python's codec disagree on two codes (U+FF5F and
// U+FF60 against U+2985 and U+2986); both are fair readings.
constexpr int kDisputed[] = {0x2256, 0x2257};

std::string EucBytes(int jis) {
  return {static_cast<char>(jis >> 8 | 0x80), static_cast<char>(jis | 0x80)};
}

bool IsJisX0208(Iconv& euc, int jis) { return CodePointOf(euc, EucBytes(jis)) >= 0; }

CodeMap ByGlibc(Iconv& euc) {
  Iconv x0213("UTF-32LE", "EUC-JISX0213");
  CodeMap codes;
  for (int jis = 0x2121; jis <= 0x7E7E; ++jis) {
    const long codePoint = CodePointOf(x0213, EucBytes(jis));
    if ((jis & 0xFF) >= 0x21 && (jis & 0xFF) <= 0x7E && codePoint >= 0 && !IsJisX0208(euc, jis))
      codes[jis] = codePoint;
  }
  return codes;
}

CodeMap ByPython(Iconv& euc) {
  std::vector<uint8_t> output;
  EXPECT_TRUE(RunProgram(
      {"/usr/bin/env", "python3", TAVREST_SOURCE_DIR "/tests/kanji/euc_jis_2004_codes.py"},
      output));
  std::istringstream lines(std::string(output.begin(), output.end()));
  CodeMap codes;
  for (int jis = 0, codePoint = 0; lines >> std::hex >> jis >> codePoint;)
    if (!IsJisX0208(euc, jis)) codes[jis] = codePoint;
  return codes;
}

std::set<int> Undisputed(std::set<int> codes) {
  for (int jis : kDisputed) codes.erase(jis);
  return codes;
}

// The free codes of plane 1 a font filled, and those its characters should fill.
std::set<int> Filled(const FontSet& font, const CodeMap& codes) {
  std::set<int> filled;
  for (const auto& [jis, codePoint] : codes)
    if (font.glyphs[Kanji_JisCodeSlot(jis)] != nullptr) filled.insert(jis);
  return filled;
}

std::set<int> Reached(const CodeMap& codes, const std::set<long>& codePoints) {
  std::set<int> reached;
  for (const auto& [jis, codePoint] : codes)
    if (codePoints.count(codePoint) != 0) reached.insert(jis);
  return reached;
}

struct FontDeleter {
  void operator()(FontSet* font) const { Kanji_DestroyFontSet(font); }
};

TEST(UnicodeTable, RealFontsFillTheFreeCodesOfPlane1) {
  struct Case {
    const char* name;
    bool unicode;  // else its codes are JIS X 0213 codes
    size_t filled;
  };
  const Case cases[] = {{"unifont", true, 1867},
                        {"f16", true, 1709},
                        {"b16", true, 1709},
                        {"jiskan16-2004-1", false, 1893}};
  Iconv euc("UTF-32LE", "EUC-JP"), toUtf8("UTF-8", "UTF-32LE");
  ASSERT_TRUE(euc.ok() && toUtf8.ok());
  const CodeMap glibc = ByGlibc(euc), python = ByPython(euc);
  ASSERT_EQ(glibc.size(), 1893u);
  ASSERT_EQ(python.size(), glibc.size());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<FontSet, FontDeleter> font(Kanji_CreateFontSet(FontPath(c.name).c_str(), 16));
    ASSERT_TRUE(font);
    const std::set<int> filled = Filled(*font, glibc);
    EXPECT_EQ(filled.size(), c.filled);
    EXPECT_EQ(Undisputed(Filled(*font, python)), Undisputed(filled));
    if (c.unicode) {
      std::set<long> codePoints;
      for (const BdfGlyph& glyph : ReadBdfGlyphs(FontPath(c.name)))
        codePoints.insert(glyph.encoding);
      EXPECT_EQ(filled, Reached(glibc, codePoints));
      EXPECT_EQ(Undisputed(filled), Undisputed(Reached(python, codePoints)));
    }
    // Each of them is drawn from its slot in UTF-8 text.
    std::string utf32, text;
    for (int jis : filled)
      for (int shift : {0, 8, 16, 24}) utf32 += static_cast<char>(glibc.at(jis) >> shift);
    ASSERT_TRUE(toUtf8.Convert(utf32, text));
    Kanji_SetEncoding(font.get(), EncodingUtf8);
    EXPECT_EQ(Kanji_MissingCharacters(font.get(), text.c_str(), nullptr, 0), 0);
    EXPECT_EQ(Kanji_TextWidth(font.get(), text.c_str()), static_cast<int>(filled.size()) * 16);
  }
}

}  // namespace
