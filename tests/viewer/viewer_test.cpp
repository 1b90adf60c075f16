// SPDX-License-Identifier: MIT
// tavrest-view, run as a program on the converter's own output for
// jiskan16 + 8x16rk; pictures decoded by ImageMagick.
#include "kanji.h"
#include "run_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <sstream>

namespace {

struct ViewRun {
  int status = -1;
  std::string out;
  std::string err;
};

ViewRun RunViewer(const TempDir& dir, const std::vector<std::string>& args) {
  const std::string outPath = dir.File("stdout"), errPath = dir.File("stderr");
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    std::vector<char*> argv{const_cast<char*>(TAVREST_VIEWER)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  ViewRun run;
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  const std::vector<uint8_t> out = ReadFileOrEmpty(outPath), err = ReadFileOrEmpty(errPath);
  run.out.assign(out.begin(), out.end());
  run.err.assign(err.begin(), err.end());
  return run;
}

// One conversion for the whole suite: tavrest.qpk and tavrest.tga.
class Viewer : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    converted = new TempDir();
    WriteIni(converted->path, FontPath("jiskan16"), FontPath("8x16rk"), "16");
    ASSERT_EQ(RunTavrest(converted->path).exitStatus, 0);
    int32_t size = 0;
    ASSERT_TRUE(
        DecodePackedFile(ReadFileOrEmpty(Qpk()), size, *(stream = new std::vector<uint8_t>)));
  }
  static void TearDownTestSuite() {
    delete converted;
    delete stream;
  }
  static std::string Qpk() { return converted->File("tavrest.qpk"); }
  static bool HasInk(int slot) {
    for (const auto& row : PackedCell(*stream, 16, slot))
      for (bool ink : row)
        if (ink) return true;
    return false;
  }
  static inline TempDir* converted = nullptr;
  static inline std::vector<uint8_t>* stream = nullptr;
  TempDir dir;
};

