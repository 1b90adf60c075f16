// SPDX-License-Identifier: MIT
// The TGA writer: row coding, header and row order.
#include "output_internal.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;
using Row = SheetPixels;

// Channels all differ, so a swapped byte order shows.
constexpr SheetPixel A{0x11, 0x22, 0x33, 0x44};
constexpr SheetPixel B{0x55, 0x66, 0x77, 0x88};
constexpr SheetPixel C{0x99, 0xAA, 0xBB, 0xCC};

Bytes FilePixel(SheetPixel p) { return {p.b, p.g, p.r, p.a}; }
Bytes RunPacket(int n, SheetPixel p) {
  Bytes out{static_cast<uint8_t>(0x80 + n - 1)};
  Bytes px = FilePixel(p);
  out.insert(out.end(), px.begin(), px.end());
  return out;
}
Bytes RawPacket(const Row& pixels) {
  Bytes out{static_cast<uint8_t>(pixels.size() - 1)};
  for (SheetPixel p : pixels) {
    Bytes px = FilePixel(p);
    out.insert(out.end(), px.begin(), px.end());
  }
  return out;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}
Row Same(int n, SheetPixel p) { return Row(static_cast<size_t>(n), p); }
Row Different(int from, int count) {
  Row row;
  for (int k = from; k < from + count; ++k)
    row.push_back(SheetPixel{static_cast<uint8_t>(k), 0, static_cast<uint8_t>(k >> 8), 255});
  return row;
}
Row Join(std::initializer_list<Row> parts) {
  Row out;
  for (const Row& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Encode(const Row& row) {
  EncodeTgaRow(row.data(), static_cast<int>(row.size()));
  Bytes out(tgaBytes.begin(), tgaBytes.end());
  TgaBuffer().swap(tgaBytes);
  return out;
}

TEST(TgaRowCoding, Examples) {
  const SheetPixel alphaOnly{A.r, A.g, A.b, 0x45};
  const std::pair<Row, Bytes> cases[] = {
      {{}, {}},
      {{A}, {0x00, 0x33, 0x22, 0x11, 0x44}},
      {{A, A}, {0x81, 0x33, 0x22, 0x11, 0x44}},
      {{A, B, B, B, C}, Cat({RawPacket({A}), RunPacket(3, B), RawPacket({C})})},
      {{A, A, B}, Cat({RunPacket(2, A), RawPacket({B})})},
      {{A, B, C}, RawPacket({A, B, C})},
      {{A, alphaOnly}, RawPacket({A, alphaOnly})},
      {Same(64, A), RunPacket(64, A)},
      {Same(122, A), RunPacket(122, A)},
      {Same(123, A), Cat({RunPacket(122, A), RawPacket({A})})},
      {Same(124, A), Cat({RunPacket(122, A), RunPacket(2, A)})},
      {Same(128, A), Cat({RunPacket(122, A), RunPacket(6, A)})},
      {Same(245, A), Cat({RunPacket(122, A), RunPacket(122, A), RawPacket({A})})},
      {Join({Same(123, A), {B, C}}), Cat({RunPacket(122, A), RawPacket({A, B, C})})},
      {Different(0, 121), RawPacket(Different(0, 121))},
      {Different(0, 130), Cat({RawPacket(Different(0, 121)), RawPacket(Different(121, 9))})},
      {Join({Different(0, 120), {A, A}}), Cat({RawPacket(Different(0, 120)), RunPacket(2, A)})},
      {Join({Different(0, 121), {A}}), Cat({RawPacket(Different(0, 121)), RawPacket({A})})},
  };
  for (const auto& [row, packets] : cases) EXPECT_EQ(Encode(row), packets) << row.size();
}

Bytes WriteAndRead(const GlyphSheet& sheet, const std::string& path) {
  EXPECT_TRUE(WriteTga(sheet, path.c_str()));
  return ReadFileOrEmpty(path);
}

// An all-empty sheet of cell size 16: every row is eight 122-pixel runs and
// one of 48.
TEST(WriteTga, EmptySheetOfCellSize16) {
  TempDir dir;
  GlyphSheet sheet;
  ASSERT_TRUE(CreateGlyphSheet(sheet, 16));
  Bytes expected = {0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x00, 0x00, 0x00, 0x04, 0x40, 0x09, 0x20, 0x08};
  Bytes row;
  for (int k = 0; k < 8; ++k) row = Cat({row, {0xF9, 0, 0, 0, 0}});
  row = Cat({row, {0xAF, 0, 0, 0, 0}});
  for (int r = 0; r < 2368; ++r) expected.insert(expected.end(), row.begin(), row.end());
  EXPECT_EQ(WriteAndRead(sheet, dir.File("a.tga")), expected);
  // The buffer starts empty again: a second call writes the same file.
  EXPECT_EQ(WriteAndRead(sheet, dir.File("b.tga")), expected);
  // Rows of cells known to be empty are coded without being read, the same.
  ASSERT_TRUE(TrackFilledCells(sheet));
  sheet.filledCells[5] = 1;
  EXPECT_EQ(WriteAndRead(sheet, dir.File("c.tga")), expected);
  EXPECT_EQ(ListDir(dir.path).size(), 3u);
}

// The bottom row comes first, and no packet joins two rows even when they
// hold the same pixel.
TEST(WriteTga, BottomRowFirstRowsCodedApart) {
  TempDir dir;
  GlyphSheet sheet{3, 2, {A, A, A, A, A, B}};
  Bytes header = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 32, 8};
  EXPECT_EQ(WriteAndRead(sheet, dir.File("x.tga")),
            Cat({header, RunPacket(2, A), RawPacket({B}), RunPacket(3, A)}));
}

TEST(WriteTga, WidestSheetTheHeaderHolds) {
  TempDir dir;
  GlyphSheet sheet{65535, 1, Row(65535, A)};
  Bytes file = WriteAndRead(sheet, dir.File("x.tga"));
  ASSERT_GE(file.size(), 18u);
  EXPECT_EQ(Bytes(file.begin() + 12, file.begin() + 16), (Bytes{0xFF, 0xFF, 0x01, 0x00}));
}

}  // namespace
