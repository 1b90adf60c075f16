// The image readers: round trips on real-font sheets, files of another tool
// in both directions, and malformed files.
#include "output.h"
#include "test_support.h"

#include <gtest/gtest.h>


namespace {

using Bytes = std::vector<uint8_t>;

struct FontPair {
  const char* mainFont;
  const char* secondFont;
  int size;
};

const FontPair kFonts[] = {{"k14", "7x14-JISX0201.1976-0", 14},
                           {"jiskan16", "8x16rk", 16},
                           {"jiskan24", "12x24rk", 24}};

GlyphSheet FontSheet(const FontPair& pair) {
  GlyphSheet sheet{0, 0, {}};
  EXPECT_TRUE(MakeFontSheet(sheet, FontPath(pair.mainFont), FontPath(pair.secondFont), pair.size));
  return sheet;
}

// Runs, lone pixels, every alpha: a sheet whose channels cannot be confused.
GlyphSheet ColourfulSheet(int width, int height) {
  GlyphSheet sheet{width, height, {}};
  uint32_t seed = 11;
  for (int k = 0; k < width * height; ++k) {
    seed = seed * 1103515245 + 12345;
    if (k % 9 < 5 && k > 0) {
      sheet.pixels.push_back(sheet.pixels.back());
    } else {
      sheet.pixels.push_back(SheetPixel{static_cast<uint8_t>(seed >> 24), static_cast<uint8_t>(seed >> 16),
                                        static_cast<uint8_t>(seed >> 8), static_cast<uint8_t>(k * 7)});
    }
  }
  return sheet;
}

GlyphSheet Opaque(GlyphSheet sheet) {
  for (SheetPixel& p : sheet.pixels) p.a = 255;
  return sheet;
}

Bytes RawBytes(const GlyphSheet& sheet, bool alpha) {
  Bytes out;
  for (const SheetPixel& p : sheet.pixels) {
    out.insert(out.end(), {p.r, p.g, p.b});
    if (alpha) out.push_back(p.a);
  }
  return out;
}

void ExpectSameSheet(const GlyphSheet& actual, const GlyphSheet& expected, const std::string& what) {
  EXPECT_EQ(actual.width, expected.width) << what;
  EXPECT_EQ(actual.height, expected.height) << what;
  EXPECT_TRUE(actual.pixels == expected.pixels) << what;
}

TEST(ImageReaders, RoundTripsOnRealFontSheets) {
  for (const FontPair& pair : kFonts) {
    TempDir dir;
    const GlyphSheet sheet = FontSheet(pair);
    ASSERT_TRUE(WriteTga(sheet, dir.File("x.tga").c_str()));
    ASSERT_TRUE(WriteBmp(sheet, dir.File("x.bmp").c_str()));
    GlyphSheet read{1, 1, {SheetPixel{1, 2, 3, 4}}};
    ASSERT_TRUE(ReadTga(read, dir.File("x.tga").c_str())) << pair.mainFont;
    ExpectSameSheet(read, sheet, std::string("tga ") + pair.mainFont);
    ASSERT_TRUE(ReadBmp(read, dir.File("x.bmp").c_str())) << pair.mainFont;
    ExpectSameSheet(read, Opaque(sheet), std::string("bmp ") + pair.mainFont);
  }
}

// ---- Another tool reads ours, and we read its files -----------------------

class ImageMagick : public testing::Test {
 protected:
  void SetUp() override {
    convert = ImageMagickConvert();
    if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed";
  }
  // This ImageMagick reads TGA rows in stored order and only records the
  // origin; -auto-orient puts the top row first.
  Bytes Decode(const std::string& file, const char* format) {
    Bytes out;
    EXPECT_TRUE(RunProgram({convert, file, "-auto-orient", "-depth", "8", format}, out)) << file;
    return out;
  }
  GlyphSheet DecodeSheet(const std::string& file, int width, int height) {
    Bytes raw = Decode(file, "rgba:-");
    GlyphSheet sheet{width, height, {}};
    for (size_t k = 0; k + 3 < raw.size(); k += 4)
      sheet.pixels.push_back(SheetPixel{raw[k], raw[k + 1], raw[k + 2], raw[k + 3]});
    return sheet;
  }
  std::string convert;
  TempDir dir;
};

TEST_F(ImageMagick, DecodesOurFiles) {
  const GlyphSheet sheets[] = {FontSheet(kFonts[1]), ColourfulSheet(301, 7)};
  for (const GlyphSheet& sheet : sheets) {
    const std::string tga = dir.File("x.tga");
    const std::string bmp = dir.File("x.bmp");
    ASSERT_TRUE(WriteTga(sheet, tga.c_str()));
    ASSERT_TRUE(WriteBmp(sheet, bmp.c_str()));
    EXPECT_TRUE(Decode(tga, "rgba:-") == RawBytes(sheet, true)) << sheet.width;
    EXPECT_TRUE(Decode(bmp, "rgb:-") == RawBytes(sheet, false)) << sheet.width;
  }
}

TEST_F(ImageMagick, WritesFilesWeRead) {
  struct Case {
    const char* name;
    std::vector<std::string> options;
    bool alpha;
  };
  const Case cases[] = {
      {"tga run-length", {"-compress", "RLE"}, true},
      {"tga uncompressed", {"-compress", "none"}, true},
      {"tga top row first", {"-orient", "TopLeft", "-compress", "RLE"}, true},
      {"tga right to left", {"-orient", "TopRight", "-compress", "RLE"}, true},
      {"tga with image ID", {"-set", "comment", "glyphs", "-compress", "RLE"}, true},
      {"bmp3", {"-alpha", "off", "-compress", "none"}, false},
      {"bmp", {"-alpha", "off", "-compress", "none"}, false},
  };
  const GlyphSheet sheets[] = {ColourfulSheet(300, 9), ColourfulSheet(301, 5)};
  for (const GlyphSheet& sheet : sheets) {
    const std::string raw = dir.File("in.rgba");
    Bytes pixels = RawBytes(sheet, true);
    WriteFileBytes(raw, std::string(pixels.begin(), pixels.end()));
    for (const Case& c : cases) {
      const std::string name = c.name;
      const bool tga = name.rfind("tga", 0) == 0;
      const std::string out = dir.File(tga ? "out.tga" : "out.bmp");
      std::vector<std::string> args = {convert, "-size",
                                       std::to_string(sheet.width) + "x" + std::to_string(sheet.height),
                                       "-depth", "8", "rgba:" + raw};
      args.insert(args.end(), c.options.begin(), c.options.end());
      args.push_back(name == "bmp3" ? "BMP3:" + out : out);
      Bytes ignored;
      ASSERT_TRUE(RunProgram(args, ignored)) << name;
      GlyphSheet read{0, 0, {}};
      ASSERT_TRUE(tga ? ReadTga(read, out.c_str()) : ReadBmp(read, out.c_str())) << name;
      const std::string what = name + " " + std::to_string(sheet.width);
      ExpectSameSheet(read, DecodeSheet(out, sheet.width, sheet.height), what);
      // Where this ImageMagick writes what it was given (it stores TGA rows
      // in memory order, so only its top-row-first TGA is the image itself).
      if (!tga || c.options[1] == "TopLeft")
        ExpectSameSheet(read, c.alpha ? sheet : Opaque(sheet), what);
    }
  }
}

// ---- Malformed files ------------------------------------------------------

void Put16(Bytes& file, size_t at, uint32_t v) {
  file[at] = static_cast<uint8_t>(v);
  file[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& file, size_t at, uint32_t v) {
  Put16(file, at, v);
  Put16(file, at + 2, v >> 16);
}

Bytes FileOf(bool (*write)(const GlyphSheet&, const char*), const GlyphSheet& sheet) {
  TempDir dir;
  EXPECT_TRUE(write(sheet, dir.File("x").c_str()));
  return ReadFileOrEmpty(dir.File("x"));
}

struct Malformed {
  std::string name;
  Bytes file;
};

// Every refused file leaves the sheet exactly as it was.
void ExpectAllRefused(bool (*read)(GlyphSheet&, const char*), const std::vector<Malformed>& cases) {
  TempDir dir;
  const GlyphSheet before{2, 1, {SheetPixel{1, 2, 3, 4}, SheetPixel{5, 6, 7, 8}}};
  for (const Malformed& c : cases) {
    WriteFileBytes(dir.File("bad"), std::string(c.file.begin(), c.file.end()));
    GlyphSheet sheet = before;
    EXPECT_FALSE(read(sheet, dir.File("bad").c_str())) << c.name;
    ExpectSameSheet(sheet, before, c.name);
  }
}

std::vector<Malformed> Prefixes(const std::string& name, const Bytes& file) {
  std::vector<Malformed> cases;
  for (size_t n = 0; n < file.size(); ++n)
    cases.push_back({name + " cut to " + std::to_string(n), Bytes(file.begin(), file.begin() + n)});
  return cases;
}

TEST(ImageReaders, RefuseMalformedTga) {
  const Bytes good = FileOf(WriteTga, ColourfulSheet(13, 4));
  Bytes plain = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 8};
  plain.resize(18 + 16, 0x5A);
  auto with = [&](const Bytes& base, size_t at, uint8_t value) {
    Bytes file = base;
    file[at] = value;
    return file;
  };
  auto size = [&](uint32_t w, uint32_t h) {
    Bytes file = good;
    Put16(file, 12, w);
    Put16(file, 14, h);
    return file;
  };
  // A 2 x 2 image whose first packet is too long for its row.
  const Bytes header2x2 = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 8};
  Bytes longRun = header2x2, longRaw = header2x2;
  longRun.insert(longRun.end(), {0x82, 1, 2, 3, 4, 0x81, 1, 2, 3, 4});
  longRaw.insert(longRaw.end(), {0x02, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 0x00, 1, 2, 3, 4});
  std::vector<Malformed> cases = {
      {"colour map present", with(good, 1, 1)},
      {"colour-mapped type", with(with(good, 1, 1), 2, 1)},
      {"run-length colour-mapped type", with(with(good, 1, 1), 2, 9)},
      {"grey type", with(good, 2, 3)},
      {"no image data", with(good, 2, 0)},
      {"unknown type", with(good, 2, 11)},
      {"24-bit", with(good, 16, 24)},
      {"16-bit", with(good, 16, 16)},
      {"width 0", size(0, 4)},
      {"height 0", size(13, 0)},
      {"more rows than stored", size(13, 5)},
      {"run past the row end", longRun},
      {"raw packet past the row end", longRaw},
      {"image ID longer than the file", with(plain, 0, 200)},
  };
  for (const Malformed& m : Prefixes("run-length", good)) cases.push_back(m);
  for (const Malformed& m : Prefixes("uncompressed", plain)) cases.push_back(m);
  ExpectAllRefused(ReadTga, cases);
}

