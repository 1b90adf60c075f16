// SPDX-License-Identifier: MIT
// Unicode fonts through the built program: a JIS font pair re-encoded to
// Unicode by iconv converts to the same files as the original, and Debian's
// own Unicode fonts convert with every JIS X 0208 glyph in its cell.
#include "../kanji/iconv_text.h"
#include "kanji_internal.h"
#include "run_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <sstream>

namespace {

using Cell = std::vector<std::vector<bool>>;

// A JIS font with its codes turned into Unicode code points, and the original
// with the glyphs whose code has no Unicode character made unencoded, as
// they are in the Unicode font.
struct Reencoded {
  std::string unicode;
  std::string reference;
  int lost = 0;
};

struct JisToUnicode {
  Iconv euc{"UTF-32LE", "EUC-JP"};
  Iconv shiftJis{"UTF-32LE", "SHIFT_JIS"};

  // Two-byte codes are JIS X 0208, single bytes JIS X 0201; -1 for none.
  long CodePoint(long code) {
    if (code > 255) {
      return CodePointOf(euc,
                         {static_cast<char>(0x80 | code >> 8), static_cast<char>(0x80 | code)});
    }
    const long codePoint = CodePointOf(shiftJis, std::string(1, static_cast<char>(code)));
    // JIS X 0201 Roman has the yen sign at 0x5C and the overline at 0x7E. A
    // Unicode font's yen sign and overline have no slot (EUC-JP and CP932 give
    // 0x5C and 0x7E to ASCII); the re-encoded font names them as those do.
    if (codePoint == 0xA5) return 0x5C;
    if (codePoint == 0x203E) return 0x7E;
    return codePoint;
  }
};

Reencoded Reencode(const std::string& path, JisToUnicode& convert) {
  std::vector<uint8_t> bytes = ReadFileOrEmpty(path);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  Reencoded font;
  for (std::string line; std::getline(in, line);) {
    std::string unicodeLine = line, referenceLine = line;
    if (line.rfind("CHARSET_REGISTRY ", 0) == 0) unicodeLine = "CHARSET_REGISTRY \"ISO10646\"";
    if (line.rfind("CHARSET_ENCODING ", 0) == 0) unicodeLine = "CHARSET_ENCODING \"1\"";
    if (line.rfind("FONT -", 0) == 0)  // the name's set would win over the properties
      unicodeLine = line.substr(0, line.rfind('-', line.rfind('-') - 1)) + "-ISO10646-1";
    if (line.rfind("ENCODING ", 0) == 0) {
      const long codePoint = convert.CodePoint(std::stol(line.substr(9)));
      unicodeLine = "ENCODING " + std::to_string(codePoint);
      if (codePoint < 0) {
        referenceLine = "ENCODING -1";
        ++font.lost;
      }
    }
    font.unicode += unicodeLine + "\n";
    font.reference += referenceLine + "\n";
  }
  return font;
}

struct RunFiles {
  std::vector<uint8_t> packed;
  std::vector<uint8_t> image;
};

RunFiles ConvertIn(const std::string& folder, const std::string& mainFont,
                   const std::string& secondFont, int size) {
  mkdir(folder.c_str(), 0777);
  WriteIni(folder, mainFont, secondFont, std::to_string(size));
  RunResult run = RunTavrest(folder);
  EXPECT_EQ(run.exitStatus, 0) << run.standardError;
  return RunFiles{ReadFileOrEmpty(folder + "/tavrest.qpk"),
                  ReadFileOrEmpty(folder + "/tavrest.tga")};
}

struct FontPair {
  const char* mainFont;
  const char* secondFont;
  int size;
  int lost;  // glyphs at codes without a character: 8x16rk has a blank one at 0xA0
};

void PrintTo(const FontPair& pair, std::ostream* out) {
  *out << pair.mainFont << " + " << pair.secondFont;
}

class ReencodedToUnicode : public testing::TestWithParam<FontPair> {};

TEST_P(ReencodedToUnicode, ConvertsToTheSameFiles) {
  const FontPair& pair = GetParam();
  JisToUnicode convert;
  ASSERT_TRUE(convert.euc.ok() && convert.shiftJis.ok());
  Reencoded main = Reencode(FontPath(pair.mainFont), convert);
  Reencoded second = Reencode(FontPath(pair.secondFont), convert);
  EXPECT_EQ(main.lost + second.lost, pair.lost);
  TempDir dir;
  WriteFileBytes(dir.File("main.bdf"), main.unicode);
  WriteFileBytes(dir.File("second.bdf"), second.unicode);
  const RunFiles original = ConvertIn(dir.File("original"), FontPath(pair.mainFont),
                                      FontPath(pair.secondFont), pair.size);
  const RunFiles unicode =
      ConvertIn(dir.File("unicode"), dir.File("main.bdf"), dir.File("second.bdf"), pair.size);
  ASSERT_GT(original.packed.size(), 4u);
  ASSERT_GT(original.image.size(), 18u);
  EXPECT_TRUE(unicode.packed == original.packed);
  if (pair.lost == 0) {
    EXPECT_TRUE(unicode.image == original.image);
    return;
  }
  // A lost blank glyph packs as an empty slot, but the image shows its cell.
  WriteFileBytes(dir.File("main-reference.bdf"), main.reference);
  WriteFileBytes(dir.File("second-reference.bdf"), second.reference);
  const RunFiles reference = ConvertIn(dir.File("reference"), dir.File("main-reference.bdf"),
                                       dir.File("second-reference.bdf"), pair.size);
  EXPECT_TRUE(reference.packed == original.packed);
  EXPECT_TRUE(unicode.image == reference.image);
}

INSTANTIATE_TEST_SUITE_P(Debian, ReencodedToUnicode,
                         testing::Values(FontPair{"jiskan16", "8x16rk", 16, 1},
                                         FontPair{"k14", "7x14-JISX0201.1976-0", 14, 0}),
                         [](const auto& info) { return std::string(info.param.mainFont); });

// Their ASCII glyphs are drawn in full cells, which single-byte slots cut
// to half width; only the JIS X 0208 cells are compared.
TEST(RealUnicodeFonts, PlaceEveryJisX0208GlyphInItsCell) {
  const std::pair<const char*, int> fonts[] = {{"18x18ja", 18}, {"12x13ja", 13}};
  for (const auto& [name, size] : fonts) {
    SCOPED_TRACE(name);
    TempDir dir;
    const RunFiles files = ConvertIn(dir.path, FontPath(name), FontPath(name), size);
    int32_t cellSize = 0;
    std::vector<uint8_t> stream;
    ASSERT_TRUE(DecodePackedFile(files.packed, cellSize, stream));
    std::map<int, Cell> expected;
    for (const BdfGlyph& glyph : ReadBdfGlyphs(FontPath(name))) {
      const int jis = Kanji_UnicodeToJis(static_cast<int>(glyph.encoding));
      if (jis < 256) continue;
      expected.emplace(Kanji_JisCodeSlot(jis), ExpectedCell(glyph, size, size));  // first wins
    }
    EXPECT_GE(expected.size(), 6877u);  // of the 6879 characters
    const Cell blank(static_cast<size_t>(size), std::vector<bool>(size, false));
    for (int slot = 256; slot < GlyphSlotCount; ++slot) {
      auto cell = expected.find(slot);
      ASSERT_EQ(PackedCell(stream, size, slot), cell == expected.end() ? blank : cell->second)
          << "slot " << slot;
    }
  }
}

}  // namespace
