// SPDX-License-Identifier: MIT
#include "kanji_internal.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <string>

namespace {

struct SlotCase {
  int first, second, slot;
};

TEST(TwoByteSlot, JisRowsOwnBlocksOf96) {
  const SlotCase cases[] = {
      {0x21, 0x21, 352},           {0x24, 0x22, 641},   {0x7E, 0x7E, 9373},
      {0x21, 0x20, 351},           {0x22, 0x20, 447},   {0x7F, 0x7F, 9470},
      {0x01, 0x00, -2753},         {0xFF, 0xFF, 21886}, {INT_MAX, INT_MAX, INT_MAX},
      {INT_MIN, INT_MIN, INT_MIN},  // saturated, not wrapped
  };
  for (const auto& c : cases)
    EXPECT_EQ(Kanji_TwoByteSlot(c.first, c.second), c.slot) << c.first << "," << c.second;
  // Every slot's code leads back to it: all 256 single-byte codes and the
  // 94 x 94 JIS codes; every other slot has none.
  int coded = 0;
  for (int slot = -1; slot <= GlyphSlotCount; ++slot) {
    const int code = Kanji_SlotJisCode(slot);
    if (code < 0) continue;
    ++coded;
    EXPECT_EQ(Kanji_JisCodeSlot(code), slot) << slot;
    const int first = code >> 8, second = code & 0xFF;
    EXPECT_TRUE(first == 0 || (first >= 0x21 && first <= 0x7E && second >= 0x21 && second <= 0x7E))
        << slot;
  }
  EXPECT_EQ(coded, 256 + 94 * 94);
}

TEST(RowShift, RightAlignsGlyphInWholeBytes) {
  const int cases[][3] = {// size, fullShift, halfShift
                          {8, 0, 4},  {10, 6, 3}, {12, 4, 2}, {14, 2, 1}, {15, 1, 1},
                          {16, 0, 0}, {24, 0, 4}, {1, 7, 8},  {25, 7, 4}, {32, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(Kanji_RowShift(c[0]), c[1]) << "size " << c[0];
    EXPECT_EQ(Kanji_RowShift(c[0] / 2), c[2]) << "size " << c[0];
  }
}

TEST(ParseHexRow, SaturatesAndHoldsFourByteRows) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"FFFC\n", 0xFFFC},
      {"  fe", 0xFE},
      {"0x1F", 0x1F},
      {"0XzZ", 0},
      {"ENDCHAR", 0xE},
      {"STARTCHAR", 0},
      {"", 0},
      {"-1", 0xFFFFFFFF},
      {"+10", 0x10},
      {"FFFFFFFF", 0xFFFFFFFF},
      {"80000000", 0x80000000},
      {"123456789ABC", 0xFFFFFFFF},
      {"7FFFFFFF", 0x7FFFFFFF},
      {"-FFFFFFFFFF", 0x80000000},
  };
  for (const auto& [text, value] : cases)
    EXPECT_EQ(static_cast<uint32_t>(Kanji_ParseHexRow(text)), value) << text;
}

