// SPDX-License-Identifier: MIT
// The image readers: files of another tool in both directions, malformed
// files with the reason for each refusal, and files that come through pipes.
// Round trips on real-font sheets are in tests/e2e/image_test.cpp.
#include "output.h"
#include "sheet_bytes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace {

using Bytes = std::vector<uint8_t>;
using Reader = bool (*)(GlyphSheet&, const char*, ImageRefusal&);

// Runs, lone pixels, every alpha: a sheet whose channels cannot be confused.
GlyphSheet ColourfulSheet(int width, int height) {
  GlyphSheet sheet{width, height, {}};
  uint32_t seed = 11;
  for (int k = 0; k < width * height; ++k) {
    seed = seed * 1103515245 + 12345;
    if (k % 9 < 5 && k > 0) {
      sheet.pixels.push_back(sheet.pixels.back());
    } else {
      sheet.pixels.push_back(
          SheetPixel{static_cast<uint8_t>(seed >> 24), static_cast<uint8_t>(seed >> 16),
                     static_cast<uint8_t>(seed >> 8), static_cast<uint8_t>(k * 7)});
    }
  }
  return sheet;
}

GlyphSheet Opaque(GlyphSheet sheet) {
  for (SheetPixel& p : sheet.pixels) p.a = 255;
  return sheet;
}

