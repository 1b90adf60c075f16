// SPDX-License-Identifier: MIT
// The command line: each option and each usage error, run through the built
// program, against the plain conversion through tavrest.ini.
#include "font_sheet.h"
#include "output.h"
#include "run_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace {

// Every file below `dir`, as paths relative to it.
std::set<std::string> FilesBelow(const std::string& dir, const std::string& prefix = "") {
  std::set<std::string> files;
  for (const std::string& name : ListDir(dir + "/" + prefix)) {
    struct stat info;
    const std::string relative = prefix + name;
    if (lstat((dir + "/" + relative).c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      files.merge(FilesBelow(dir, relative + "/"));
    } else {
      files.insert(relative);
    }
  }
  return files;
}

// A folder holding sub/set.ini with font paths relative to it, sub/zero.ini
// whose size line reads as 0, sub/face.ini naming a face a collection lacks,
// sub/free.bdf, a JIS X 0208 font with glyphs at codes it leaves free, and a
// font of its own, r.bdf, with a link to it.
void SetUpFolder(const TempDir& dir, const std::string& ini) {
  CopyFile(FontPath("8x16rk"), dir.File("r.bdf"), 0644);
  symlink("r.bdf", dir.File("link.qpk").c_str());
  mkdir(dir.File("sub").c_str(), 0777);
  mkdir(dir.File("out").c_str(), 0777);
  symlink(FontPath("jiskan16").c_str(), dir.File("sub/j.bdf").c_str());
  symlink(FontPath("8x16rk").c_str(), dir.File("sub/r.bdf").c_str());
  WriteFileBytes(dir.File("sub/set.ini"), "j.bdf\nr.bdf\n16\n");
  WriteFileBytes(dir.File("sub/zero.ini"), "j.bdf\nr.bdf\nabc\n");
  WriteFileBytes(dir.File("one.bdf"), "ENCODING 65\nBITMAP\n80\n80\n80\nENDCHAR\n");
  symlink((std::string(TAVREST_FONT_DIR) + "/faces.ttc").c_str(),
          dir.File("sub/faces.ttc").c_str());
  WriteFileBytes(dir.File("sub/face.ini"), "faces.ttc:5\n\n16\n");
  std::string bdf = "STARTFONT 2.1\nCHARSET_REGISTRY \"JISX0208.1983\"\nCHARSET_ENCODING \"0\"\n";
  // 0x2422, 0x2423 blank, 0x2237 (JIS X 0212's U+FF5E) and 0x2D22 blank
  for (const char* glyph :
       {"9250\nBITMAP\n80", "9251\nBITMAP\n00", "8759\nBITMAP\n80", "11554\nBITMAP\n00"})
    bdf += std::string("STARTCHAR g\nENCODING ") + glyph + "\nENDCHAR\n";
  WriteFileBytes(dir.File("sub/free.bdf"), bdf);
  if (!ini.empty()) WriteFileBytes(dir.File("tavrest.ini"), ini);
}

struct CommandCase {
  std::vector<std::string> args;
  bool withIni;
  int exitStatus;
  std::set<std::string> written;  // the files the run added
  std::string errorStart;         // standard error starts so; empty: nothing on it
  // Compared with the plain conversion when written, or on standard output
  // for "-"; "" for other conversions.
  std::string packed = "tavrest.qpk";
  std::string image = "tavrest.tga";
};

void PrintTo(const CommandCase& c, std::ostream* out) {
  *out << "tavrest";
  for (const std::string& arg : c.args) *out << " " << arg;
}

// The case's options as a test name, fonts by their file names:
// "b_f_jiskan16_bdf_s_16".
std::string CommandName(const CommandCase& c) {
  const std::string fontDir = std::string(TAVREST_FONT_DIR) + "/";
  std::string line;
  for (std::string arg : c.args) {
    if (const size_t at = arg.find(fontDir); at != std::string::npos) arg.erase(at, fontDir.size());
    line += " " + arg;
  }
  return line.empty() ? "no_options" : CaseName(line);
}

std::vector<CommandCase> CommandCases() {
  const std::string j16 = FontPath("jiskan16"), r16 = FontPath("8x16rk"),
                    j24 = FontPath("jiskan24");
  const std::set<std::string> both = {"tavrest.qpk", "tavrest.tga"};
  const std::string misc = "/usr/share/fonts/X11/misc/";
  const std::string ttc = std::string(TAVREST_FONT_DIR) + "/faces.ttc";
  return {
      {{}, true, 0, both, ""},
      {{"--batch"}, true, 0, both, ""},
      {{"-b", "-q", "-v"},
       true,
       0,
       both,
       "tavrest: " + j16 +
           ": 6877 glyphs loaded, 0 cut by the 16-pixel cell; baseline at row 14, not "
           "fitted\ntavrest: " +
           j16 +
           ": 6877 of the 6879 JIS X 0208 characters, 0 of the 1918 other characters of JIS X "
           "0213 plane 1\n"},
      {{"-b", "-f", j16, "-F", r16, "-s", "16"}, false, 0, both, ""},
      {{"-b", "-f", j16, "-F", r16}, false, 0, both, ""},  // jiskan16's PIXEL_SIZE
      {{"--batch", "--font=" + j16, "--second", r16, "--size", "16"}, false, 0, both, ""},
      // Operands: FONT [SECOND] is -f FONT -F SECOND; PCFs give the bytes of their BDFs.
      {{"-b", j16, r16}, false, 0, both, ""},
      {{j16, "-b", "-F", r16, "-s", "16"}, false, 0, both, ""},
      {{"-b", misc + "jiskan16.pcf.gz", misc + "8x16rk.pcf.gz"}, false, 0, both, ""},
      {{"-b", "-c", "sub/set.ini"}, false, 0, both, ""},
      {{"-b", "-c", "sub/zero.ini", "-s", "16"}, false, 0, both, ""},
      {{"-b", "-o", "out/a.qpk", "-i", "out/b.tga"},
       true,
       0,
       {"out/a.qpk", "out/b.tga"},
       "",
       "out/a.qpk",
       "out/b.tga"},
      {{"-b", "--no-image"}, true, 0, {"tavrest.qpk"}, ""},
      {{"-b", "-o", "-"}, true, 0, {"tavrest.tga"}, "", "-"},
      {{"-b", "-i", "-"}, true, 0, {"tavrest.qpk"}, "", "tavrest.qpk", "-"},
      {{"-b", "-i", "x.bmp"}, true, 0, {"tavrest.qpk", "x.bmp"}, ""},
      {{"-b", "-F", "none.bdf"},
       true,
       0,
       both,
       "cant open [none.bdf]\ntavrest: second font: cannot open none.bdf",
       "",
       ""},
      {{"-b", "-f", j24, "-s", "16", "--no-image"},
       false,
       0,
       {"tavrest.qpk"},
       "tavrest: warning: " + j24 +
           ": 6859 glyphs cut by the 16-pixel cell (6820 at the bottom, 6823 on the right)\n",
       "",
       ""},
      {{"-b", "-f", "one.bdf", "-s", "2", "--no-image"},
       false,
       0,
       {"tavrest.qpk"},
       "tavrest: warning: one.bdf: 1 glyph cut by the 2-pixel cell (1 at the bottom)\n",
       "",
       ""},
      // Baselines given where the fonts put them change nothing.
      {{"-b", "--baseline", "14", "--second-baseline=14"}, true, 0, both, ""},
      {{"-b", "-q", "-f", j24, "-s", "16", "--no-image"}, false, 0, {"tavrest.qpk"}, "", "", ""},
      {{"-h"}, true, 0, {}, ""},
      {{"--version"}, true, 0, {}, ""},
      // Missing settings: nothing to do without options, an error with them.
      {{"-b"},
       false,
       0,
       {},
       "tavrest: cannot read tavrest.ini: No such file or directory (looked up in "},
      {{"-b", "-q"}, false, 0, {}, ""},
      {{"-c", "missing.ini"},
       false,
       1,
       {},
       "tavrest: cannot read missing.ini: No such file or directory"},
      {{"-q", "-c", "sub/zero.ini"},
       false,
       1,
       {},
       "tavrest: the size line of sub/zero.ini, \"abc\", reads as 0"},
      {{"-F", r16}, false, 1, {}, "tavrest: cannot read tavrest.ini"},
      // A face past the last ends the run with the list of faces, from the
      // command line and from the settings file alike.
      {{"-b", "-f", ttc, "-s", "16", "--face", "2"},
       false,
       1,
       {},
       "tavrest: main font: " + ttc +
           ": no face 2; its faces are numbered from 0 to 1\ntavrest: face 0: Tavrest First, "
           "Regular\ntavrest: face 1: Tavrest Second, Regular\n"},
      {{"-b", "-c", "sub/face.ini"}, false, 1, {}, "tavrest: main font: sub/faces.ttc: no face 5;"},
      {{"-b", "-q", "-f", ttc, "-s", "16", "--face", "1", "--render", "threshold", "--no-condense"},
       false,
       0,
       both,
       "",
       "",
       ""},
      // Blank glyphs count as no character; glyphs at free codes move or are skipped.
      {{"-b", "-v", "-f", "sub/free.bdf", "-s", "16", "--no-image"},
       false,
       0,
       {"tavrest.qpk"},
       "tavrest: sub/free.bdf: 3 glyphs loaded, 0 cut by the 16-pixel cell\ntavrest: "
       "sub/free.bdf: 1 of the 6879 JIS X 0208 characters, 1 of the 1918 other characters of "
       "JIS X 0213 plane 1\ntavrest: sub/free.bdf: 1 glyphs at codes JIS X 0208 leaves free "
       "moved to their characters' slots, 1 skipped\n",
       "",
       ""},
      // Usage errors.
      {{"-x"}, true, 2, {}, "tavrest: unknown option -x\n"},
      {{"--colour"}, true, 2, {}, "tavrest: unknown option --colour\n"},
      {{"-c"}, true, 2, {}, "tavrest: option -c needs a value\n"},
      {{"--render", "gray"},
       true,
       2,
       {},
       "tavrest: --render is mono, autohint or threshold, not \"gray\"\n"},
      {{"--second-face=-1"},
       true,
       2,
       {},
       "tavrest: --second-face takes a face number from 0, not \"-1\"\n"},
      {{"--config="}, true, 2, {}, "tavrest: option --config needs a value\n"},
      {{"-f", kIpaGothic},
       true,
       2,
       {},
       std::string("tavrest: ") + kIpaGothic +
           " is an outline font, which has no size of its own; give the cell size with -s\n"},
      {{"-s", "16"}, true, 2, {}, "tavrest: -s needs -f or -c\n"},
      {{"-f", j16, "-s", "0"},
       true,
       2,
       {},
       "tavrest: the size must be a whole number from 1 to 32, not \"0\"\n"},
      {{"-f", j16, "-s", "33"},
       true,
       2,
       {},
       "tavrest: the size must be a whole number from 1 to 32, not \"33\"\n"},
      {{"-f", j16, "-s", "16px"},
       true,
       2,
       {},
       "tavrest: the size must be a whole number from 1 to 32, not \"16px\"\n"},
      {{"-f", j16, "--baseline", "17"},
       true,
       2,
       {},
       "tavrest: --baseline 17 lies below the 16-pixel cell (0 to 16)\n"},
      {{"-f", j16, "--second-baseline", "x"},
       true,
       2,
       {},
       "tavrest: --second-baseline must be a row from 0 to 32, not \"x\"\n"},
      {{"-c", "sub/set.ini", "-f", j16, "-s", "16"},
       true,
       2,
       {},
       "tavrest: -c and -f cannot be used together\n"},
      {{"-i", "x.png"}, true, 2, {}, "tavrest: the image name must end in .tga or .bmp: x.png\n"},
      {{"--no-image", "-i", "x.tga"},
       true,
       2,
       {},
       "tavrest: --no-image and -i cannot be used together\n"},
      {{"a", "b", "c"}, true, 2, {}, "tavrest: a third operand, c: give at most FONT and SECOND\n"},
      {{"-o", "-", "-i", "-"}, true, 2, {}, "tavrest: -o and -i cannot both be standard output\n"},
      // An output that is an input or the other output, before anything is read.
      {{"-b", "-o", "r.bdf", "--no-image", "r.bdf"},
       false,
       2,
       {},
       "tavrest: the packed file r.bdf and the main font r.bdf are the same file\n"},
      {{"-b", "-o", "link.qpk", j16, "r.bdf"},
       false,
       2,
       {},
       "tavrest: the packed file link.qpk and the second font r.bdf are the same file\n"},
      {{"-b", "-o", "x.tga", "-i", "./x.tga"},
       true,
       2,
       {},
       "tavrest: the packed file x.tga and the image ./x.tga are the same file\n"},
      {{"-b", "-c", "sub/set.ini", "-o", "sub/set.ini"},
       false,
       2,
       {},
       "tavrest: the packed file sub/set.ini and the settings file sub/set.ini are the same "
       "file\n"},
      {{"-f", j16, "x.bdf"},
       true,
       2,
       {},
       "tavrest: a font operand, x.bdf, cannot be used with -f\n"},
      {{"-c", "sub/set.ini", "x.bdf"},
       true,
       2,
       {},
       "tavrest: a font operand, x.bdf, cannot be used with -c\n"},
      {{"-F", r16, j16, "x.bdf"},
       true,
       2,
       {},
       "tavrest: two second fonts: -F and the operand x.bdf\n"},
  };
}

class OptionsAndUsageErrors : public testing::TestWithParam<CommandCase> {};

TEST_P(OptionsAndUsageErrors, Run) {
  const CommandCase& c = GetParam();
  const ConvertedFiles& plain = PlainConversion();
  TempDir dir;
  SetUpFolder(dir, c.withIni ? PlainIni() : "");
  const std::set<std::string> before = FilesBelow(dir.path);
  TavrestCall call;
  call.dir = dir.path;
  call.args = c.args;
  const CallResult run = CallTavrest(call);
  EXPECT_EQ(run.exitStatus, c.exitStatus) << run.standardError;
  const std::set<std::string> after = FilesBelow(dir.path);
  std::set<std::string> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                      std::inserter(added, added.begin()));
  EXPECT_EQ(added, c.written);
  if (c.errorStart.empty()) {
    EXPECT_EQ(run.standardError, "");
  } else {
    EXPECT_EQ(run.standardError.substr(0, c.errorStart.size()), c.errorStart) << run.standardError;
  }
  if (c.exitStatus == 2) {  // the problem, then the usage line
    EXPECT_EQ(std::count(run.standardError.begin(), run.standardError.end(), '\n'), 2);
    EXPECT_NE(run.standardError.find("\nUsage: tavrest [OPTION]..."), std::string::npos);
  }
  if (c.written.count(c.packed)) {
    EXPECT_TRUE(ReadFileOrEmpty(dir.File(c.packed)) == plain.packed);
  }
  if (c.written.count(c.image)) {
    EXPECT_TRUE(ReadFileOrEmpty(dir.File(c.image)) == plain.image);
  }
  const bool informs = c.args == std::vector<std::string>{"-h"} ||
                       c.args == std::vector<std::string>{"--version"} || c.packed == "-" ||
                       c.image == "-";
  EXPECT_EQ(run.standardOutput.empty(), !informs);
  if (c.packed == "-" || c.image == "-") {
    const std::vector<uint8_t>& streamed = c.packed == "-" ? plain.packed : plain.image;
    EXPECT_TRUE(run.standardOutput == std::string(streamed.begin(), streamed.end()));
  }
  EXPECT_TRUE(run.delays.empty());
}