TEST(ParseDecimal, TakesLeadingNumberWithSaturation) {
  const std::pair<const char*, int> cases[] = {
      {" 65\n", 65},
      {"\t-1", -1},
      {"+9250", 9250},
      {"x12", 0},
      {"74786", 74786},
      {"99999999999999", 2147483647},
      {"-99999999999999", -2147483647 - 1},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(Kanji_ParseDecimal(text), value) << text;
}

std::string Glyph(int code, const std::string& rows) {
  return "STARTCHAR g\nENCODING " + std::to_string(code) + "\nBBX 8 2 0 0\nBITMAP\n" + rows +
         "ENDCHAR\n";
}

struct LoadedFont {
  TempDir dir;
  FontSet* font = nullptr;
  LoadedFont(const std::string& bdf, int size) {
    WriteFileBytes(dir.File("f.bdf"), bdf);
    font = Kanji_CreateFontSet(dir.File("f.bdf").c_str(), size);
  }
  ~LoadedFont() { Kanji_DestroyFontSet(font); }
  int32_t Row(int slot, int row) const { return font->glyphs[slot][row]; }
};

TEST(LoadBdf, PlacesCodesAndShiftsRows) {
  LoadedFont f(Glyph(65, "F0\nFE\n") + Glyph(9250, "FFFC\n8004\n") + Glyph(74786, "FFFF\n") +
                   Glyph(-1, "FF\n") + Glyph(66, "81\n"),
               14);
  ASSERT_NE(f.font, nullptr);
  EXPECT_EQ(f.font->halfWidth, 7);
  EXPECT_EQ(f.font->encoding, EncodingJis);
  EXPECT_EQ(f.Row(65, 0), 0x78);
  EXPECT_EQ(f.Row(65, 1), 0x7F);
  EXPECT_EQ(f.Row(65, 2), 0);  // rows after ENDCHAR stay empty
  EXPECT_EQ(f.Row(641, 0), 0x3FFF);
  EXPECT_EQ(f.Row(641, 1), 0x2001);
  EXPECT_EQ(f.Row(66, 0), 0x40);  // the unencoded glyph before it is skipped
  int filled = 0;
  for (int32_t* rows : f.font->glyphs) filled += rows != nullptr;
  EXPECT_EQ(filled, 3);  // 74786 lands in 641, which is taken
}

TEST(LoadBdf, LineQuirks) {
  const std::string header =
      "STARTFONT 2.1\nCOMMENT ENCODING 70 in a comment\nCHARSET_ENCODING \"0\"\n"
      "ENCODINGX 71\nSTARTCHAR a\nENCODING\t67\nxxBITMAPxx\n11\n22\nENDCHAR\n";
  LoadedFont f(header + Glyph(67, "33\n") + Glyph(68, "0x44\n") + Glyph(69, "123456789\n1F\r\n"),
               8);
  ASSERT_NE(f.font, nullptr);
  EXPECT_EQ(f.font->glyphs[70], nullptr);
  EXPECT_EQ(f.font->glyphs[71], nullptr);
  EXPECT_EQ(f.font->glyphs[0], nullptr);  // CHARSET_ENCODING fills nothing
  EXPECT_EQ(f.Row(67, 0), 0x11 >> 4);     // tab counts as the blank; first glyph wins
  EXPECT_EQ(f.Row(67, 1), 0x22 >> 4);
  EXPECT_EQ(f.Row(68, 0), 0x44 >> 4);
  EXPECT_EQ(f.Row(69, 0), -1);  // saturated at 0xFFFFFFFF
  EXPECT_EQ(f.Row(69, 1), 0x1F >> 4);
}

TEST(LoadBdf, RowsAcrossTheReadersBlockEnds) {
  for (size_t start = 65530; start < 65540; ++start) {  // where the first row begins
    const std::string pad = "COMMENT " + std::string(start - 9 - 45, 'x') + "\n";
    LoadedFont f(pad + Glyph(9250, "ABCD\n1234\n"), 16);
    ASSERT_NE(f.font, nullptr);
    EXPECT_EQ(f.Row(641, 0), 0xABCD) << start;
    EXPECT_EQ(f.Row(641, 1), 0x1234) << start;
  }
}

TEST(LoadBdf, ExactlySizeRowsWhenTheGlyphHasThem) {
  // With size 2 the third bitmap line is not a row; the scan passes over it.
  LoadedFont f(Glyph(65, "80\n40\n20\n") + Glyph(66, "10\n08\n"), 2);
  ASSERT_NE(f.font, nullptr);
  EXPECT_EQ(f.Row(65, 0), 0x80 >> 7);
  EXPECT_EQ(f.Row(65, 1), 0x40 >> 7);
  EXPECT_EQ(f.Row(66, 0), 0);
}

TEST(LoadBdf, LongLinesAreReadInPiecesOf255) {
  // A 300-character line: its second piece is a line of its own and, since it
  // begins with "ENCODING ", starts a glyph.
  std::string longLine = std::string(255, 'x') + "ENCODING 72\n";
  LoadedFont f(longLine + "BITMAP\nAA\n", 8);
  ASSERT_NE(f.font, nullptr);
  ASSERT_NE(f.font->glyphs[72], nullptr);
  EXPECT_EQ(f.Row(72, 0), 0xA);
}

TEST(LoadBdf, FileEndingInsideGlyph) {
  LoadedFont f("ENCODING 65\nBITMAP\nFF", 8);
  ASSERT_NE(f.font, nullptr);
  EXPECT_EQ(f.Row(65, 0), 0xF);
  EXPECT_EQ(f.Row(65, 7), 0);
  LoadedFont g("ENCODING 65\nSWIDTH 1 0\n", 8);
  ASSERT_NE(g.font, nullptr);
  EXPECT_EQ(g.font->glyphs[65], nullptr);  // no BITMAP line, no rows
}

TEST(LoadBdf, FourByteRowsAtLargeCells) {
  LoadedFont f(Glyph(9250, "FFFFFFFF\n80000001\n"), 32);
  ASSERT_NE(f.font, nullptr);
  EXPECT_EQ(static_cast<uint32_t>(f.Row(641, 0)), 0xFFFFFFFFu);
  EXPECT_EQ(static_cast<uint32_t>(f.Row(641, 1)), 0x80000001u);
  LoadedFont g(Glyph(9250, "FFFFFF80\n"), 25);
  ASSERT_NE(g.font, nullptr);
  EXPECT_EQ(static_cast<uint32_t>(g.Row(641, 0)) & 0x1FFFFFF, 0x1FFFFFFu);
}

// Each case's glyph is loaded from a BDF, and its bytes placed directly as a
// compiled font's would be; both must give the rows.
TEST(LoadBdf, GlyphsPlacedByTheirBoxes) {
  const std::string ascent = "FONT_ASCENT 6\n";             // rows 0-5 above the baseline
  const std::string bounds = "FONTBOUNDINGBOX 8 8 1 -2\n";  // also 6, the left edge at x = 1
  struct Case {
    const char* name;
    std::string header;
    int size, code;
    std::string box, lines;
    std::vector<std::pair<int, uint32_t>> rows;  // the rows with ink
    int cut;                                     // CutSide bits
  };
  const Case cases[] = {
      {"up", ascent, 8, 0x2422, "8 2 0 2", "FF\n81\n", {{2, 0xFF}, {3, 0x81}}, 0},
      {"descender", ascent, 8, 0x2422, "8 2 0 -2", "FF\n81\n", {{6, 0xFF}, {7, 0x81}}, 0},
      {"ink below the cell", ascent, 8, 0x2422, "8 2 0 -3", "FF\n81\n", {{7, 0xFF}}, CutBottom},
      {"blank below the cell", ascent, 8, 0x2422, "8 2 0 -3", "FF\n00\n", {{7, 0xFF}}, 0},
      {"above the cell",
       ascent,
       8,
       0x2422,
       "8 3 0 4",
       "18\n24\n42\n",
       {{0, 0x24}, {1, 0x42}},
       CutTop},
      {"right", ascent, 8, 0x2422, "4 1 2 0", "F0\n", {{5, 0x3C}}, 0},
      {"ink beyond the right", ascent, 8, 0x2422, "8 1 2 0", "FF\n", {{5, 0x3F}}, CutRight},
      {"the font's box moves nothing", bounds, 8, 0x2422, "8 1 0 0", "FF\n", {{5, 0xFF}}, 0},
      {"left of the origin", bounds, 8, 0x2422, "8 1 -2 0", "FF\n", {{5, 0xFC}}, CutLeft},
      {"italic, wider than the cell",
       ascent,
       8,
       0x2422,
       "11 1 -1 0",
       "FFE0\n",
       {{5, 0xFF}},
       CutLeft | CutRight},
      {"half width", ascent, 8, 65, "4 1 1 0", "F0\n", {{5, 0x7}}, CutRight},
      {"forty pixels wide", ascent, 32, 0x2422, "40 1 -8 0", "00FFFFFF81\n", {{5, 0xFFFFFF81}}, 0},
      {"narrow rows start left", ascent, 16, 0x2422, "8 6 0 0", "FF\n", {{0, 0xFF00}}, 0},
      {"over-wide lines keep their left",
       ascent,
       8,
       65,
       "16 6 0 0",
       "ABCD\n",
       {{0, 0xA}},
       CutRight},
      {"no ascent, no bounding box", "", 16, 0x2422, "8 2 0 2", "FF\n", {{0, 0xFF}}, 0},
      {"no box", ascent, 16, 0x2422, "", "FF\n", {{0, 0xFF}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string boxLine = c.box.empty() ? "" : "BBX " + c.box + "\n";
    LoadedFont f(c.header + "ENCODING " + std::to_string(c.code) + "\n" + boxLine + "BITMAP\n" +
                     c.lines + "ENDCHAR\n",
                 c.size);
    ASSERT_NE(f.font, nullptr);
    const int slot = c.code > 255 ? Kanji_JisCodeSlot(c.code) : c.code;
    std::vector<int32_t> expected(static_cast<size_t>(c.size), 0);
    for (const auto& [row, value] : c.rows)
      expected[static_cast<size_t>(row)] = static_cast<int32_t>(value);
    EXPECT_EQ(std::vector<int32_t>(f.font->glyphs[slot], f.font->glyphs[slot] + c.size), expected);
    if (c.box.empty() || c.header.empty()) continue;
    GlyphBox box;
    sscanf(c.box.c_str(), "%d %d %d %d", &box.width, &box.height, &box.x, &box.y);
    std::vector<uint8_t> bytes;  // the lines hold whole bytes
    std::istringstream in(c.lines);
    for (std::string line; std::getline(in, line);)
      for (size_t i = 0; i + 1 < line.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
    std::vector<int32_t> rows(static_cast<size_t>(c.size), 0);
    const GlyphTarget target{rows.data(), 0, c.size, c.code > 255 ? c.size : c.size / 2};
    const int lineCount = static_cast<int>(bytes.size()) / Kanji_BoxLineBytes(box.width);
    EXPECT_EQ(Kanji_PlaceGlyph(box, CellPlacement{6}, bytes.data(), lineCount, target), c.cut);
    EXPECT_EQ(rows, expected);
  }
}

TEST(LoadBdf, FirstLoadedWinsAcrossFiles) {
  TempDir dir;
  WriteFileBytes(dir.File("a.bdf"), Glyph(65, "80\n"));
  WriteFileBytes(dir.File("b.bdf"), Glyph(65, "40\n") + Glyph(66, "20\n"));
  FontSet* font = Kanji_CreateFontSet(dir.File("a.bdf").c_str(), 16);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(Kanji_LoadBdf(font, dir.File("b.bdf").c_str()), 0);
  EXPECT_EQ(font->glyphs[65][0], 0x80);
  EXPECT_EQ(font->glyphs[66][0], 0x20);
  Kanji_DestroyFontSet(font);
}

// What a load reports: glyphs placed and glyphs that lose ink to the cell.
TEST(LoadBdf, ReportCountsLoadedAndCutGlyphs) {
  struct Case {
    const char* name;
    std::string bdf;
    int size;
    int loaded, cut, fileKind;
    int firstCut = -1;  // JIS code
  };
  const Case cases[] = {
      {"fits", Glyph(65, "F0\n") + Glyph(9250, "FFFF\n8001\n"), 16, 2, 0, FontFileBdf},
      {"as many rows as the cell", Glyph(65, "80\n80\n"), 2, 1, 0, FontFileBdf},
      {"ink below the cell", Glyph(65, "80\n80\n80\n"), 2, 1, 1, FontFileBdf, 65},
      {"blank rows below the cell", Glyph(65, "80\n80\n00\n"), 2, 1, 0, FontFileBdf},
      {"ink right of a half cell", Glyph(65, "FF\n"), 14, 1, 1, FontFileBdf},  // 7 wide
      {"ink left of a full cell", Glyph(9250, "FFFFFF\n"), 16, 1, 1, FontFileBdf, 0x2422},
      {"both at once counts once", Glyph(65, "FF\n80\n40\n"), 2, 1, 1, FontFileBdf},
      {"taken slot is no load", Glyph(65, "80\n") + Glyph(65, "FF\n80\n"), 16, 1, 0, FontFileBdf},
      {"code without slot", Glyph(-1, "80\n"), 16, 0, 0, FontFileBdf},
      {"empty file", "", 16, 0, 0, FontFileBdf},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFileBytes(dir.File("f.bdf"), c.bdf);
    FontSet* font = Kanji_CreateEmptyFontSet(c.size);
    ASSERT_NE(font, nullptr);
    FontLoadReport report;
    EXPECT_EQ(Kanji_LoadBdfWithReport(font, dir.File("f.bdf").c_str(), &report), 0) << c.name;
    EXPECT_EQ(report.glyphsLoaded, c.loaded) << c.name;
    EXPECT_EQ(report.glyphsCut, c.cut) << c.name;
    if (c.firstCut >= 0) {
      EXPECT_EQ(report.cutCodes[0], c.firstCut) << c.name;
    }
    EXPECT_EQ(report.fileKind, c.fileKind) << c.name;
    EXPECT_EQ(report.charset, CharsetJis) << c.name;
    Kanji_DestroyFontSet(font);
  }
}

std::string CharsetLines(const std::string& registry, const std::string& encoding) {
  return "STARTPROPERTIES 2\nCHARSET_REGISTRY " + registry + "\nCHARSET_ENCODING " + encoding +
         "\nENDPROPERTIES\n";
}

// U+FF5E is JIS X 0213's 0x2232 and CP932's 0x2141: it fills both, unless
// U+301C (EUC-JP's 0x2141) came first.
TEST(LoadBdf, UnicodeCodePointsJisX0213MovedAlsoFillTheirOldSlot) {
  const std::string unicode = CharsetLines("ISO10646", "1");
  const int tildeSlot = Kanji_TwoByteSlot(0x22, 0x32), waveSlot = Kanji_TwoByteSlot(0x21, 0x41);
  LoadedFont alone(unicode + Glyph(0xFF5E, "F0\n"), 16);
  EXPECT_EQ(alone.Row(tildeSlot, 0), 0xF0);
  EXPECT_EQ(alone.Row(waveSlot, 0), 0xF0);
  LoadedFont both(unicode + Glyph(0x301C, "80\n") + Glyph(0xFF5E, "F0\n"), 16);
  EXPECT_EQ(both.Row(tildeSlot, 0), 0xF0);
  EXPECT_EQ(both.Row(waveSlot, 0), 0x80);
}

// The character set named before the first glyph decides where codes go.
TEST(LoadBdf, CharsetPropertiesPlaceOrRefuseCodes) {
  // 'A', JIS 0x2422, U+5B8C, U+FF71 (half-width katakana), 0xC8 (as U+00C8 JIS X 0213's
  // 0x293F) and a glyph without code.
  const std::string glyphs = Glyph(65, "F0\n") + Glyph(0x2422, "F0\n") + Glyph(0x5B8C, "F0\n") +
                             Glyph(0xFF71, "F0\n") + Glyph(0xC8, "F0\n") + Glyph(-1, "F0\n");
  struct Placed {
    int slot;
    bool halfWidth;
  };
  const std::vector<Placed> jis = {{65, true}, {641, false}, {6027, false}, {200, true}};
  const std::vector<Placed> unicode = {{65, true}, {2191, false}, {0xB1, true}, {1150, false}};
  const std::vector<Placed> singleByte = {{65, true}};
  struct Case {
    const char* name;
    std::string header;
    int charset;
    std::string registry;
    int skipped;
    std::vector<Placed> placed;
    std::string propertiesRegistry = "";  // when the FONT name overrides them
  };
  const std::string longName(100, 'X');
  const std::string xlfd = "FONT -Misc-Fixed Sans-Medium-R-Normal--14-130-75-75-C-140-";
  const Case cases[] = {
      {"no properties", "", CharsetJis, "", 1, jis},
      {"JIS X 0208", CharsetLines("\"JISX0208.1983\"", "\"0\""), CharsetJis, "JISX0208.1983-0", 1,
       jis},
      {"JIS X 0201", CharsetLines("\"JISX0201.1976\"", "\"0\""), CharsetJis, "JISX0201.1976-0", 1,
       jis},
      {"JIS X 0213 plane 1", CharsetLines("\"JISX0213.2004\"", "\"1\""), CharsetJis,
       "JISX0213.2004-1", 1, jis},
      {"unknown set", CharsetLines("\"FOO\"", "\"7\""), CharsetJis, "FOO-7", 1, jis},
      {"long name cut", CharsetLines(longName, "1"), CharsetJis, longName.substr(0, 63), 1, jis},
      {"Unicode", CharsetLines("\"ISO10646\"", "\"1\""), CharsetUnicode, "ISO10646-1", 1, unicode},
      {"bare lower case", CharsetLines("iso10646 ", "1"), CharsetUnicode, "iso10646-1", 1, unicode},
      {"registry alone", "CHARSET_REGISTRY \"ISO10646\"\n", CharsetUnicode, "ISO10646", 1, unicode},
      {"Latin-1", CharsetLines("\"ISO8859\"", "\"1\""), CharsetSingleByte, "ISO8859-1", 4,
       singleByte},
      {"KOI8-R", CharsetLines("\"KOI8\"", "\"R\""), CharsetSingleByte, "KOI8-R", 4, singleByte},
      {"JIS X 0213 plane 2",
       CharsetLines("\"JISX0213.2004\"", "\"2\""),
       CharsetRefused,
       "JISX0213.2004-2",
       0,
       {}},
      {"JIS X 0212",
       CharsetLines("\"JISX0212.1990\"", "\"0\""),
       CharsetRefused,
       "JISX0212.1990-0",
       0,
       {}},
      {"GB 2312", CharsetLines("\"GB2312.1980\"", "\"0\""), CharsetRefused, "GB2312.1980-0", 0, {}},
      {"KS C 5601",
       CharsetLines("\"KSC5601.1987\"", "\"0\""),
       CharsetRefused,
       "KSC5601.1987-0",
       0,
       {}},
      {"Big5", CharsetLines("\"BIG5\"", "\"0\""), CharsetRefused, "BIG5-0", 0, {}},
      {"XLFD name wins", xlfd + "ISO10646-1\r\n" + CharsetLines("\"JISX0208.1983\"", "\"0\""),
       CharsetUnicode, "ISO10646-1", 1, unicode, "JISX0208.1983-0"},
      {"XLFD of the same set", xlfd + "jisx0208.1990-0\n" + CharsetLines("JISX0208.1983", "0"),
       CharsetJis, "JISX0208.1983-0", 1, jis},
      {"XLFD alone", xlfd + "ISO8859-1 \n", CharsetSingleByte, "ISO8859-1", 4, singleByte},
      {"no XLFD: 13 fields", "FONT -a-b-c-d-e-f-g-h-i-j-ISO10646-1\n", CharsetJis, "", 1, jis},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteFileBytes(dir.File("f.bdf"), "STARTFONT 2.1\n" + c.header + "CHARS 6\n" + glyphs);
    FontSet* font = Kanji_CreateEmptyFontSet(14);
    ASSERT_NE(font, nullptr);
    FontLoadReport report;
    testing::internal::CaptureStderr();
    EXPECT_EQ(Kanji_LoadBdfWithReport(font, dir.File("f.bdf").c_str(), &report), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(report.charset, c.charset);
    EXPECT_EQ(report.registry, c.registry);
    EXPECT_EQ(report.propertiesRegistry, c.propertiesRegistry);
    EXPECT_EQ(report.codesSkipped, c.skipped);
    EXPECT_EQ(report.glyphsLoaded, static_cast<int>(c.placed.size()));
    int filled = 0;
    for (int32_t* rows : font->glyphs) filled += rows != nullptr;
    EXPECT_EQ(filled, static_cast<int>(c.placed.size()));
    for (const Placed& p : c.placed) {
      ASSERT_NE(font->glyphs[p.slot], nullptr) << "slot " << p.slot;
      EXPECT_EQ(font->glyphs[p.slot][0], p.halfWidth ? 0xF0 >> 1 : 0xF0 >> 2) << "slot " << p.slot;
    }
    Kanji_DestroyFontSet(font);
  }
}

// A JIS X 0208 font's glyphs at codes JIS X 0208 leaves free go to the slots
// of the characters they stand for, after the font's own; blank ones fill
// nothing. A JIS X 0213 font keeps them all at their codes.
TEST(LoadBdf, FreeJisCodesGoToTheirCharactersSlots) {
  const std::string glyphs = Glyph(0x2D21, "01\n") +  // NEC row 13's U+2460: stays
                             Glyph(0x2E21, "02\n") +  // JIS X 0213's alone: stays
                             Glyph(0x7921, "03\n") +  // CP932's U+7E8A: to JIS X 0213's code
                             Glyph(0x2237, "04\n") +  // JIS X 0212's U+FF5E: to 0x2232
                             Glyph(0x7C7B, "05\n") +  // CP932's U+FFE2: 0x224C, the font's own
                             Glyph(0x2236, "06\n") +  // JIS X 0212's U+02DA: no slot
                             Glyph(0x2D22, "00\n") +  // blank
                             Glyph(0x224C, "07\n");
  const int ibmKanji = Kanji_UnicodeToJis(0x7E8A);
  ASSERT_GT(ibmKanji, 0x2121);
  struct Case {
    std::string registry;
    std::vector<std::pair<int, int>> rows;  // JIS code, its row 0
    int loaded, moved, skipped;
  };
  const Case cases[] = {
      {"JISX0208.1983",
       {{0x2D21, 1}, {0x2E21, 2}, {ibmKanji, 3}, {0x2232, 4}, {0x224C, 7}},
       5,
       2,
       3},
      {"JISX0213.2004",
       {{0x2D21, 1},
        {0x2E21, 2},
        {0x7921, 3},
        {0x2237, 4},
        {0x7C7B, 5},
        {0x2236, 6},
        {0x2D22, 0},
        {0x224C, 7}},
       8,
       0,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.registry);
    TempDir dir;
    WriteFileBytes(dir.File("f.bdf"), "STARTFONT 2.1\n" + CharsetLines(c.registry, "1") + glyphs);
    FontSet* font = Kanji_CreateEmptyFontSet(16);
    FontLoadReport report;
    ASSERT_EQ(Kanji_LoadBdfWithReport(font, dir.File("f.bdf").c_str(), &report), 0);
    EXPECT_EQ(report.glyphsLoaded, c.loaded);
    EXPECT_EQ(report.glyphsMoved, c.moved);
    EXPECT_EQ(report.glyphsSkipped, c.skipped);
    int filled = 0;
    for (int32_t* rows : font->glyphs) filled += rows != nullptr;
    EXPECT_EQ(filled, static_cast<int>(c.rows.size()));
    for (const auto& [jis, row] : c.rows) {
      const int32_t* rows = font->glyphs[Kanji_JisCodeSlot(jis)];
      ASSERT_NE(rows, nullptr) << std::hex << jis;
      EXPECT_EQ(rows[0], row) << std::hex << jis;
    }
    Kanji_DestroyFontSet(font);
  }
}

TEST(LoadBdf, CharsetPropertiesAfterTheFirstGlyphAreIgnored) {
  LoadedFont f("STARTFONT 2.1\n" + Glyph(65, "F0\n") + CharsetLines("\"GB2312.1980\"", "\"0\"") +
                   Glyph(0x2422, "F0\n"),
               16);
  ASSERT_NE(f.font, nullptr);
  EXPECT_NE(f.font->glyphs[65], nullptr);
  EXPECT_NE(f.font->glyphs[641], nullptr);
}

TEST(LoadBdf, MissingFileIsReported) {
  TempDir dir;
  std::string missing = dir.File("none.bdf");
  testing::internal::CaptureStderr();
  EXPECT_EQ(Kanji_CreateFontSet(missing.c_str(), 16), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "cant open [" + missing + "]\n");
  EXPECT_EQ(Kanji_GetError(), "cannot open " + missing + ": No such file or directory");

  WriteFileBytes(dir.File("a.bdf"), Glyph(65, "80\n"));
  FontSet* font = Kanji_CreateFontSet(dir.File("a.bdf").c_str(), 16);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Kanji_LoadBdf(font, missing.c_str()), -1);
  EXPECT_EQ(Kanji_LoadBdf(font, dir.path.c_str()), -1);  // a folder is no font
  EXPECT_EQ(Kanji_GetError(), dir.path + ": is a folder");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "cant open [" + missing + "]\ncant open [" + dir.path + "]\n");
  Kanji_DestroyFontSet(font);
}

// A null pointer gives each call's failure result, never a crash.
TEST(FontSet, NullIsEveryCallsFailureResult) {
  TempDir dir;
  WriteFileBytes(dir.File("a.bdf"), Glyph(65, "80\n"));
  FontSet* font = Kanji_CreateFontSet(dir.File("a.bdf").c_str(), 16);
  FILE* stream = tmpfile();
  EXPECT_EQ(Kanji_CreateFontSetFromPacked(nullptr), nullptr);
  EXPECT_EQ(Kanji_CreateFontSetFromPackedStream(stream, nullptr), nullptr);
  EXPECT_EQ(Kanji_CreateFontSetFromPackedStream(nullptr, "x"), nullptr);
  EXPECT_EQ(Kanji_CreateFontSet(nullptr, 16), nullptr);
  EXPECT_EQ(Kanji_LoadBdf(nullptr, dir.File("a.bdf").c_str()), -1);
  EXPECT_EQ(Kanji_LoadBdfWithReport(font, nullptr, nullptr), -1);
  EXPECT_EQ(Kanji_FontPixelSize(nullptr), -1);
  EXPECT_EQ(Kanji_CellSize(nullptr), 0);
  EXPECT_EQ(Kanji_TextWidth(nullptr, "A"), 0);
  EXPECT_EQ(Kanji_GlyphRows(nullptr, 65), nullptr);
  EXPECT_EQ(Kanji_MissingCharacters(nullptr, "A", nullptr, 0), 0);
  Kanji_SetEncoding(nullptr, EncodingUtf8);
  Kanji_ConvertPair(nullptr, nullptr, nullptr);
  Kanji_SjisBytesToJis(nullptr, nullptr);
  Kanji_EucBytesToJis(nullptr, nullptr);
  Kanji_DestroyFontSet(nullptr);
  EXPECT_NE(Kanji_GlyphRows(font, 65), nullptr);  // what a failed call left
  fclose(stream);
  Kanji_DestroyFontSet(font);
}

TEST(FontSet, SizesOutsideTheRowWidthAreRefused) {
  TempDir dir;
  WriteFileBytes(dir.File("a.bdf"), Glyph(65, "80\n"));
  for (int size : {0, -1, 33, 1000}) {
    EXPECT_EQ(Kanji_CreateFontSet(dir.File("a.bdf").c_str(), size), nullptr) << size;
    EXPECT_EQ(Kanji_GetError(), "the cell size " + std::to_string(size) + " is outside 1 to 32");
  }
}

TEST(FontSet, TextWidthCountsEveryByte) {
  FontSet font{};
  font.size = 16;
  font.halfWidth = 8;
  EXPECT_EQ(Kanji_CellSize(&font), 16);
  EXPECT_EQ(Kanji_TextWidth(&font, "abc"), 24);
  EXPECT_EQ(Kanji_TextWidth(&font, "\x82\xa0\x82\xa2"), 32);
  EXPECT_EQ(Kanji_TextWidth(&font, nullptr), 8);
  Kanji_SetEncoding(&font, EncodingEuc);
  EXPECT_EQ(font.encoding, EncodingEuc);
}

// A real font: every glyph lands in its slot with the rows the file states.
TEST(LoadBdf, RealFontMatchesIndependentReader) {
  const std::string path = FontPath("jiskan16");
  FontSet* font = Kanji_CreateFontSet(path.c_str(), 16);
  ASSERT_NE(font, nullptr);
  auto glyphs = ReadBdfGlyphs(path);
  ASSERT_GT(glyphs.size(), 6000u);
  for (const BdfGlyph& g : glyphs) {
    int slot = Kanji_TwoByteSlot((g.encoding >> 8) & 0xFF, g.encoding & 0xFF);
    ASSERT_NE(font->glyphs[slot], nullptr) << g.encoding;
    for (int i = 0; i < 16; ++i)
      ASSERT_EQ(font->glyphs[slot][i], static_cast<int32_t>(g.rows.at(i))) << g.encoding;
  }
  Kanji_DestroyFontSet(font);
}

// Outline fonts drawn by otf2bdf: 、 and 。 lie low in the cell, the
// descenders of g, j, p and q below the baseline, whole.
TEST(LoadBdf, RealFontsPlacedByTheirBoxes) {
  const std::pair<const char*, int> fonts[] = {{"ipag16", 14}, {"misaki_gothic16", 12}};
  for (const auto& [name, ascent] : fonts) {
    SCOPED_TRACE(name);
    std::unique_ptr<FontSet, void (*)(FontSet*)> font(
        Kanji_CreateFontSet(FontPath(name).c_str(), 16), Kanji_DestroyFontSet);
    ASSERT_NE(font, nullptr);
    for (int jis : {0x2122, 0x2123}) {
      const int32_t* rows = font->glyphs[Kanji_JisCodeSlot(jis)];
      ASSERT_NE(rows, nullptr);
      for (int i = 0; i < 8; ++i) EXPECT_EQ(rows[i], 0) << jis << " row " << i;
      EXPECT_NE(rows[12] | rows[13], 0) << jis;
    }
    for (const BdfGlyph& g : ReadBdfGlyphs(FontPath(name))) {
      if (g.encoding != 'g' && g.encoding != 'j' && g.encoding != 'p' && g.encoding != 'q')
        continue;
      int bdfInk = 0, slotInk = 0;
      for (uint32_t row : g.rows) bdfInk += __builtin_popcount(row);
      const int32_t* rows = font->glyphs[g.encoding];
      for (int i = 0; i < 16; ++i) slotInk += __builtin_popcount(static_cast<uint32_t>(rows[i]));
      EXPECT_EQ(slotInk, bdfInk) << static_cast<char>(g.encoding);
      EXPECT_NE(rows[ascent], 0) << static_cast<char>(g.encoding);  // the row below the baseline
    }
  }
}

// A font whose XLFD name says JIS X 0201 but whose properties say Latin-1,
// and one whose cut glyphs are named.
TEST(LoadBdf, RealFontReports) {
  FontSet* font = Kanji_CreateEmptyFontSet(12);
  ASSERT_NE(font, nullptr);
  FontLoadReport report;
  ASSERT_EQ(Kanji_LoadBdfWithReport(font, FontPath("mplus_h12r-jisx0201").c_str(), &report), 0);
  EXPECT_STREQ(report.registry, "jisx0201.1976-0");
  EXPECT_STREQ(report.propertiesRegistry, "iso8859-1");
  for (int slot = 0xA1; slot <= 0xDF; ++slot) EXPECT_NE(font->glyphs[slot], nullptr) << slot;
  Kanji_DestroyFontSet(font);
  font = Kanji_CreateEmptyFontSet(12);
  ASSERT_EQ(Kanji_LoadBdfWithReport(font, FontPath("mplus_j12r").c_str(), &report), 0);
  EXPECT_EQ(report.glyphsCut, 42);  // of 6963 glyphs 13 rows high, whose 13th row is mostly blank
  EXPECT_EQ(report.cutCodes[0], 0x2142);
  EXPECT_EQ(report.cutCharacters[0], 0x2016);
  EXPECT_EQ(report.cutCodes[9], 0x2151);
  EXPECT_EQ(report.cutCharacters[9], 0xFF5D);
  Kanji_DestroyFontSet(font);
}

}  // namespace

namespace {

// The block reader must hand out exactly the pieces fgets into 256 bytes
// would, also where lines and pieces straddle the reader's block ends.
TEST(LineReader, AgreesWithFgetsAcrossBlocks) {
  std::mt19937 random(11);
  const int lineLengths[] = {0, 1, 7, 254, 255, 256, 300, 511, 1000, 70000};
  for (int trial = 0; trial < 12; ++trial) {
    std::string content;
    while (content.size() < 200000) {
      int length = lineLengths[random() % 10];
      for (int i = 0; i < length; ++i)
        content += static_cast<char>(random() % 50 == 0 ? 0 : 'a' + random() % 26);
      if (random() % 8 != 0) content += '\n';
    }
    if (trial % 2) content.resize(content.size() - random() % 300);
    TempDir dir;
    WriteFileBytes(dir.File("lines"), content);
    FILE* expected = fopen(dir.File("lines").c_str(), "r");
    gzFile actual = gzopen(dir.File("lines").c_str(), "rb");
    auto reader = std::make_unique<BdfLineReader>();
    Kanji_InitLineReader(reader.get(), actual);
    char buffer[256];
    int pieces = 0;
    while (fgets(buffer, sizeof buffer, expected) != nullptr) {
      ASSERT_TRUE(Kanji_NextLine(reader.get())) << "piece " << pieces;
      ASSERT_STREQ(reader->line, buffer) << "piece " << pieces;
      ++pieces;
    }
    EXPECT_FALSE(Kanji_NextLine(reader.get()));
    fclose(expected);
    gzclose(actual);
  }
}

}  // namespace