void ExpectSameSheet(const GlyphSheet& actual, const GlyphSheet& expected,
                     const std::string& what) {
  EXPECT_EQ(actual.width, expected.width) << what;
  EXPECT_EQ(actual.height, expected.height) << what;
  EXPECT_TRUE(actual.pixels == expected.pixels) << what;
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
  // A real-font sheet is decoded too, in tests/e2e/image_test.cpp.
  const GlyphSheet sheets[] = {ColourfulSheet(301, 7)};
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
      std::vector<std::string> args = {
          convert,  "-size", std::to_string(sheet.width) + "x" + std::to_string(sheet.height),
          "-depth", "8",     "rgba:" + raw};
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

// Every refused file leaves the sheet exactly as it was, and is refused for
// the reason expected: the one check that the case is there to prove.
void ExpectRefused(Reader read, const std::string& path, ImageRefusal expected,
                   const std::string& name) {
  const GlyphSheet before{2, 1, {SheetPixel{1, 2, 3, 4}, SheetPixel{5, 6, 7, 8}}};
  GlyphSheet sheet = before;
  ImageRefusal why = ImageRefusal::None;
  EXPECT_FALSE(read(sheet, path.c_str(), why)) << name;
  EXPECT_EQ(why, expected) << name << ": " << ImageRefusalText(why) << " instead of "
                           << ImageRefusalText(expected);
  ExpectSameSheet(sheet, before, name);
}

struct Malformed {
  std::string name;
  Bytes file;
  ImageRefusal why;
};

void ExpectAllRefused(Reader read, const std::vector<Malformed>& cases) {
  TempDir dir;
  for (const Malformed& c : cases) {
    WriteFileBytes(dir.File("bad"), std::string(c.file.begin(), c.file.end()));
    ExpectRefused(read, dir.File("bad"), c.why, c.name);
  }
  ExpectRefused(read, dir.File("missing"), ImageRefusal::CannotOpen, "missing file");
  ExpectRefused(read, dir.path, ImageRefusal::ReadFailed, "a folder: it opens, reads fail");
}

// Every shorter prefix of a file: within the header it ends early; then it
// is shorter than its header claims, up to the `claimed` length that the
// header check can know, and from there its data ends early.
std::vector<Malformed> Prefixes(const std::string& name, const Bytes& file, size_t headerSize,
                                size_t claimed) {
  std::vector<Malformed> cases;
  for (size_t n = 0; n < file.size(); ++n) {
    const bool known = n >= headerSize && n < claimed;
    cases.push_back({name + " cut to " + std::to_string(n), Bytes(file.begin(), file.begin() + n),
                     known ? ImageRefusal::ShorterThanClaimed : ImageRefusal::Truncated});
  }
  return cases;
}

// A 2 x 2 TGA of the given type and the bytes after its header.
Bytes Tga2x2(uint8_t type, const Bytes& data) {
  Bytes file = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 8};
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

const Bytes kPlainTga = Tga2x2(2, Bytes(16, 0x5A));

TEST(ImageReaders, RefuseMalformedTga) {
  const Bytes good = FileOf(WriteTga, ColourfulSheet(13, 4));
  const Bytes& plain = kPlainTga;
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
  // 2 x 2 images whose first packet is too long for its row, and one whose
  // last raw packet is cut short.
  const Bytes longRun = Tga2x2(10, {0x82, 1, 2, 3, 4, 0x81, 1, 2, 3, 4});
  const Bytes longRaw = Tga2x2(10, {0x02, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 0x00, 1, 2, 3, 4});
  const Bytes cutRaw = Tga2x2(10, {0x81, 1, 2, 3, 4, 0x01, 1, 2, 3, 4, 5, 6, 7});
  using R = ImageRefusal;
  std::vector<Malformed> cases = {
      {"colour map present", with(good, 1, 1), R::ColourMapped},
      {"colour-mapped type", with(with(good, 1, 1), 2, 1), R::ColourMapped},
      {"run-length colour-mapped type", with(with(good, 1, 1), 2, 9), R::ColourMapped},
      {"grey type", with(good, 2, 3), R::ImageType},
      {"grey type, every pixel stored", with(plain, 2, 3), R::ImageType},
      {"no image data", with(good, 2, 0), R::ImageType},
      {"unknown type", with(good, 2, 11), R::ImageType},
      {"24-bit", with(good, 16, 24), R::Depth},
      {"16-bit", with(good, 16, 16), R::Depth},
      {"width 0", size(0, 4), R::InvalidSize},
      {"height 0", size(13, 0), R::InvalidSize},
      {"more rows than stored", size(13, 5), R::Truncated},
      {"run past the row end", longRun, R::PacketPastRow},
      {"raw packet past the row end", longRaw, R::PacketPastRow},
      {"last raw packet cut short", cutRaw, R::Truncated},
      {"image ID longer than the file", with(plain, 0, 200), R::ShorterThanClaimed},
  };
  // Four rows of 13 pixels take at least a 5-byte packet each.
  for (const Malformed& m : Prefixes("run-length", good, 18, 18 + 4 * 5)) cases.push_back(m);
  for (const Malformed& m : Prefixes("uncompressed", plain, 18, plain.size())) cases.push_back(m);
  ExpectAllRefused(ReadTga, cases);
}

TEST(ImageReaders, RefuseMalformedBmp) {
  const Bytes good = FileOf(WriteBmp, ColourfulSheet(5, 3));  // rows padded
  auto with = [&](size_t at, uint32_t v, void (*put)(Bytes&, size_t, uint32_t)) {
    Bytes file = good;
    put(file, at, v);
    return file;
  };
  auto size = [&](uint32_t w, uint32_t h) {
    Bytes file = good;
    Put32(file, 18, w);
    Put32(file, 22, h);
    return file;
  };
  using R = ImageRefusal;
  std::vector<Malformed> cases = {
      {"signature BA", with(0, 'B' | 'A' << 8, Put16), R::Signature},
      {"signature MB", with(0, 'M' | 'B' << 8, Put16), R::Signature},
      {"8-bit", with(28, 8, Put16), R::Depth},
      {"16-bit", with(28, 16, Put16), R::Depth},
      {"32-bit", with(28, 32, Put16), R::Depth},
      {"run-length compressed", with(30, 1, Put32), R::Compression},
      {"bit fields", with(30, 3, Put32), R::Compression},
      {"old 12-byte info header", with(14, 12, Put32), R::InfoHeader},
      {"data offset inside the header", with(10, 20, Put32), R::DataOffset},
      {"data offset past the end", with(10, 1000, Put32), R::ShorterThanClaimed},
      {"data offset far past the end", with(10, 0xFFFFFFFF, Put32), R::ShorterThanClaimed},
      {"width 0", size(0, 3), R::InvalidSize},
      {"height 0", size(5, 0), R::InvalidSize},
      {"negative width", size(static_cast<uint32_t>(-5), 3), R::InvalidSize},
      {"most negative height", size(5, 0x80000000), R::InvalidSize},
      {"more rows than stored", size(5, 4), R::ShorterThanClaimed},
      {"taller than stored, top-down", size(5, static_cast<uint32_t>(-4)), R::ShorterThanClaimed},
      {"wider than stored", size(6, 3), R::ShorterThanClaimed},
      {"pixel count above the cap", size(70000, 1000), R::TooManyPixels},
      {"pixel count overflowing 32 bits", size(0x10000, 0x10000), R::TooManyPixels},
      {"pixel count overflowing 64 bits", size(0x7FFFFFFF, 0x7FFFFFFF), R::TooManyPixels},
  };
  for (const Malformed& m : Prefixes("bmp", good, 54, good.size())) cases.push_back(m);
  ExpectAllRefused(ReadBmp, cases);
}

// 8193 x 8193 pixels is past the cap, though the files hold them all: in
// run packets, and as a sparse file of 201 MB.
TEST(ImageReaders, RefuseImagesAboveThePixelCap) {
  TempDir dir;
  Bytes tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x20, 0x01, 0x20, 32, 8};
  Bytes row;
  for (int k = 0; k < 64; ++k) row.insert(row.end(), {0xFF, 0, 0, 0, 255});
  row.insert(row.end(), {0x00, 0, 0, 0, 255});
  for (int r = 0; r < 8193; ++r) tga.insert(tga.end(), row.begin(), row.end());
  WriteFileBytes(dir.File("big.tga"), std::string(tga.begin(), tga.end()));
  ExpectRefused(ReadTga, dir.File("big.tga"), ImageRefusal::TooManyPixels, "tga");

  Bytes bmp = FileOf(WriteBmp, ColourfulSheet(1, 1));
  Put32(bmp, 18, 8193);
  Put32(bmp, 22, 8193);
  WriteFileBytes(dir.File("big.bmp"), std::string(bmp.begin(), bmp.begin() + 54));
  ASSERT_EQ(truncate(dir.File("big.bmp").c_str(), 54 + 24580 * 8193), 0);
  ExpectRefused(ReadBmp, dir.File("big.bmp"), ImageRefusal::TooManyPixels, "bmp");
}

