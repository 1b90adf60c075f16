// SPDX-License-Identifier: MIT
#include "output_internal.h"
#include "qpk_internal.h"
#include "reference_coders.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Repeat(size_t count, uint8_t value) { return Bytes(count, value); }
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes Counting(int from, int to) {
  Bytes out;
  for (int v = from; v <= to; ++v) out.push_back(static_cast<uint8_t>(v));
  return out;
}

Bytes Encode(const Bytes& data) {
  Bytes out;
  EncodePackedStream(data.data(), data.size(), out);
  return out;
}

TEST(PackedCoder, WorkedExamples) {
  const std::pair<Bytes, Bytes> cases[] = {
      {{0x41}, {0x00, 0x41}},
      {{0x41, 0x41}, {0x81, 0x41}},
      {{0x41, 0x41, 0x41}, {0x82, 0x41}},
      {{0x41, 0x42, 0x43}, {0x02, 0x41, 0x42, 0x43}},
      {{0x41, 0x41, 0x42}, {0x81, 0x41, 0x00, 0x42}},
      {{0x41, 0x42, 0x42, 0x43}, {0x00, 0x41, 0x81, 0x42, 0x00, 0x43}},
      {{5, 0, 0, 0, 0, 7, 7, 9}, {0x00, 5, 0x83, 0, 0x81, 7, 0x00, 9}},
      {Repeat(122, 0), {0xF9, 0}},
      {Repeat(123, 0), {0xF9, 0, 0x00, 0}},
      {Repeat(124, 0), {0xF9, 0, 0x81, 0}},
      {Cat(Repeat(123, 0), {5}), {0xF9, 0, 0x01, 0, 5}},
      {Counting(1, 0x7A), Cat(Cat({0x78}, Counting(1, 0x79)), {0x00, 0x7A})},
      {Counting(1, 121), Cat({0x78}, Counting(1, 121))},
      {Repeat(244, 9), {0xF9, 9, 0xF9, 9}},
      {Repeat(245, 9), {0xF9, 9, 0xF9, 9, 0x00, 9}},
  };
  for (const auto& [data, packets] : cases) EXPECT_EQ(Encode(data), packets) << data.size();
}

// Decoding what was coded gives the data back, within the count limits.
TEST(PackedCoder, RoundTripKeepsLimits) {
  uint32_t seed = 1;
  for (int trial = 0; trial < 200; ++trial) {
    Bytes data(static_cast<size_t>(trial * 7 + 1));
    for (uint8_t& b : data) {
      seed = seed * 1103515245 + 12345;
      b = static_cast<uint8_t>((seed >> 16) % (trial % 3 == 0 ? 2 : 5));
    }
    Bytes file = Cat({1, 0, 0, 0}, Encode(data));
    int32_t cell = 0;
    Bytes decoded;
    ASSERT_TRUE(DecodePackedFile(file, cell, decoded));
    ASSERT_EQ(decoded, data);
    for (size_t p = 4; p < file.size();) {
      uint8_t h = file[p];
      ASSERT_TRUE(h <= 0x78 || (h >= 0x81 && h <= 0xF9)) << int(h);
      if (h < 0x80) {
        for (size_t i = p + 2; i <= p + h + 1; ++i) ASSERT_NE(file[i], file[i - 1]);
      }
      p += h < 0x80 ? h + 2u : 2u;
    }
  }
}

TEST(WritePackedGlyphs, WholeEmptySheetFile) {
  TempDir dir;
  PackedGlyphs packed{16, Bytes(303104, 0)};
  ASSERT_TRUE(WritePackedGlyphs(packed, dir.File("tavrest.qpk").c_str()));
  Bytes file = ReadFileOrEmpty(dir.File("tavrest.qpk"));
  ASSERT_EQ(file.size(), 4974u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0x10, 0, 0, 0}));
  for (size_t i = 4; i < 4 + 2 * 2484; i += 2) {
    ASSERT_EQ(file[i], 0xF9);
    ASSERT_EQ(file[i + 1], 0);
  }
  EXPECT_EQ(file[4972], 0xB7);
  EXPECT_EQ(file[4973], 0x00);
  EXPECT_EQ(ListDir(dir.path).size(), 1u);  // no temporary left behind
}