TEST_F(Viewer, CountsGlyphsPerRange) {
  int rows[4] = {0, 0, 0, 0};  // single-byte, JIS rows 1-8, 16-47, 48-84
  int total = 0;
  for (int slot = 0; slot < GlyphSlotCount; ++slot) total += HasInk(slot);
  for (int slot = 0; slot < 256; ++slot) rows[0] += HasInk(slot);
  const std::pair<int, int> ranges[] = {{1, 8}, {16, 47}, {48, 84}};
  for (int r = 0; r < 3; ++r)
    for (int row = ranges[r].first; row <= ranges[r].second; ++row)
      for (int cell = 1; cell <= 94; ++cell)
        rows[r + 1] += HasInk(Kanji_TwoByteSlot(0x20 + row, 0x20 + cell));
  std::ostringstream expected;
  expected << "cell size: 16\nglyphs: " << total << "\nsingle-byte: " << rows[0]
           << "\nJIS rows 1-8: " << rows[1] << "\nJIS rows 16-47: " << rows[2]
           << "\nJIS rows 48-84: " << rows[3]
           << "\nother: " << total - rows[0] - rows[1] - rows[2] - rows[3] << "\n";
  const ViewRun run = RunViewer(dir, {Qpk()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected.str());
}

// A font is shown as the .qpk tavrest makes of it: the same counts, the same
// sheet.
TEST_F(Viewer, FontsAreShownAsTheirQpk) {
  const std::string misc = "/usr/share/fonts/X11/misc/";
  TavrestCall call;
  call.dir = dir.path;
  call.args = {"-b", "-f", kIpaGothic, "-s", "16", "-o", dir.File("ipa.qpk"), "--no-image"};
  ASSERT_EQ(CallTavrest(call).exitStatus, 0);
  struct FontCase {
    std::vector<std::string> font;
    std::string qpk;
  };
  const FontCase cases[] = {
      {{FontPath("jiskan16"), "-F", FontPath("8x16rk")}, Qpk()},  // at the font's own size
      {{misc + "jiskan16.pcf.gz", "--second", misc + "8x16rk.pcf.gz", "-s", "16"}, Qpk()},
      {{kIpaGothic, "--size", "16"}, dir.File("ipa.qpk")},
      // Baselines given where the fonts' own put them.
      {{FontPath("jiskan16"), "--baseline", "14", "-F", FontPath("8x16rk"), "--second-baseline=14"},
       Qpk()},
  };
  for (const FontCase& c : cases) {
    SCOPED_TRACE(c.font[0]);
    std::vector<std::string> args = c.font;
    const ViewRun fromFont = RunViewer(dir, args);
    EXPECT_EQ(fromFont.status, 0) << fromFont.err;
    EXPECT_EQ(fromFont.out, RunViewer(dir, {c.qpk}).out);
    ASSERT_EQ(RunViewer(dir, {c.qpk, "-o", dir.File("qpk.png")}).status, 0);
    args.insert(args.end(), {"-o", dir.File("font.PNG")});
    ASSERT_EQ(RunViewer(dir, args).status, 0);
    EXPECT_TRUE(ReadFileOrEmpty(dir.File("font.PNG")) == ReadFileOrEmpty(dir.File("qpk.png")));
  }
}

// Pixels (r, g, b, a) as ImageMagick decodes the file, top row first.
std::vector<uint8_t> Rgba(const std::string& path) {
  std::vector<uint8_t> pixels;
  EXPECT_TRUE(
      RunProgram({ImageMagickConvert(), path, "-auto-orient", "-depth", "8", "rgba:-"}, pixels))
      << path;
  return pixels;
}

bool IsInkAt(const std::vector<uint8_t>& rgba, size_t i) {
  return rgba[i] == 0 && rgba[i + 1] == 0 && rgba[i + 2] == 0 && rgba[i + 3] == 255;
}

TEST_F(Viewer, SheetPngHasTheInkOfTheTga) {
  if (ImageMagickConvert().empty()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const std::vector<uint8_t> tga = Rgba(converted->File("tavrest.tga"));
  for (const bool white : {false, true}) {
    SCOPED_TRACE(white ? "white" : "transparent");
    std::vector<std::string> args{Qpk(), "-o", dir.File("sheet.png")};
    if (white) args.insert(args.end(), {"--background", "white"});
    const ViewRun run = RunViewer(dir, args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<uint8_t> png = Rgba(dir.File("sheet.png"));
    ASSERT_EQ(png.size(), tga.size());
    size_t inked = 0, differing = 0, wrongPaper = 0;
    for (size_t i = 0; i < png.size(); i += 4) {
      inked += IsInkAt(png, i);
      differing += IsInkAt(png, i) != IsInkAt(tga, i);
      const uint8_t paperAlpha = white ? 255 : 0;
      wrongPaper += !IsInkAt(png, i) && png[i + 3] != paperAlpha;
    }
    EXPECT_GT(inked, 100000u);
    EXPECT_EQ(differing, 0u);
    EXPECT_EQ(wrongPaper, 0u);
  }
}

TEST_F(Viewer, GlyphArt) {
  struct ArtCase {
    const char* code;
    int slot;
    int scale;
  };
  for (const auto& [code, slot, scale] : {ArtCase{"0x3021", 1792, 1},
                                          {"0x41", 0x41, 1},
                                          {"0x7e7e", 9373, 1},
                                          {"\xE6\x97\xA5", 3995, 1},  // 日, 0x467C
                                          {"A", 0x41, 3}}) {
    std::string expected;
    const int firstColumn = slot < 256 ? 8 : 0;  // single-byte glyphs lie in the right half
    for (const auto& row : PackedCell(*stream, 16, slot)) {
      std::string line;
      for (size_t x = static_cast<size_t>(firstColumn); x < row.size(); ++x)
        line += std::string(static_cast<size_t>(scale), row[x] ? '#' : '.');
      for (int copy = 0; copy < scale; ++copy) expected += line + '\n';
    }
    const ViewRun run = RunViewer(dir, {Qpk(), "--glyph", code, "--scale", std::to_string(scale)});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, expected) << code;
  }
}

// Inked pixel positions of a picture.
std::set<std::pair<int, int>> InkOfPng(const std::string& path) {
  std::vector<uint8_t> widthText;
  EXPECT_TRUE(RunProgram({ImageMagickConvert(), path, "-format", "%w", "info:"}, widthText));
  const int width = std::stoi(std::string(widthText.begin(), widthText.end()));
  std::set<std::pair<int, int>> ink;
  const std::vector<uint8_t> rgba = Rgba(path);
  for (size_t i = 0; i < rgba.size(); i += 4)
    if (IsInkAt(rgba, i))
      ink.insert({static_cast<int>(i / 4) % width, static_cast<int>(i / 4) / width});
  return ink;
}

// The same text in Shift-JIS, drawn by the library from the BDF fonts.
std::set<std::pair<int, int>> InkOfSjisText(const char* sjis, bool vertical) {
  std::unique_ptr<FontSet, decltype(&Kanji_DestroyFontSet)> font(
      Kanji_CreateFontSet(FontPath("jiskan16").c_str(), 16), Kanji_DestroyFontSet);
  Kanji_LoadBdf(font.get(), FontPath("8x16rk").c_str());
  Kanji_SetEncoding(font.get(), EncodingShiftJis);
  SDL_Surface* surface = vertical ? Kanji_RenderTextVertical(font.get(), sjis, {0, 0, 0, 0}, 32)
                                  : Kanji_RenderText(font.get(), sjis, {0, 0, 0, 0}, 32);
  std::set<std::pair<int, int>> ink;
  for (int y = 0; y < surface->h; ++y)
    for (int x = 0; x < surface->w; ++x)
      if (static_cast<const Uint32*>(surface->pixels)[y * surface->pitch / 4 + x] !=
          surface->format->colorkey)
        ink.insert({x, y});
  SDL_FreeSurface(surface);
  return ink;
}

TEST_F(Viewer, TextDrawnFromUtf8) {
  if (ImageMagickConvert().empty()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  struct TextCase {
    const char* utf8;
    const char* sjis;
    bool vertical;
    int scale;  // with --background white when above 1
  };
  const TextCase cases[] = {
      {"Tavrest 16 [ok]", "Tavrest 16 [ok]", false, 1},
      {"日本語、テスト。", "\x93\xfa\x96\x7b\x8c\xea\x81\x41\x83\x65\x83\x58\x83\x67\x81\x42",
       false, 1},
      {"日本語、テスト。", "\x93\xfa\x96\x7b\x8c\xea\x81\x41\x83\x65\x83\x58\x83\x67\x81\x42", true,
       1},
      {"日本", "\x93\xfa\x96\x7b", true, 3},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(std::string(c.utf8) + (c.vertical ? " vertical" : ""));
    std::vector<std::string> args{Qpk(), "--text", c.utf8, "-o", dir.File("text.png")};
    if (c.vertical) args.push_back("--vertical");
    if (c.scale > 1)
      args.insert(args.end(), {"--scale", std::to_string(c.scale), "--background", "white"});
    const ViewRun run = RunViewer(dir, args);
    ASSERT_EQ(run.status, 0) << run.err;
    // Positions only: the picture's size follows the text's bytes, and
    // UTF-8 has more of them.
    std::set<std::pair<int, int>> expected;
    for (const auto& [x, y] : InkOfSjisText(c.sjis, c.vertical))
      for (int i = 0; i < c.scale * c.scale; ++i)
        expected.insert({x * c.scale + i % c.scale, y * c.scale + i / c.scale});
    EXPECT_FALSE(expected.empty());
    EXPECT_TRUE(InkOfPng(dir.File("text.png")) == expected);
  }
}

TEST_F(Viewer, RefusalsAndUsage) {
  WriteFileBytes(dir.File("short.qpk"), std::string("\x10\0\0\0\x81\0", 6));
  WriteFileBytes(dir.File("empty"), "");
  CopyFile(FontPath("8x16rk"), dir.File("r.png"), 0644);  // a font, whatever its name
  mkdir(dir.File("d.png").c_str(), 0777);
  std::string wide;
  for (int i = 0; i < 1100; ++i) wide += "\xE6\x97\xA5";
  const std::string kNotAGlyph =
      "tavrest-view: not a single-byte or JIS code, nor a character with a slot: ";
  struct UsageCase {
    std::vector<std::string> args;
    int status;
    std::string firstLine;  // of standard error, or of standard output for status 0
  };
  const UsageCase cases[] = {
      {{"--help"},
       0,
       "usage: tavrest-view FILE [-o SHEET.png] [--scale N] [--background white|transparent]"},
      {{"--version"}, 0, "tavrest-view " TAVREST_VERSION},
      {{}, 2, "tavrest-view: give one file: a .qpk file or a font"},
      {{Qpk(), Qpk()}, 2, "tavrest-view: give one file: a .qpk file or a font"},
      {{Qpk(), "-o", "sheet.jpg"},
       2,
       "tavrest-view: the picture is a PNG: its name ends in .png, not sheet.jpg"},
      {{Qpk(), "--scale", "17", "-o", "x.png"},
       2,
       "tavrest-view: --scale is a whole number from 1 to 16, not 17"},
      {{Qpk(), "--scale", "2"},
       2,
       "tavrest-view: --scale goes with a picture: -o, --text or --glyph"},
      {{Qpk(), "-s", "16"}, 2, "tavrest-view: -s and --second go with a font, not a .qpk file"},
      {{FontPath("jiskan16"), "--baseline", "17"},
       2,
       "tavrest-view: --baseline 17 lies below the 16-pixel cell (0 to 16)"},
      {{Qpk(), "--render", "mono", "--face", "1"},
       2,
       "tavrest-view: the baseline, face and rendering options go with a font, not a .qpk file"},
      {{Qpk(), "--second-render", "gray"},
       2,
       "tavrest-view: --second-render is mono, autohint or threshold, not gray"},
      {{"--faces", Qpk(), "--missing"}, 2, "tavrest-view: --faces goes alone"},
      {{FontPath("jiskan16"), "-s", "33"},
       2,
       "tavrest-view: the size is a whole number from 1 to 32, not 33"},
      {{kIpaGothic},
       2,
       "tavrest-view: " + std::string(kIpaGothic) +
           " is an outline font, which has no size of its own; give the cell size with -s"},
      {{"/bin/sh"},
       1,
       "tavrest-view: /bin/sh: not a BDF, PCF, TrueType, OpenType or WOFF font; nor a .qpk file: "
       "its "
       "first 4 bytes give no cell size from 1 to 32"},
      {{"--bogus", Qpk()}, 2, "tavrest-view: unknown option --bogus"},
      {{Qpk(), "--glyph"}, 2, "tavrest-view: --glyph needs a value"},
      {{Qpk(), "--glyph", "0x2100"}, 2, kNotAGlyph + "0x2100"},
      {{Qpk(), "--glyph", "65x"}, 2, kNotAGlyph + "65x"},
      {{Qpk(), "--glyph", "\xD0\x80"}, 2, kNotAGlyph + "\xD0\x80"},  // U+0400: no slot
      {{Qpk(), "--strict"}, 2, "tavrest-view: --strict goes with --text or --glyph"},
      {{Qpk(), "--missing", "--glyph", "A"}, 2, "tavrest-view: --missing goes alone"},
      {{Qpk(), "--vertical"}, 2, "tavrest-view: --vertical goes with --text"},
      {{Qpk(), "--text", ""}, 2, "tavrest-view: the text is empty"},
      {{Qpk(), "--background", "red"},
       2,
       "tavrest-view: --background is white or transparent, not red"},
      // The font library's reason for refusing the file.
      {{dir.File("none.qpk")},
       1,
       "tavrest-view: " + dir.File("none.qpk") + ": cannot be opened: No such file or directory"},
      {{dir.File("short.qpk")},
       1,
       "tavrest-view: " + dir.File("short.qpk") + ": the stream ends early"},
      {{dir.File("empty")}, 1, "tavrest-view: " + dir.File("empty") + ": empty file"},
      {{dir.File("r.png"), "-s", "16", "-o", dir.File("r.png")},
       2,
       "tavrest-view: -o " + dir.File("r.png") + " and " + dir.File("r.png") +
           " are the same file"},
      {{Qpk(), "-o", dir.File("d.png")},
       1,
       "tavrest-view: cannot write " + dir.File("d.png") + ": it is a folder"},
      {{Qpk(), "--text", wide},
       1,
       "tavrest-view: the text is 17600 pixels wide; a text may be at most 16383 pixels wide"},
      {{Qpk(), "-o", dir.File("big.png"), "--scale", "16"},
       1,
       "tavrest-view: the picture would have more than 200000000 pixels at --scale 16; at most "
       "--scale 9"},
      {{Qpk(), "-o", dir.File("no/such.png")},
       1,
       "tavrest-view: cannot write " + dir.File("no/such.png") + ": No such file or directory"},
  };
  for (const UsageCase& c : cases) {
    const ViewRun run = RunViewer(dir, c.args);
    const std::string& text = c.status == 0 ? run.out : run.err;
    EXPECT_EQ(run.status, c.status) << c.firstLine;
    EXPECT_EQ(text.substr(0, text.find('\n')), c.firstLine);
    const bool usageShown = text.find("\nusage: ") != std::string::npos;
    EXPECT_EQ(usageShown, c.status == 2) << c.firstLine;
    if (c.status == 1) {
      EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line: " << text;
    }
  }
  // The files made above and the two captures: nothing half written.
  EXPECT_EQ(ListDir(dir.path).size(), 6u);
}

// jiskan16 lacks the two characters JIS X 0208 gained in 1990; text
// characters without a glyph are named, the first 20 of them.
TEST_F(Viewer, MissingCharacters) {
  const std::string circled = "\xE2\x91\xA0";  // ①, JIS X 0213's 0x2D21
  std::string many, named;
  for (int i = 0; i < 21; ++i) many += circled;
  for (int i = 0; i < 20; ++i) named += (i == 0 ? " " : ", ") + circled + " U+2460";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;  // "" for any
    std::string err;
  };
  const Case cases[] = {
      {{Qpk(), "--missing"},
       0,
       "84: \xE5\x87\x9C\xE7\x86\x99\n2 JIS X 0208 characters have no glyph\n",
       ""},
      {{Qpk(), "--text", "A " + circled + "\xE6\x97\xA5\xD0\x80\xEF\xBD\x9E"},
       0,
       "",
       "tavrest-view: 2 characters without a glyph: " + circled + " U+2460, \xD0\x80 U+0400\n"},
      {{Qpk(), "--text", "\xFF" + circled, "--strict", "--vertical"},
       1,
       "",
       "tavrest-view: 2 characters without a glyph: an invalid byte, " + circled + " U+2460\n"},
      {{Qpk(), "--text", "\xE6\x97\xA5", "--strict"}, 0, "", ""},
      {{Qpk(), "--glyph", "0x7425"}, 0, "", "tavrest-view: 0x7425 has no glyph\n"},
      {{Qpk(), "--glyph", "0x7425", "--strict"}, 1, "", "tavrest-view: 0x7425 has no glyph\n"},
      {{Qpk(), "--text", many},
       0,
       "",
       "tavrest-view: 21 characters without a glyph:" + named + ", ...\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const ViewRun run = RunViewer(dir, c.args);
    EXPECT_EQ(run.status, c.status);
    if (!c.out.empty()) {
      EXPECT_EQ(run.out, c.out);
    }
    EXPECT_EQ(run.err, c.err);
  }
}

// A collection's faces: listed, chosen, and a face past the last refused
// with the list.
TEST_F(Viewer, Faces) {
  const std::string ttc = std::string(TAVREST_FONT_DIR) + "/faces.ttc";
  std::string fullA = "........\n........\n........\n";
  for (int row = 0; row < 11; ++row) fullA += "########\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{"--faces", ttc}, 0, "0\tTavrest First\tRegular\n1\tTavrest Second\tRegular\n", ""},
      {{ttc, "-s", "16", "--face", "2"},
       1,
       "",
       "tavrest-view: " + ttc +
           ": no face 2; its faces are numbered from 0 to 1\ntavrest-view: face 0: Tavrest First, "
           "Regular\ntavrest-view: face 1: Tavrest Second, Regular\n"},
      // The second face's A fills its half cell.
      {{ttc, "-s", "16", "--face", "1", "--glyph", "A"}, 0, fullA + "........\n........\n", ""},
  };
  for (const auto& c : cases) {
    const ViewRun run = RunViewer(dir, c.args);
    EXPECT_EQ(run.status, c.status) << c.args.back();
    EXPECT_EQ(run.out, c.out) << c.args.back();
    EXPECT_EQ(run.err, c.err) << c.args.back();
  }
}

// The help and the man page describe the same options.
TEST_F(Viewer, ManPageHasEveryOptionOfTheHelp) {
  const ViewRun run = RunViewer(dir, {"--help"});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(ExpectOptionsInManPage(run.out, "viewer/tavrest-view.1"), 25);
}

}  // namespace