// The BMP of `sheet` with its rows stored top row first (a negative height)
// and a gap of 10 bytes before them.
Bytes TopDownBmpWithGap(const GlyphSheet& sheet) {
  const Bytes file = FileOf(WriteBmp, sheet);
  const size_t rowBytes = (static_cast<size_t>(sheet.width) * 3 + 3) / 4 * 4;
  Bytes topDown(file.begin(), file.begin() + 54);
  topDown.insert(topDown.end(), 10, 0xEE);
  for (size_t r = static_cast<size_t>(sheet.height); r-- > 0;)
    topDown.insert(topDown.end(), file.begin() + static_cast<long>(54 + r * rowBytes),
                   file.begin() + static_cast<long>(54 + (r + 1) * rowBytes));
  Put32(topDown, 10, 64);
  Put32(topDown, 22, static_cast<uint32_t>(-sheet.height));
  return topDown;
}

TEST(ImageReaders, BmpTopDownRowsAndDataOffset) {
  TempDir dir;
  const GlyphSheet sheet = ColourfulSheet(7, 4);
  const Bytes file = TopDownBmpWithGap(sheet);
  WriteFileBytes(dir.File("x.bmp"), std::string(file.begin(), file.end()));
  GlyphSheet read{0, 0, {}};
  ASSERT_TRUE(ReadBmp(read, dir.File("x.bmp").c_str()));
  ExpectSameSheet(read, Opaque(sheet), "top-down");
}

// ---- Pipes ------------------------------------------------------------------