// 8193 x 8193 pixels is past the cap, though the file holds them all.
TEST(ImageReaders, RefuseTgaAboveThePixelCap) {
  Bytes file = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x20, 0x01, 0x20, 32, 8};
  Bytes row;
  for (int k = 0; k < 64; ++k) row.insert(row.end(), {0xFF, 0, 0, 0, 255});
  row.insert(row.end(), {0x00, 0, 0, 0, 255});
  for (int r = 0; r < 8193; ++r) file.insert(file.end(), row.begin(), row.end());
  ExpectAllRefused(ReadTga, {{"8193 x 8193", file}});
}

TEST(ImageReaders, RefuseMalformedBmp) {
  const Bytes good = FileOf(WriteBmp, ColourfulSheet(5, 3));  // rows padded
  auto with16 = [&](size_t at, uint32_t v) {
    Bytes file = good;
    Put16(file, at, v);
    return file;
  };
  auto with32 = [&](size_t at, uint32_t v) {
    Bytes file = good;
    Put32(file, at, v);
    return file;
  };
  auto size = [&](uint32_t w, uint32_t h) {
    Bytes file = good;
    Put32(file, 18, w);
    Put32(file, 22, h);
    return file;
  };
  std::vector<Malformed> cases = {
      {"signature BA", with16(0, 'B' | 'A' << 8)},
      {"signature MB", with16(0, 'M' | 'B' << 8)},
      {"8-bit", with16(28, 8)},
      {"16-bit", with16(28, 16)},
      {"32-bit", with16(28, 32)},
      {"run-length compressed", with32(30, 1)},
      {"bit fields", with32(30, 3)},
      {"old 12-byte info header", with32(14, 12)},
      {"data offset inside the header", with32(10, 20)},
      {"data offset past the end", with32(10, 1000)},
      {"data offset far past the end", with32(10, 0xFFFFFFFF)},
      {"width 0", size(0, 3)},
      {"height 0", size(5, 0)},
      {"negative width", size(static_cast<uint32_t>(-5), 3)},
      {"most negative height", size(5, 0x80000000)},
      {"more rows than stored", size(5, 4)},
      {"taller than stored, top-down", size(5, static_cast<uint32_t>(-4))},
      {"wider than stored", size(6, 3)},
      {"pixel count above the cap", size(70000, 1000)},
      {"pixel count overflowing 32 bits", size(0x10000, 0x10000)},
      {"pixel count overflowing 64 bits", size(0x7FFFFFFF, 0x7FFFFFFF)},
  };
  for (const Malformed& m : Prefixes("bmp", good)) cases.push_back(m);
  ExpectAllRefused(ReadBmp, cases);
}

// Rows stored top row first (negative height) and data after a gap.
TEST(ImageReaders, BmpTopDownRowsAndDataOffset) {
  TempDir dir;
  const GlyphSheet sheet = ColourfulSheet(7, 4);
  Bytes file = FileOf(WriteBmp, sheet);
  const size_t rowBytes = 24;
  Bytes topDown(file.begin(), file.begin() + 54);
  topDown.insert(topDown.end(), 10, 0xEE);  // a gap before the pixels
  for (size_t r = 4; r-- > 0;)
    topDown.insert(topDown.end(), file.begin() + static_cast<long>(54 + r * rowBytes),
                   file.begin() + static_cast<long>(54 + (r + 1) * rowBytes));
  Put32(topDown, 10, 64);
  Put32(topDown, 22, static_cast<uint32_t>(-4));
  WriteFileBytes(dir.File("x.bmp"), std::string(topDown.begin(), topDown.end()));
  GlyphSheet read{0, 0, {}};
  ASSERT_TRUE(ReadBmp(read, dir.File("x.bmp").c_str()));
  ExpectSameSheet(read, Opaque(sheet), "top-down");
}

}  // namespace
