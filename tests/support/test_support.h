// Shared helpers of the test programs: temporary folders, running the built
// program, reading files, and reference decoders written independently of
// the code under test.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

std::string FontPath(const std::string& name);  // e.g. FontPath("jiskan16")
std::string TavrestBinary();

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

// A fresh folder under the build tree's temp area, removed on destruction.
struct TempDir {
  std::string path;
  TempDir();
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
bool PathExists(const std::string& path);
std::vector<std::string> ListDir(const std::string& path);
// A test failure for each temporary file a writer left in `folder`.
void ExpectNoTemporaries(const std::string& folder);

struct RunResult {
  int exitStatus = -1;  // -1 when the program did not exit normally
  int signal = 0;
  std::string standardError;
  long maxRssKb = 0;  // the program's peak resident memory
};

// Runs `body` in a forked child; its return value is the exit status. The
// child's peak resident memory is measured too.
struct ChildResult {
  int exitStatus = -1;
  long maxRssKb = 0;
};
ChildResult RunInChild(const std::function<int()>& body);

// Runs the built tavrest in `dir` with SDL_VIDEODRIVER=dummy (unless `env`
// overrides it). fileSizeLimit > 0 sets RLIMIT_FSIZE with SIGXFSZ ignored.
RunResult RunTavrest(const std::string& dir, const std::map<std::string, std::string>& env = {},
                     long fileSizeLimit = 0);

// Writes "tavrest.ini" with the three lines, each ended by `eol`.
void WriteIni(const std::string& dir, const std::string& mainFont, const std::string& secondFont,
              const std::string& size, const std::string& eol = "\n");

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

// ---- Sheet images -----------------------------------------------------------

struct GlyphSheet;

// The sheet a run makes from the two fonts (paths) at `size`; false when the
// main font cannot be loaded or the sheet cannot be made.
bool MakeFontSheet(GlyphSheet& sheet, const std::string& mainFont, const std::string& secondFont,
                   int size);
// ImageMagick's convert, or "" when it is not installed.
std::string ImageMagickConvert();
// Runs a program (no shell) and collects its standard output; false unless
// it exits with status 0.
bool RunProgram(const std::vector<std::string>& argv, std::vector<uint8_t>& standardOutput);

// ---- Runs with their surroundings chosen ------------------------------------------

struct TavrestCall {
  std::string dir;
  std::vector<std::string> args;
  std::map<std::string, std::string> env;  // set on top of the environment
  // As `env -i` from a service: nothing in the environment, no controlling
  // terminal, standard input from /dev/null. Otherwise SDL_VIDEODRIVER=dummy.
  bool emptyEnvironment = false;
  bool unprivileged = false;  // as user and group 65534 (nobody) when run as root
  int umask = -1;             // the child's umask, unless -1
  // Called with the child's id once it runs; the child's output is read after.
  std::function<void(int pid)> whileRunning;
};

struct CallResult {
  int exitStatus = -1;  // -1 when the program did not exit normally
  int signal = 0;
  std::string standardOutput;
  std::string standardError;
  std::vector<long> delays;  // the program's SDL_Delay calls, in milliseconds
};

// Runs the built tavrest with the delay recorder preloaded.
CallResult CallTavrest(const TavrestCall& call);
// The test-only library that records SDL_Delay calls into $TAVREST_DELAY_LOG.
std::string DelayRecorderLibrary();
// The calls recorded in a log, in milliseconds.
std::vector<long> ReadDelays(const std::string& log);
// The names in a folder that look like temporary files of a write.
std::vector<std::string> TemporaryFiles(const std::string& dir);

// The two files of a plain run on jiskan16 + 8x16rk at 16, made once.
struct ConvertedFiles {
  std::vector<uint8_t> packed;
  std::vector<uint8_t> image;
};
std::string PlainIni();
const ConvertedFiles& PlainConversion();