// Hands `content` to `read` through a pipe that a child process writes, as
// `cat file | program /dev/stdin` would: a named pipe made at `fifoPath`,
// or, when that is empty, an unnamed one reached through /proc/self/fd.
bool ReadThroughPipe(Reader read, const Bytes& content, const std::string& fifoPath,
                     GlyphSheet& sheet, ImageRefusal& why) {
  const bool named = !fifoPath.empty();
  int ends[2] = {-1, -1};
  if (named ? mkfifo(fifoPath.c_str(), 0600) != 0 : pipe(ends) != 0) return false;
  const std::string path = named ? fifoPath : "/proc/self/fd/" + std::to_string(ends[0]);
  fflush(nullptr);
  const pid_t writer = fork();
  if (writer == 0) {
    if (!named) close(ends[0]);  // else a reader that gives up early leaves this one blocked
    const int out = named ? open(fifoPath.c_str(), O_WRONLY) : ends[1];
    for (size_t done = 0; out >= 0 && done < content.size();) {
      const ssize_t n = write(out, content.data() + done, content.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    _exit(0);
  }
  if (!named) close(ends[1]);
  const bool accepted = read(sheet, path.c_str(), why);
  if (!named) close(ends[0]);  // a writer still blocked on a full pipe gives up
  waitpid(writer, nullptr, 0);
  if (named) unlink(fifoPath.c_str());
  return accepted;
}

TEST(ImageReaders, ReadThroughPipes) {
  const GlyphSheet sheet = ColourfulSheet(300, 300);  // more than a pipe holds at once
  const Bytes tga = FileOf(WriteTga, sheet);
  const Bytes bmp = FileOf(WriteBmp, sheet);
  struct Case {
    const char* name;
    Reader read;
    Bytes file;
    ImageRefusal why;
    GlyphSheet expected;
  };
  const Case cases[] = {
      {"tga", ReadTga, tga, ImageRefusal::None, sheet},
      {"bmp", ReadBmp, bmp, ImageRefusal::None, Opaque(sheet)},
      {"bmp, top-down after a gap", ReadBmp, TopDownBmpWithGap(sheet), ImageRefusal::None,
       Opaque(sheet)},
      {"tga cut short", ReadTga, Bytes(tga.begin(), tga.end() - 1), ImageRefusal::Truncated, {}},
      {"uncompressed tga cut short",
       ReadTga,
       Bytes(kPlainTga.begin(), kPlainTga.end() - 1),
       ImageRefusal::Truncated,
       {}},
      {"bmp cut short", ReadBmp, Bytes(bmp.begin(), bmp.end() - 1), ImageRefusal::Truncated, {}},
      {"bmp cut inside the gap",
       ReadBmp,
       Bytes(bmp.begin(), bmp.begin() + 54),
       ImageRefusal::Truncated,
       {}},
  };
  TempDir dir;
  for (const std::string& fifo : {std::string(), dir.File("fifo")}) {
    for (const Case& c : cases) {
      const std::string name =
          std::string(c.name) + (fifo.empty() ? " through a pipe" : " through a fifo");
      const GlyphSheet before{1, 1, {SheetPixel{1, 2, 3, 4}}};
      GlyphSheet read = before;
      ImageRefusal why = ImageRefusal::Truncated;
      EXPECT_EQ(ReadThroughPipe(c.read, c.file, fifo, read, why), c.why == ImageRefusal::None)
          << name;
      EXPECT_EQ(why, c.why) << name << ": " << ImageRefusalText(why);
      ExpectSameSheet(read, c.why == ImageRefusal::None ? c.expected : before, name);
    }
  }
}

// Through a pipe nothing refuses a large image before its pixels are
// allocated; with no memory for them the reader refuses and keeps the sheet.
TEST(ImageReaders, RefuseWhenMemoryRunsOut) {
  Bytes tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x20, 0x00, 0x20, 32, 8};
  Bytes bmp = FileOf(WriteBmp, ColourfulSheet(1, 1));
  Put32(bmp, 18, 8192);
  Put32(bmp, 22, 8192);
  const std::pair<Reader, Bytes> cases[] = {{ReadTga, tga},
                                            {ReadBmp, Bytes(bmp.begin(), bmp.begin() + 54)}};
  for (const auto& [read, header] : cases) {
    const ChildResult child = RunInChild([&, read = read, header = header] {
      long pages = 0;
      std::ifstream("/proc/self/statm") >> pages;  // the address space in use now
      const rlim_t room = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE)) + (rlim_t{64} << 20);
      rlimit limit{room, room};
      setrlimit(RLIMIT_AS, &limit);
      const GlyphSheet before{1, 1, {SheetPixel{1, 2, 3, 4}}};
      GlyphSheet sheet = before;
      ImageRefusal why = ImageRefusal::None;
      if (ReadThroughPipe(read, header, "", sheet, why)) return 255;
      return sheet.pixels == before.pixels ? static_cast<int>(why) : 254;
    });
    EXPECT_EQ(child.exitStatus, static_cast<int>(ImageRefusal::OutOfMemory)) << header.size();
  }
}

}  // namespace
