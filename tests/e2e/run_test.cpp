// SPDX-License-Identifier: MIT
// The built program, run in temporary folders on real Debian fonts.
#include "run_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <map>
#include <set>

namespace {

using Cell = std::vector<std::vector<bool>>;

int SlotOf(long code) {
  if (code > 255) return static_cast<int>(((code >> 8) & 0xFF) * 96 + (code & 0xFF) - 2849);
  return static_cast<int>(code);
}

// The cells a conversion must give, from the BDF sources: the main font's
// glyphs where it has them, the second font's elsewhere.
std::map<int, Cell> ExpectedCells(const FontPair& pair) {
  std::map<int, Cell> cells;
  for (const char* font : {pair.mainFont, pair.secondFont}) {
    for (const BdfGlyph& glyph : ReadBdfGlyphs(FontPath(font))) {
      int slot = SlotOf(glyph.encoding);
      if (slot < 0 || slot >= 9472 || cells.count(slot)) continue;
      int width = glyph.encoding > 255 ? pair.size : pair.size / 2;
      cells[slot] = ExpectedCell(glyph, pair.size, width);
    }
  }
  return cells;
}

void CheckPackedStream(const std::vector<uint8_t>& stream, const FontPair& pair,
                       const std::map<int, Cell>& expected) {
  Cell blank(static_cast<size_t>(pair.size), std::vector<bool>(pair.size, false));
  for (int slot = 0; slot < 9472; ++slot) {
    auto cell = expected.find(slot);
    ASSERT_EQ(PackedCell(stream, pair.size, slot), cell == expected.end() ? blank : cell->second)
        << pair.mainFont << " slot " << slot;
  }
}

// A plain decoder of the run-length TGA, rows bottom-up, pixels as b, g, r, a.
bool DecodeTga(const std::vector<uint8_t>& file, int& width, int& height,
               std::vector<std::array<uint8_t, 4>>& pixels) {
  if (file.size() < 18 || file[2] != 10 || file[16] != 32) return false;
  width = file[12] | file[13] << 8;
  height = file[14] | file[15] << 8;
  pixels.assign(static_cast<size_t>(width) * height, {});
  size_t p = 18;
  for (int row = height - 1; row >= 0; --row) {
    for (int x = 0; x < width;) {
      if (p >= file.size()) return false;
      const int header = file[p++];
      const int count = (header & 0x7F) + 1;
      if (x + count > width || p + (header >= 0x80 ? 4 : 4u * count) > file.size()) return false;
      for (int k = 0; k < count; ++k, ++x) {
        const size_t at = header >= 0x80 ? p : p + 4u * k;
        pixels[static_cast<size_t>(row) * width + x] = {file[at], file[at + 1], file[at + 2],
                                                        file[at + 3]};
      }
      p += header >= 0x80 ? 4 : 4u * count;
    }
  }
  return p == file.size();
}

void CheckSheetImage(const std::vector<uint8_t>& file, const FontPair& pair,
                     const std::map<int, Cell>& expected) {
  int width = 0, height = 0;
  std::vector<std::array<uint8_t, 4>> pixels;
  ASSERT_TRUE(DecodeTga(file, width, height, pixels));
  ASSERT_EQ(width, 64 * pair.size);
  ASSERT_EQ(height, 148 * pair.size);
  const std::array<uint8_t, 4> ink{0, 0, 0, 255}, paper{255, 255, 255, 255}, empty{0, 0, 0, 0};
  for (int slot = 0; slot < 9472; ++slot) {
    auto cell = expected.find(slot);
    for (int y = 0; y < pair.size; ++y) {
      for (int x = 0; x < pair.size; ++x) {
        const auto& pixel = pixels[static_cast<size_t>(slot / 64 * pair.size + y) * width +
                                   slot % 64 * pair.size + x];
        const auto& want = cell == expected.end() ? empty : cell->second[y][x] ? ink : paper;
        ASSERT_EQ(pixel, want) << pair.mainFont << " slot " << slot << " at " << x << "," << y;
      }
    }
  }
}

class RealFonts : public testing::TestWithParam<FontPair> {};

TEST_P(RealFonts, ConvertsEveryGlyphExactly) {
  const FontPair& pair = GetParam();
  TempDir dir;
  WriteIni(dir.path, FontPath(pair.mainFont), FontPath(pair.secondFont), std::to_string(pair.size));
  RunResult run = RunTavrest(dir.path);
  ASSERT_EQ(run.exitStatus, 0) << run.standardError;
  EXPECT_EQ(run.standardError, "");
  int32_t cellSize = 0;
  std::vector<uint8_t> stream;
  ASSERT_TRUE(DecodePackedFile(ReadFileOrEmpty(dir.File("tavrest.qpk")), cellSize, stream));
  EXPECT_EQ(cellSize, pair.size);
  int rowBytes = (pair.size + 7) / 8;
  ASSERT_EQ(stream.size(), 9472u * pair.size * rowBytes);
  const std::map<int, Cell> expected = ExpectedCells(pair);
  EXPECT_GT(expected.size(), 6000u);
  CheckPackedStream(stream, pair, expected);
  CheckSheetImage(ReadFileOrEmpty(dir.File("tavrest.tga")), pair, expected);
}

INSTANTIATE_TEST_SUITE_P(Debian, RealFonts, testing::ValuesIn(kRealFontPairs),
                         [](const auto& info) { return std::string(info.param.mainFont); });

struct EarlyEnd {
  const char* name;
  std::string ini;  // absent when empty
  int exitStatus;
  std::string errorContains;
  int errorLines;
};

void PrintTo(const EarlyEnd& c, std::ostream* out) { *out << c.name; }

std::vector<EarlyEnd> EarlyEndCases() {
  const std::string font = FontPath("8x16rk");
  return {
      {"no ini", "", 0, "cannot read tavrest.ini: No such file or directory (looked up in ", 1},
      {"size 0", font + "\n" + font + "\n0\n", 0, "\"0\", reads as 0", 1},
      {"size empty", font + "\n" + font + "\n\n", 0, "\"\", reads as 0", 1},
      {"size letters", font + "\n" + font + "\nabc\n", 0, "\"abc\", reads as 0", 1},
      {"size missing", font + "\n" + font + "\n", 0, "\"\", reads as 0", 1},
      {"size negative", font + "\n" + font + "\n-4\n", 1, "-4", 1},
      {"size 33", font + "\n" + font + "\n33\n", 1, "1 to 32", 1},
      {"size huge", font + "\n" + font + "\n99999999999\n", 1, "2147483647", 1},
      {"main font missing", "nothing.bdf\n" + font + "\n16\n", 1, "cant open [nothing.bdf]\n", 2},
  };
}

class EarlyEnds : public testing::TestWithParam<EarlyEnd> {};

// Runs that end before any conversion: nothing is written, and the run says
// why, also when there was simply nothing to do.
TEST_P(EarlyEnds, WriteNothingAndSayWhy) {
  const EarlyEnd& c = GetParam();
  TempDir dir;
  if (!c.ini.empty()) WriteFileBytes(dir.File("tavrest.ini"), c.ini);
  RunResult run = RunTavrest(dir.path);
  EXPECT_EQ(run.exitStatus, c.exitStatus);
  EXPECT_NE(run.standardError.find(c.errorContains), std::string::npos) << run.standardError;
  EXPECT_EQ(std::count(run.standardError.begin(), run.standardError.end(), '\n'), c.errorLines);
  size_t expectedFiles = c.ini.empty() ? 0 : 1;
  EXPECT_EQ(ListDir(dir.path).size(), expectedFiles);
}

INSTANTIATE_TEST_SUITE_P(Run, EarlyEnds, testing::ValuesIn(EarlyEndCases()),
                         [](const auto& info) { return CaseName(info.param.name); });

std::vector<uint8_t> ConvertIn(TempDir& dir, const std::string& ini, RunResult* result = nullptr) {
  WriteFileBytes(dir.File("tavrest.ini"), ini);
  RunResult run = RunTavrest(dir.path);
  if (result != nullptr) *result = run;
  EXPECT_EQ(run.exitStatus, 0) << run.standardError;
  return ReadFileOrEmpty(dir.File("tavrest.qpk"));
}

// Windows line ends, a relative path with trailing spaces, and a 16 followed
// by letters all give the same file as the plain configuration.
TEST(Run, ConfigurationVariantsGiveTheSameFile) {
  TempDir plain;
  std::vector<uint8_t> expected =
      ConvertIn(plain, FontPath("jiskan16") + "\n" + FontPath("8x16rk") + "\n16\n");
  ASSERT_GT(expected.size(), 4u);

  TempDir crlf;
  EXPECT_EQ(ConvertIn(crlf, FontPath("jiskan16") + "\r\n" + FontPath("8x16rk") + "\r\n16\r\n"),
            expected);

  TempDir spaces;
  std::vector<uint8_t> font = ReadFileOrEmpty(FontPath("jiskan16"));
  WriteFileBytes(spaces.File("main font.bdf  "), std::string(font.begin(), font.end()));
  EXPECT_EQ(ConvertIn(spaces, "main font.bdf  \n" + FontPath("8x16rk") + "\n16 pixels\n"),
            expected);
}

TEST(Run, MissingSecondFontConvertsTheMainOne) {
  TempDir dir;
  RunResult run;
  std::vector<uint8_t> file = ConvertIn(dir, FontPath("jiskan16") + "\nmissing.bdf\n16\n", &run);
  EXPECT_EQ(run.standardError.substr(0, run.standardError.find('\n') + 1),
            "cant open [missing.bdf]\n");
  EXPECT_NE(run.standardError.find("tavrest: second font: cannot open missing.bdf: No such file"),
            std::string::npos)
      << run.standardError;
  int32_t cellSize = 0;
  std::vector<uint8_t> stream;
  ASSERT_TRUE(DecodePackedFile(file, cellSize, stream));
  Cell blank(16, std::vector<bool>(16, false));
  EXPECT_EQ(PackedCell(stream, 16, 65), blank);  // 'A' came from the second font only
  EXPECT_NE(PackedCell(stream, 16, 641), blank);
}

// A packed file that cannot be written: status 1, a clear line, no partial
// file, and the previous file intact.
TEST(Run, UnwritablePackedFile) {
  const std::string ini = FontPath("jiskan16") + "\n" + FontPath("8x16rk") + "\n16\n";
  {
    TempDir dir;
    mkdir(dir.File("tavrest.qpk").c_str(), 0777);
    WriteFileBytes(dir.File("tavrest.ini"), ini);
    RunResult run = RunTavrest(dir.path);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.standardError.find("cannot write tavrest.qpk"), std::string::npos)
        << run.standardError;
    ExpectNoTemporaries(dir.path);
  }
  {
    TempDir dir;
    WriteFileBytes(dir.File("tavrest.qpk"), "previous");
    WriteFileBytes(dir.File("tavrest.ini"), ini);
    RunResult run = RunTavrest(dir.path, {}, 4096);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.standardError.find("tavrest.qpk: File too large"), std::string::npos)
        << run.standardError;
    std::vector<uint8_t> previous = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};
    EXPECT_EQ(ReadFileOrEmpty(dir.File("tavrest.qpk")), previous);
    ExpectNoTemporaries(dir.path);
  }
}

}  // namespace

namespace {

// A run on a full disk: status 1, one line naming the file, previous files kept.
TEST(Run, FullDisk) {
  SmallDisk disk(128 * 1024);
  if (!disk.mounted) GTEST_SKIP() << disk.reason;
  WriteFileBytes(disk.path + "/tavrest.qpk", "previous");
  WriteIni(disk.path, FontPath("jiskan16"), FontPath("8x16rk"), "16");
  RunResult run = RunTavrest(disk.path);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.standardError.find("cannot write tavrest.qpk: No space left on device"),
            std::string::npos)
      << run.standardError;
  const std::vector<uint8_t> previous = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};
  EXPECT_EQ(ReadFileOrEmpty(disk.path + "/tavrest.qpk"), previous);
  for (const std::string& name : ListDir(disk.path))
    EXPECT_TRUE(name == "tavrest.qpk" || name == "tavrest.ini") << name;
}

}  // namespace
