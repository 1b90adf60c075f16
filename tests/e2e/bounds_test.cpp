// Huge and hostile font files finish with bounded memory: the loader keeps
// one 64 KiB block and the glyph rows, whatever the file's size.
#include "output.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

struct HugeFont {
  const char* name;
  std::function<void(std::ofstream&)> write;
};

long PeakOfRun(const std::string& fontPath, const std::string& secondPath) {
  TempDir dir;
  WriteIni(dir.path, fontPath, secondPath, "1");
  RunResult run = RunTavrest(dir.path);
  EXPECT_EQ(run.exitStatus, 0) << run.standardError;
  EXPECT_EQ(ReadFileOrEmpty(dir.File("tavrest.qpk")).empty(), false);
  return run.maxRssKb;
}

TEST(Bounds, HugeFontFilesUseBoundedMemory) {
  const std::vector<uint8_t> real = ReadFileOrEmpty(FontPath("jiskan16"));
  const std::string realText(real.begin(), real.end());
  const HugeFont cases[] = {
      {"34 MB of glyphs",
       [&](std::ofstream& out) {
         for (int i = 0; i < 30; ++i) out << realText;
       }},
      {"a line of 1 MB",
       [&](std::ofstream& out) {
         out << "COMMENT " << std::string(1 << 20, 'x') << "\n" << realText;
       }},
      {"three million ENCODING lines",
       [&](std::ofstream& out) {
         const std::string lines = [] {
           std::string chunk;
           for (int i = 0; i < 1000; ++i) chunk += "ENCODING 65\n";
           return chunk;
         }();
         for (int i = 0; i < 3000; ++i) out << lines;
         out << "BITMAP\n80\n";
       }},
  };
  TempDir fonts;
  WriteFileBytes(fonts.File("tiny.bdf"), "ENCODING 65\nBITMAP\n80\nENDCHAR\n");
  const long baseline = PeakOfRun(fonts.File("tiny.bdf"), fonts.File("tiny.bdf"));
  for (const auto& c : cases) {
    {
      std::ofstream out(fonts.File("huge.bdf"), std::ios::binary | std::ios::trunc);
      c.write(out);
    }
    const long peak = PeakOfRun(fonts.File("huge.bdf"), fonts.File("huge.bdf"));
    EXPECT_LT(peak, baseline + 4 * 1024) << c.name << ": " << peak << " KiB against " << baseline;
    printf("%s: peak %ld KiB, tiny font %ld KiB\n", c.name, peak, baseline);
  }
}

}  // namespace

namespace {

// Image headers that claim huge sizes are refused from the header alone:
// no memory is taken for pixels the file cannot hold.
TEST(Bounds, HugeImageClaimsCostNoMemory) {
  TempDir dir;
  auto tga = [](int width, int height) {
    std::string file(18, '\0');
    file[2] = 10;
    file[12] = static_cast<char>(width & 0xFF);
    file[13] = static_cast<char>(width >> 8);
    file[14] = static_cast<char>(height & 0xFF);
    file[15] = static_cast<char>(height >> 8);
    file[16] = 32;
    file[17] = 8;
    return file + std::string(4096, '\xF9');  // run packets with no pixels behind them
  };
  const std::pair<const char*, std::string> claims[] = {
      {"32767 x 32767", tga(32767, 32767)},
      {"65535 x 65535", tga(65535, 65535)},
      {"8192 x 8192, at the cap", tga(8192, 8192)},
  };
  const long baseline = RunInChild([] { return 0; }).maxRssKb;
  for (const auto& [name, content] : claims) {
    const std::string path = dir.File("claim.tga");
    WriteFileBytes(path, content);
    ChildResult child = RunInChild([&] {
      GlyphSheet sheet{0, 0, {}};
      return ReadTga(sheet, path.c_str()) ? 1 : 0;
    });
    EXPECT_EQ(child.exitStatus, 0) << name << " was accepted";
    EXPECT_LT(child.maxRssKb, baseline + 4 * 1024) << name;
    printf("%s: peak %ld KiB, idle child %ld KiB\n", name, child.maxRssKb, baseline);
  }
}

}  // namespace
