// SPDX-License-Identifier: MIT
// Shared helpers of every test program, which link none of the modules:
// temporary folders, files, child processes, and reference readers written
// independently of the code under test. Running the built programs is in
// run_support.h, sheets made from fonts in font_sheet.h.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

std::string FontPath(const std::string& name);  // e.g. FontPath("jiskan16")

// A main font, the second font that fills its gaps, and the cell size.
struct FontPair {
  const char* mainFont;
  const char* secondFont;
  int size;
};
void PrintTo(const FontPair& pair, std::ostream* out);

// The Debian font pairs the end-to-end and image tests convert.
inline constexpr FontPair kRealFontPairs[] = {
    {"jiskan16", "8x16rk", 16}, {"k14", "7x14-JISX0201.1976-0", 14}, {"jiskan24", "12x24rk", 24}};

// An outline font of the test profile (fonts-ipafont-gothic).
inline constexpr char kIpaGothic[] = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

// A fresh folder under the build tree's temp area, or under `base` when
// given, removed on destruction.
struct TempDir {
  std::string path;
  explicit TempDir(const std::string& base = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return path + "/" + name; }
};

// A tmpfs of `bytes` mounted in a temporary folder, for full-disk tests.
// Mounting needs root and a kernel that allows it; `reason` says why not.
struct SmallDisk {
  TempDir dir;
  std::string path;
  bool mounted = false;
  std::string reason;
  explicit SmallDisk(long bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
};

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out);
std::vector<uint8_t> ReadFileOrEmpty(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& content);
// Copies a file, giving the copy `mode`.
bool CopyFile(const std::string& from, const std::string& to, int mode);
bool PathExists(const std::string& path);
std::vector<std::string> ListDir(const std::string& path);
// A test failure for each temporary file a writer left in `folder`.
void ExpectNoTemporaries(const std::string& folder);

// Checks that the man page at `page` (from the source tree) names every
// option that starts a line of `help`; returns how many there were.
int ExpectOptionsInManPage(const std::string& help, const std::string& page);

// Everything left to read from `fd`, up to its end.
std::string ReadAll(int fd);

// Runs `body` in a forked child; its return value is the exit status. The
// child's peak resident memory is measured too.
struct ChildResult {
  int exitStatus = -1;
  long maxRssKb = 0;
};
ChildResult RunInChild(const std::function<int()>& body);

// Decodes the packets of a packed glyph file; false for a malformed file.
bool DecodePackedFile(const std::vector<uint8_t>& file, int32_t& cellSize,
                      std::vector<uint8_t>& stream);

// One glyph of a BDF file as the file states it: its bitmap lines as numbers.
struct BdfGlyph {
  long encoding = 0;
  std::vector<uint32_t> rows;
  int hexDigits = 0;  // digits per bitmap line
};
// Every glyph of a BDF file, in file order (a plain STARTCHAR/ENDCHAR reader).
std::vector<BdfGlyph> ReadBdfGlyphs(const std::string& path);

// Expected cell of a glyph in the sheet: size rows of size pixels (true = ink),
// right-aligned at `width` pixels, as the converter lays glyphs out.
std::vector<std::vector<bool>> ExpectedCell(const BdfGlyph& glyph, int size, int width);
// The cell of `slot` in a decoded packed stream.
std::vector<std::vector<bool>> PackedCell(const std::vector<uint8_t>& stream, int size, int slot);

// ImageMagick's convert, or "" when it is not installed.
std::string ImageMagickConvert();
// Runs a program (no shell) and collects its standard output; false unless
// it exits with status 0.
bool RunProgram(const std::vector<std::string>& argv, std::vector<uint8_t>& standardOutput);

// A case's description as a test name: letters and digits, words joined by
// '_' ("env -i: no display" is env_i_no_display).
std::string CaseName(const std::string& description);
