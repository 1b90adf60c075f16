// SPDX-License-Identifier: MIT
// Huge and hostile font files finish with bounded memory: the loader keeps
// one 64 KiB block and the glyph rows, whatever the file's size.
#include "run_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVREST_TEST_ASAN 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define TAVREST_TEST_ASAN 1
#endif

namespace {

#if defined(TAVREST_TEST_ASAN)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

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

// Wherever memory runs out, the run ends with status 1 and its reason, never
// by a signal: limits a quarter MiB apart, from where the program can start
// up to the first that lets it convert, span FreeType's reading of the font,
// the rendering and the sheet.
TEST(Bounds, RunningOutOfMemoryIsAFailureNotACrash) {
  if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer reserves more than any limit here";
  TempDir dir;
  for (int limitKib = 24000; limitKib <= 60000; limitKib += 250) {
    const std::string command = "ulimit -v " + std::to_string(limitKib) + "; " + TavrestBinary() +
                                " -b -q -s 16 -f " + kIpaGothic + " -o " + dir.File("o.qpk") +
                                " -i " + dir.File("o.tga") + " 2> " + dir.File("err") + "; echo $?";
    std::vector<uint8_t> status;
    ASSERT_TRUE(RunProgram({"/bin/sh", "-c", command}, status));
    const std::string text(status.begin(), status.end());
    const std::vector<uint8_t> error = ReadFileOrEmpty(dir.File("err"));
    const std::string why(error.begin(), error.end());
    if (text == "127\n") continue;  // too little to load the libraries
    EXPECT_TRUE(text == "0\n" || (text == "1\n" && why.starts_with("tavrest: ")))
        << limitKib << " KiB: status " << text << why;
    if (text == "0\n") break;  // enough memory from here on
  }
}

}  // namespace