// A stream the reader would refuse is never written.
TEST(WritePackedGlyphs, ReplacesWholeAndRefusesWhatTheReaderRefuses) {
  TempDir dir;
  std::string path = dir.File("out.qpk");
  WriteFileBytes(path, std::string(10000, 'x'));
  const PackedGlyphs inked{1, Bytes(9472, 0x80)};
  ASSERT_TRUE(WritePackedGlyphs(inked, path.c_str()));
  const Bytes written = ReadFileOrEmpty(path);
  EXPECT_EQ(written, Cat({1, 0, 0, 0}, Encode(inked.bytes)));
  struct Case {
    const char* name;
    PackedGlyphs packed;
    int error;
  };
  const Case cases[] = {
      {"empty", {16, {}}, 0},  // nothing to write
      {"size -2", {-2, {7}}, EINVAL},
      {"size 33", {33, Bytes(PackedStreamLength(33))}, EINVAL},
      {"a byte short", {16, Bytes(303103)}, EINVAL},
      {"a byte more", {16, Bytes(303105)}, EINVAL},
      {"padding bits set", {1, Bytes(9472, 0x40)}, EINVAL},
  };
  for (const Case& c : cases) {
    errno = 12345;
    EXPECT_FALSE(WritePackedGlyphs(c.packed, path.c_str())) << c.name;
    EXPECT_EQ(errno, c.error) << c.name;
    EXPECT_EQ(ReadFileOrEmpty(path), written) << c.name;
  }
  EXPECT_EQ(ListDir(dir.path).size(), 1u);
}

}  // namespace

namespace {

// A row coded by the TGA packet emitters, one packet at a time, by the
// literal rule.
Bytes EmittedTgaRow(const SheetPixels& row) {
  CodeOneAtATime(
      row.size(), [&](size_t a, size_t b) { return row[a] == row[b]; },
      [&](size_t first, size_t pending) {
        PendingPixels run{&row[first], static_cast<int>(pending)};
        PutTgaRunPacket(run);
        EXPECT_EQ(run.count, 0);
      },
      [&](size_t first, size_t count) {
        PendingPixels literals{&row[first], static_cast<int>(count)};
        PutTgaRawPacket(literals);
        EXPECT_EQ(literals.count, 0);
      });
  const Bytes out(tgaBytes.begin(), tgaBytes.end());
  TgaBuffer().swap(tgaBytes);
  return out;
}

// The coders against their literal one-item-at-a-time versions, and the
// TGA row coder against its packet emitters, on data shaped like sheets:
// long runs, short runs, lone items, and the cut lengths.
TEST(Coders, MatchLiteralVersionsExactly) {
  std::mt19937 random(5);
  const int stretchLengths[] = {1, 2, 3, 121, 122, 123, 124, 243, 244, 245, 500};
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> pixels;
    while (bytes.size() < 3000) {
      const int length = stretchLengths[random() % 11];
      const uint8_t value = static_cast<uint8_t>(random() % 3);
      bytes.insert(bytes.end(), static_cast<size_t>(length), value);
      pixels.insert(pixels.end(), static_cast<size_t>(length), value * 0x01010101u + (value == 2));
    }
    ASSERT_EQ(Encode(bytes), ReferencePackedPackets(bytes)) << "trial " << trial;
    SheetPixels row(pixels.size());
    memcpy(row.data(), pixels.data(), pixels.size() * 4);
    EncodeTgaRow(row.data(), static_cast<int>(row.size()));
    const Bytes coded(tgaBytes.begin(), tgaBytes.end());
    TgaBuffer().swap(tgaBytes);
    ASSERT_EQ(coded, ReferenceTgaRowPackets(pixels)) << "trial " << trial;
    ASSERT_EQ(coded, EmittedTgaRow(row)) << "trial " << trial;
  }
}

}  // namespace