INSTANTIATE_TEST_SUITE_P(CommandLine, OptionsAndUsageErrors, testing::ValuesIn(CommandCases()),
                         [](const auto& info) { return CommandName(info.param); });

// The sheet through the BMP writer is byte for byte what WriteBmp gives.
TEST(CommandLine, BmpImageIsWriteBmpOfTheSheet) {
  TempDir dir;
  WriteFileBytes(dir.File("tavrest.ini"), PlainIni());
  TavrestCall call;
  call.dir = dir.path;
  call.args = {"--batch", "--image", "sheet.bmp"};
  ASSERT_EQ(CallTavrest(call).exitStatus, 0);
  GlyphSheet sheet{0, 0, {}};
  ASSERT_TRUE(MakeFontSheet(sheet, FontPath("jiskan16"), FontPath("8x16rk"), 16));
  ASSERT_TRUE(WriteBmp(sheet, dir.File("expected.bmp").c_str()));
  EXPECT_TRUE(ReadFileOrEmpty(dir.File("sheet.bmp")) == ReadFileOrEmpty(dir.File("expected.bmp")));
}

// The help and the man page describe the same options.
TEST(CommandLine, ManPageHasEveryOptionOfTheHelp) {
  TavrestCall call;
  TempDir dir;
  call.dir = dir.path;
  call.args = {"--help"};
  const CallResult run = CallTavrest(call);
  ASSERT_EQ(run.exitStatus, 0);
  EXPECT_EQ(ExpectOptionsInManPage(run.standardOutput, "app/tavrest.1"), 31);
}

}  // namespace
