// SPDX-License-Identifier: MIT
// The BMP writer: header field by field, pixel order and padding.
#include "output.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(WriteBmp, EmptySheetOfCellSize16) {
  TempDir dir;
  GlyphSheet sheet;
  ASSERT_TRUE(CreateGlyphSheet(sheet, 16));
  ASSERT_TRUE(WriteBmp(sheet, dir.File("x.bmp").c_str()));
  Bytes file = ReadFileOrEmpty(dir.File("x.bmp"));
  ASSERT_EQ(file.size(), 7274550u);
  const Bytes header = {
      'B',  'M',  0x36, 0x00, 0x6F, 0x00,        // file size
      0,    0,    0,    0,                       // reserved
      54,   0,    0,    0,                       // pixel data offset
      40,   0,    0,    0,                       // info header size
      0x00, 0x04, 0x00, 0x00,                    // width 1024
      0x40, 0x09, 0x00, 0x00,                    // height 2368
      1,    0,    24,   0,                       // planes, bits per pixel
      0,    0,    0,    0,    0,    0,    0, 0,  // compression, image data size
      0,    0,    0,    0,    0,    0,    0, 0,  // resolutions
      0,    0,    0,    0,    0,    0,    0, 0,  // colours used, important colours
  };
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 54), header);
  EXPECT_EQ(std::count(file.begin() + 54, file.end(), 0), 7274496);
  EXPECT_EQ(ListDir(dir.path).size(), 1u);
}

// Bottom row first, b g r, alpha dropped, and rows padded to four bytes for a
// width that needs it.
TEST(WriteBmp, PixelOrderAndPadding) {
  TempDir dir;
  GlyphSheet sheet{5, 2, {}};
  for (uint8_t k = 0; k < 10; ++k)
    sheet.pixels.push_back(SheetPixel{static_cast<uint8_t>(k * 3), static_cast<uint8_t>(k * 3 + 1),
                                      static_cast<uint8_t>(k * 3 + 2), k});
  ASSERT_TRUE(WriteBmp(sheet, dir.File("x.bmp").c_str()));
  Bytes file = ReadFileOrEmpty(dir.File("x.bmp"));
  ASSERT_EQ(file.size(), 54u + 2 * 16);
  EXPECT_EQ(Bytes(file.begin() + 2, file.begin() + 6), (Bytes{86, 0, 0, 0}));
  const Bytes pixels = {17, 16, 15, 20, 19, 18, 23, 22, 21, 26, 25, 24, 29, 28, 27, 0,
                        2,  1,  0,  5,  4,  3,  8,  7,  6,  11, 10, 9,  14, 13, 12, 0};
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()), pixels);
}

}  // namespace
