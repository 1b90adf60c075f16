// SPDX-License-Identifier: MIT
// The sheet image of a whole run, runs whose image cannot be written, and
// the image files of real-font sheets read back.
#include "font_sheet.h"
#include "output.h"
#include "run_support.h"
#include "sheet_bytes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

void Configure(const TempDir& dir) {
  WriteIni(dir.path, FontPath("jiskan16"), FontPath("8x16rk"), "16");
}

// The image beside the packed file holds exactly the sheet of the fonts.
TEST(RunImage, WritesTheSheetBesideThePackedFile) {
  TempDir dir;
  Configure(dir);
  RunResult run = RunTavrest(dir.path);
  ASSERT_EQ(run.exitStatus, 0) << run.standardError;
  EXPECT_EQ(run.standardError, "");
  EXPECT_EQ(Sorted(ListDir(dir.path)),
            (std::vector<std::string>{"tavrest.ini", "tavrest.qpk", "tavrest.tga"}));

  GlyphSheet sheet{0, 0, {}};
  ASSERT_TRUE(MakeFontSheet(sheet, FontPath("jiskan16"), FontPath("8x16rk"), 16));
  ASSERT_TRUE(WriteTga(sheet, dir.File("expected.tga").c_str()));
  EXPECT_TRUE(ReadFileOrEmpty(dir.File("tavrest.tga")) ==
              ReadFileOrEmpty(dir.File("expected.tga")));
  GlyphSheet read{0, 0, {}};
  ASSERT_TRUE(ReadTga(read, dir.File("tavrest.tga").c_str()));
  EXPECT_EQ(read.width, 1024);
  EXPECT_EQ(read.height, 2368);
  EXPECT_TRUE(read.pixels == sheet.pixels);
}

// An image that cannot be written: one clear line, status 1, and since the
// pair is one run's, no packed file either, no partial image and the old
// ones intact.
TEST(RunImage, UnwritableImage) {
  TempDir reference;
  Configure(reference);
  ASSERT_EQ(RunTavrest(reference.path).exitStatus, 0);
  const Bytes packed = ReadFileOrEmpty(reference.File("tavrest.qpk"));
  const Bytes image = ReadFileOrEmpty(reference.File("tavrest.tga"));
  ASSERT_LT(packed.size(), image.size());
  {
    TempDir dir;
    Configure(dir);
    mkdir(dir.File("tavrest.tga").c_str(), 0777);
    RunResult run = RunTavrest(dir.path);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.standardError, "tavrest: cannot write tavrest.tga: it is a folder\n");
    EXPECT_FALSE(PathExists(dir.File("tavrest.qpk")));
    ExpectNoTemporaries(dir.path);
  }
  {
    TempDir dir;
    Configure(dir);
    WriteFileBytes(dir.File("tavrest.qpk"), "previous");
    WriteFileBytes(dir.File("tavrest.tga"), "previous");
    RunResult run = RunTavrest(dir.path, {}, static_cast<long>(packed.size()));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.standardError, "tavrest: cannot write tavrest.tga: File too large\n");
    EXPECT_EQ(ReadFileOrEmpty(dir.File("tavrest.qpk")),
              (Bytes{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
    EXPECT_EQ(ReadFileOrEmpty(dir.File("tavrest.tga")),
              (Bytes{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
    ExpectNoTemporaries(dir.path);
  }
}

bool SameSheet(const GlyphSheet& a, const GlyphSheet& b) {
  return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

// What ImageMagick decodes from `file`, top row first, as `format` bytes.
Bytes Decoded(const std::string& file, const char* format) {
  Bytes out;
  EXPECT_TRUE(RunProgram({ImageMagickConvert(), file, "-auto-orient", "-depth", "8", format}, out));
  return out;
}

// The readers give back the sheets of real fonts exactly, and ImageMagick
// reads the first one as written.
TEST(ImageReaders, RoundTripsOnRealFontSheets) {
  for (const FontPair& pair : kRealFontPairs) {
    TempDir dir;
    GlyphSheet sheet{0, 0, {}};
    ASSERT_TRUE(
        MakeFontSheet(sheet, FontPath(pair.mainFont), FontPath(pair.secondFont), pair.size));
    ASSERT_TRUE(WriteTga(sheet, dir.File("x.tga").c_str()));
    ASSERT_TRUE(WriteBmp(sheet, dir.File("x.bmp").c_str()));
    if (&pair == &kRealFontPairs[0] && !ImageMagickConvert().empty()) {
      EXPECT_TRUE(Decoded(dir.File("x.tga"), "rgba:-") == RawBytes(sheet, true));
      EXPECT_TRUE(Decoded(dir.File("x.bmp"), "rgb:-") == RawBytes(sheet, false));
    }
    GlyphSheet read{1, 1, {SheetPixel{1, 2, 3, 4}}};
    ASSERT_TRUE(ReadTga(read, dir.File("x.tga").c_str())) << pair.mainFont;
    EXPECT_TRUE(SameSheet(read, sheet)) << "tga " << pair.mainFont;
    ASSERT_TRUE(ReadBmp(read, dir.File("x.bmp").c_str())) << pair.mainFont;
    for (SheetPixel& pixel : sheet.pixels) pixel.a = 255;  // BMP keeps no alpha
    EXPECT_TRUE(SameSheet(read, sheet)) << "bmp " << pair.mainFont;
  }
}

}  // namespace
