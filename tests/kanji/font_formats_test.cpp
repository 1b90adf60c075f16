// SPDX-License-Identifier: MIT
// Fonts in every format: PCF against the BDF pcf2bdf makes of it, gzip BDF
// against plain BDF, outline fonts against FreeType itself, and refusals.
#include "kanji.h"
#include "kanji_internal.h"
#include "test_support.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

namespace {

constexpr char kPcfFolder[] = "/usr/share/fonts/X11/misc/";
constexpr int kSizes[] = {8, 12, 16, 24, 32};
// The Debian PCFs tests/support/make_fonts.sh converts with pcf2bdf.
constexpr const char* kDebianFonts[] = {
    "jiskan16",   "8x16rk",     "k14",        "7x14-JISX0201.1976-0",
    "jiskan24",   "12x24rk",    "shnmk16",    "shnm8x16r",
    "shnmk14",    "shnm7x14r",  "mplus_j12r", "mplus_f12r-jisx0201",
    "mplus_j10r", "mplus_f10r", "18x18ja",    "12x13ja"};

struct FontDeleter {
  void operator()(FontSet* font) const { Kanji_DestroyFontSet(font); }
};
using Font = std::unique_ptr<FontSet, FontDeleter>;

// The fonts loaded in order into one set; null when a load fails.
Font Load(const std::vector<std::string>& paths, int size, FontLoadReport* last = nullptr,
          const FontLoadOptions& options = {}) {
  Font font(Kanji_CreateEmptyFontSet(size));
  FontLoadReport report;
  for (const std::string& path : paths)
    if (Kanji_LoadFont(font.get(), path.c_str(), &options, &report) != 0) return nullptr;
  if (last != nullptr) *last = report;
  return font;
}

void ExpectSameGlyphs(const FontSet& actual, const FontSet& expected, const std::string& what) {
  int differing = 0;
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    const int32_t* a = actual.glyphs[slot];
    const int32_t* e = expected.glyphs[slot];
    const bool same = (a == nullptr) == (e == nullptr) &&
                      (a == nullptr || memcmp(a, e, sizeof(int32_t) * actual.size) == 0);
    if (!same && ++differing <= 3) ADD_FAILURE() << what << ": slot " << slot << " differs";
  }
}

void ExpectSameReport(const FontLoadReport& a, const FontLoadReport& e, const std::string& what) {
  EXPECT_EQ(a.glyphsLoaded, e.glyphsLoaded) << what;
  EXPECT_EQ(a.glyphsCut, e.glyphsCut) << what;
  EXPECT_EQ(a.codesSkipped, e.codesSkipped) << what;
  EXPECT_EQ(a.charset, e.charset) << what;
  EXPECT_STREQ(a.registry, e.registry) << what;
  EXPECT_STREQ(a.propertiesRegistry, e.propertiesRegistry) << what;
}

std::string Gzipped(const TempDir& dir, const std::string& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadFileBytes(path, bytes));
  const std::string out = dir.File(path.substr(path.rfind('/') + 1) + ".gz");
  gzFile file = gzopen(out.c_str(), "wb");
  gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size()));
  gzclose(file);
  return out;
}

// Each font, alone and as either font of a real pair, at every size, gives
// the glyphs and the report of its BDF.
TEST(FontFormats, EveryFormatGivesWhatItsBdfGives) {
  TempDir dir;
  std::vector<std::pair<std::string, std::string>> cases;  // the font, its BDF
  for (const char* name : kDebianFonts)
    cases.push_back({std::string(kPcfFolder) + name + ".pcf.gz", FontPath(name)});
  for (const char* name : {"jiskan16", "18x18ja"})
    cases.push_back({Gzipped(dir, FontPath(name)), FontPath(name)});
  for (const auto& [font, bdf] : cases) {
    for (int size : kSizes) {
      const std::string what = font + " at " + std::to_string(size);
      FontLoadReport actual, expected;
      const Font a = Load({font}, size, &actual), e = Load({bdf}, size, &expected);
      ASSERT_TRUE(a && e) << what << ": " << Kanji_GetError();
      ExpectSameGlyphs(*a, *e, what);
      ExpectSameReport(actual, expected, what);
    }
  }
  for (const FontPair& pair : kRealFontPairs) {
    const std::string main = FontPath(pair.mainFont), second = FontPath(pair.secondFont);
    const std::string mainPcf = std::string(kPcfFolder) + pair.mainFont + ".pcf.gz";
    const std::string secondPcf = std::string(kPcfFolder) + pair.secondFont + ".pcf.gz";
    const Font expected = Load({main, second}, pair.size);
    ExpectSameGlyphs(*Load({mainPcf, second}, pair.size), *expected, mainPcf + " first");
    ExpectSameGlyphs(*Load({main, secondPcf}, pair.size), *expected, secondPcf + " second");
  }
}

// The cell FreeType's own rendering gives for a character: each glyph under
// the baseline at round(size x A / (A - D)), A and D from OS/2; `flags` as
// the rendering loads glyphs, gray pixels inked from 128.
std::vector<int32_t> FreeTypeCell(FT_Face face, unsigned long character, int size, int width,
                                  FT_Int32 flags) {
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const double a = os2->sTypoAscender, d = os2->sTypoDescender;
  const int baseline = static_cast<int>(std::floor(size * a / (a - d) + 0.5));
  EXPECT_EQ(FT_Load_Char(face, character, FT_LOAD_RENDER | flags), 0);
  const FT_Bitmap& bitmap = face->glyph->bitmap;
  std::vector<int32_t> rows(size);
  for (unsigned y = 0; y < bitmap.rows; ++y) {
    for (unsigned x = 0; x < bitmap.width; ++x) {
      const int row = baseline - face->glyph->bitmap_top + static_cast<int>(y);
      const int column = face->glyph->bitmap_left + static_cast<int>(x);
      const bool ink = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY
                           ? bitmap.buffer[y * bitmap.pitch + x] >= 128
                           : (bitmap.buffer[y * bitmap.pitch + x / 8] & (0x80 >> (x % 8))) != 0;
      if (ink && row >= 0 && row < size && column >= 0 && column < width)
        rows[row] |= 1 << (width - 1 - column);
    }
  }
  return rows;
}

TEST(FontFormats, OutlineFontsAsFreeTypeDrawsThem) {
  const struct {
    const char* path;
    int size;
    int rendering = RenderMono;
  } cases[] = {{kIpaGothic, 12},
               {kIpaGothic, 16},
               {kIpaGothic, 24},
               {kIpaGothic, 32},
               {kIpaGothic, 12, RenderAutohint},
               {kIpaGothic, 16, RenderThreshold},
               {"/usr/share/fonts/truetype/misaki/misaki_gothic.ttf", 8},  // its strike
               {"/usr/share/fonts/truetype/misaki/misaki_gothic.ttf", 8, RenderThreshold}};
  constexpr FT_Int32 kFlags[] = {FT_LOAD_TARGET_MONO, FT_LOAD_FORCE_AUTOHINT | FT_LOAD_TARGET_MONO,
                                 FT_LOAD_DEFAULT};
  // JIS codes and their characters: ASCII with a descender, half-width
  // katakana, the comma and full stop, kana and kanji.
  const std::pair<int, unsigned long> characters[] = {
      {'A', 'A'},       {'g', 'g'},       {0xB1, 0xFF71},  {0x2122, 0x3001},
      {0x2123, 0x3002}, {0x2422, 0x3042}, {0x3441, 0x6F22}};
  FT_Library library;
  ASSERT_EQ(FT_Init_FreeType(&library), 0);
  for (const auto& c : cases) {
    FT_Face face;
    ASSERT_EQ(FT_New_Face(library, c.path, 0, &face), 0) << c.path;
    FT_Set_Pixel_Sizes(face, 0, c.size);
    const Font font = Load({c.path}, c.size, nullptr, {0, c.rendering, 0, 0, 0});
    ASSERT_TRUE(font) << Kanji_GetError();
    for (const auto& [jis, character] : characters) {
      const int slot = Kanji_JisCodeSlot(jis);
      ASSERT_NE(font->glyphs[slot], nullptr) << c.path << " " << jis;
      const std::vector<int32_t> loaded(font->glyphs[slot], font->glyphs[slot] + c.size);
      EXPECT_EQ(loaded, FreeTypeCell(face, character, c.size, jis < 256 ? c.size / 2 : c.size,
                                     kFlags[c.rendering]))
          << c.path << " at " << c.size << " rendered " << c.rendering << ": JIS " << std::hex
          << jis;
    }
    FT_Done_Face(face);
  }
  FT_Done_FreeType(library);
}

constexpr char kMisaki[] = "/usr/share/fonts/truetype/misaki/misaki_gothic.ttf";

// misaki with its outline tables renamed: a bitmap-only font of one strike.
std::string BitmapOnlyFont(const TempDir& dir) {
  std::vector<uint8_t> font;
  ReadFileBytes("/usr/share/fonts/truetype/misaki/misaki_gothic.ttf", font);
  const int tables = font[4] << 8 | font[5];
  for (int i = 0; i < tables; ++i) {
    uint8_t* tag = font.data() + 12 + 16 * i;
    if (memcmp(tag, "glyf", 4) == 0 || memcmp(tag, "loca", 4) == 0) tag[0] = 'x';
  }
  WriteFileBytes(dir.File("misaki.otb"), std::string(font.begin(), font.end()));
  return dir.File("misaki.otb");
}

// A BDF of ten kanji, each `lines` lines of FF in the box `box`.
std::string KanjiBdf(const std::string& header, const std::string& box, int lines) {
  std::string bdf = "STARTFONT 2.1\n" + header;
  for (int jis = 0x3021; jis < 0x302B; ++jis) {
    bdf += "ENCODING " + std::to_string(jis) + "\nBBX " + box + "\nBITMAP\n";
    for (int k = 0; k < lines; ++k) bdf += "FF\n";
    bdf += "ENDCHAR\n";
  }
  return bdf;
}

// The fonts tests/kanji/make_fit_fonts.py makes with fontTools.
struct FitFonts {
  TempDir dir;
  FitFonts() {
    std::vector<uint8_t> output;
    EXPECT_TRUE(RunProgram({"/usr/bin/python3", TAVREST_SOURCE_DIR "/tests/kanji/make_fit_fonts.py",
                            dir.path, kIpaGothic, kMisaki},
                           output));
  }
};

// Glyphs placed by the font's rule and moved together where too many lose
// ink: the move, and what is still cut.
TEST(FontFormats, GlyphsFittedToTheirCell) {
  const FitFonts fonts;
  // Kanji two rows above the baseline at FONT_ASCENT 6: their tops lie above the cell.
  const std::string high = fonts.dir.File("high.bdf");
  WriteFileBytes(high, KanjiBdf("PIXEL_SIZE 8\nFONT_ASCENT 6\nFONT_DESCENT 2\n", "8 8 0 0", 8));
  const struct {
    const char* name;
    std::string path;
    int size, baseline;  // -1: the fit's
    int shift, cutTop, reportedBaseline;
  } cases[] = {
      {"at its own size", high, 8, -1, 2, 0, 8},
      {"larger", high, 10, -1, 2, 0, 8},
      {"smaller: not fitted", high, 7, -1, 0, 10, 6},
      {"the baseline given", high, 8, 7, 0, 10, 7},
      {"Latin metrics", fonts.dir.File("latin.ttf"), 16, -1, 1, 0, 13},
      {"Latin metrics, the baseline given", fonts.dir.File("latin.ttf"), 16, 12, 0, 28, 12},
      {"a strike on its own ascender", fonts.dir.File("strike.ttf"), 8, -1, 0, 0, 6},
  };
  for (const auto& c : cases) {
    Font font(Kanji_CreateEmptyFontSet(c.size));
    FontLoadReport report;
    ASSERT_EQ(Kanji_LoadBdfAtBaseline(font.get(), c.path.c_str(), c.baseline, &report), 0)
        << c.name << ": " << Kanji_GetError();
    EXPECT_EQ(report.fitShift, c.shift) << c.name;
    EXPECT_EQ(report.fitted, c.shift != 0) << c.name;
    EXPECT_EQ(report.cutTop, c.cutTop) << c.name;
    EXPECT_EQ(report.baseline, c.reportedBaseline) << c.name;
    EXPECT_EQ(report.baselineGiven, c.baseline >= 0) << c.name;
  }
  Font below(Kanji_CreateEmptyFontSet(8));
  EXPECT_EQ(Kanji_LoadBdfAtBaseline(below.get(), high.c_str(), 9, nullptr), -1);  // below the cell
  // The strike's glyphs stand where they stood under the outlines' own metrics.
  ExpectSameGlyphs(*Load({fonts.dir.File("strike.ttf")}, 8), *Load({kMisaki}, 8), "strike.ttf");
}

// An outline far larger than any cell is rendered only where it can land in
// the cell: a few milliseconds and no memory to speak of, where a whole
// rendering takes seconds and a hundred megabytes per glyph.
TEST(HostileFonts, HugeOutlinesCostNoMoreThanTheirCell) {
  const FitFonts fonts;
  const auto start = std::chrono::steady_clock::now();
  FontLoadReport report;
  const Font font = Load({fonts.dir.File("hostile.ttf")}, 32, &report);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  ASSERT_TRUE(font) << Kanji_GetError();
  EXPECT_GT(report.glyphsLoaded, 100);
  for (const int side : {report.cutTop, report.cutBottom, report.cutLeft, report.cutRight})
    EXPECT_EQ(side, report.glyphsLoaded);
  EXPECT_LT(seconds.count(), 60.0);  // generous: a whole rendering takes hours
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss, 100 * 1024);  // kilobytes
}

// Refused fonts fill nothing and say why; the sizes fonts name for themselves.
TEST(FontFormats, RefusalsAndOwnSizes) {
  TempDir dir;
  std::vector<uint8_t> ipag;
  ReadFileBytes(kIpaGothic, ipag);
  const std::string otb = BitmapOnlyFont(dir);
  WriteFileBytes(dir.File("truncated.ttf"), std::string(ipag.begin(), ipag.begin() + 2000));
  WriteFileBytes(dir.File("broken.pcf"), std::string("\1fcp\x09\0\0\0", 8) + std::string(64, 'x'));
  WriteFileBytes(dir.File("image.png"), std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
  WriteFileBytes(dir.File("cut.gz"), std::string("\x1f\x8b\x08\0", 4));
  WriteFileBytes(dir.File("big.bdf"), "STARTFONT 2.1\nPIXEL_SIZE 40\nENDFONT\n");
  std::vector<uint8_t> gzip;
  ReadFileBytes(Gzipped(dir, FontPath("jiskan16")), gzip);
  WriteFileBytes(dir.File("cut.bdf.gz"), std::string(gzip.begin(), gzip.end() - 9000));
  gzip[gzip.size() - 8] ^= 1;  // the CRC
  WriteFileBytes(dir.File("crc.bdf.gz"), std::string(gzip.begin(), gzip.end()));
  gzFile bomb = gzopen(dir.File("bomb.bdf.gz").c_str(), "wb1");
  const std::string text(1 << 20, 'A');
  for (size_t written = 0; written <= kMaxFontBytes; written += text.size())
    gzwrite(bomb, text.data(), static_cast<unsigned>(text.size()));
  gzclose(bomb);
  mkfifo(dir.File("fifo").c_str(), 0600);
  // Ten rows of ink in every kanji of a font that names 8: the font is 10.
  WriteFileBytes(dir.File("tall.bdf"),
                 KanjiBdf("PIXEL_SIZE 8\nFONT_ASCENT 8\nFONT_DESCENT 2\n", "8 10 0 -2", 10));
  const struct {
    std::string path;
    int size;         // the cell size of the load; 0 for none
    const char* why;  // the load's refusal, after the path
    int ownSize;      // Kanji_FontPixelSize
  } cases[] = {
      {otb, 16, ": no 16-pixel strike; it has 8", 8},
      {otb, 8, nullptr, 8},
      {kIpaGothic, 16, nullptr, 0},
      {FontPath("jiskan16"), 0, nullptr, 16},
      {std::string(kPcfFolder) + "8x16rk.pcf.gz", 0, nullptr, 16},  // its name (PIXEL_SIZE: 24)
      {dir.File("truncated.ttf"), 16, ": FreeType cannot read it: ", -1},
      {dir.File("broken.pcf"), 16, ": FreeType cannot read it: ", -1},
      {dir.File("image.png"), 16, ": not a BDF, PCF, TrueType, OpenType or WOFF font", -1},
      {dir.File("cut.gz"), 16, ": broken gzip data: ", -1},
      {dir.File("cut.bdf.gz"), 16, ": broken gzip data: unexpected end of file", 16},
      {dir.File("crc.bdf.gz"), 16, ": broken gzip data: incorrect data check", 16},
      {dir.File("bomb.bdf.gz"), 16, ": more than 256 MiB of text", -1},
      {dir.path, 16, ": is a folder", -1},
      {dir.File("fifo"), 0, nullptr, 0},     // not opened: it is read once, by the load
      {dir.File("big.bdf"), 0, nullptr, 0},  // larger than any cell
      {dir.File("tall.bdf"), 0, nullptr, 10},
  };
  for (const auto& c : cases) {
    if (c.size != 0) {
      Font font(Kanji_CreateEmptyFontSet(c.size));
      const int result = Kanji_LoadBdfWithReport(font.get(), c.path.c_str(), nullptr);
      EXPECT_EQ(result, c.why != nullptr ? -1 : 0) << c.path << ": " << Kanji_GetError();
      if (c.why != nullptr) {
        EXPECT_EQ(std::string(Kanji_GetError()).rfind(c.path + c.why, 0), 0u) << Kanji_GetError();
        for (const int32_t* glyph : font->glyphs) EXPECT_EQ(glyph, nullptr) << c.path;
      }
    }
    EXPECT_EQ(Kanji_FontPixelSize(c.path.c_str()), c.ownSize) << c.path << ": " << Kanji_GetError();
  }
}

// Feeds `bytes` to a pipe from another thread, as `cat FILE |` would, and
// reads it by the path `read` is given: /proc/self/fd/N of an anonymous pipe
// (what <(...) and /dev/stdin are), or a FIFO at `fifo`.
template <class Read>
void ThroughPipe(const std::vector<uint8_t>& bytes, const std::string& fifo, Read read) {
  int ends[2] = {-1, -1};
  ASSERT_EQ(fifo.empty() ? pipe(ends) : mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    const int out = fifo.empty() ? ends[1] : open(fifo.c_str(), O_WRONLY);
    for (size_t done = 0; done < bytes.size();) {
      const ssize_t wrote = write(out, bytes.data() + done, bytes.size() - done);
      if (wrote <= 0) break;  // the reader has had enough
      done += static_cast<size_t>(wrote);
    }
    close(out);
  });
  read(fifo.empty() ? "/proc/self/fd/" + std::to_string(ends[0]) : fifo);
  if (fifo.empty()) close(ends[0]);
  writer.join();
  if (!fifo.empty()) unlink(fifo.c_str());
}

// Every format reads from a pipe once, as from the file.
TEST(FontFormats, EveryFormatThroughAPipe) {
  TempDir dir;
  std::vector<uint8_t> pcf;
  ASSERT_TRUE(RunProgram({"/bin/gzip", "-dc", std::string(kPcfFolder) + "jiskan16.pcf.gz"}, pcf));
  WriteFileBytes(dir.File("jiskan16.pcf"), std::string(pcf.begin(), pcf.end()));
  const std::string fonts[] = {std::string(kPcfFolder) + "jiskan16.pcf.gz",
                               dir.File("jiskan16.pcf"), kIpaGothic, FontPath("jiskan16"),
                               Gzipped(dir, FontPath("jiskan16"))};
  for (const std::string& path : fonts) {
    std::vector<uint8_t> bytes;
    ReadFileBytes(path, bytes);
    FontLoadReport expected;
    const Font fromFile = Load({path}, 16, &expected);
    for (const std::string& fifo : {std::string(), dir.File("fifo")}) {
      const std::string what = path + (fifo.empty() ? " through a pipe" : " through a FIFO");
      ThroughPipe(bytes, fifo, [&](const std::string& pipePath) {
        FontLoadReport actual;
        const Font font = Load({pipePath}, 16, &actual);
        ASSERT_TRUE(font) << what << ": " << Kanji_GetError();
        ExpectSameGlyphs(*font, *fromFile, what);
        EXPECT_EQ(actual.fileKind, expected.fileKind) << what;
      });
    }
  }
}

}  // namespace

namespace {

std::string TestFont(const char* name) { return std::string(TAVREST_FONT_DIR) + "/" + name; }

// The first and last columns a glyph of `width` inks; -1 for no ink.
std::pair<int, int> InkColumns(const int32_t* rows, int size, int width) {
  int first = -1, last = -1;
  for (int column = 0; column < width; ++column)
    for (int row = 0; row < size; ++row)
      if (rows[row] >> (width - 1 - column) & 1) {
        if (first < 0) first = column;
        last = column;
      }
  return {first, last};
}

// Single-byte outline glyphs whose ink passes a side of the half cell move
// into it, condensed where wider; every other glyph is drawn as before.
TEST(FontFormats, LatinFitsTheHalfCell) {
  constexpr FontLoadOptions kAsTheyCome{0, RenderMono, 1, 0, 0};
  for (const char* path : {kIpaGothic, "/usr/share/fonts/truetype/vlgothic/VL-Gothic-Regular.ttf"})
    for (int size : {12, 16, 24})
      ExpectSameGlyphs(*Load({path}, size), *Load({path}, size, nullptr, kAsTheyCome),
                       std::string(path) + " at " + std::to_string(size));
  FontLoadReport fitted, asTheyCome;
  const std::string path = TestFont("proportional.ttf");
  const Font font = Load({path}, 16, &fitted), uncut = Load({path}, 16, &asTheyCome, kAsTheyCome);
  ASSERT_TRUE(font && uncut) << Kanji_GetError();
  EXPECT_EQ(fitted.glyphsCut, 0);
  EXPECT_EQ(asTheyCome.glyphsCut, 3);
  const struct {
    int code;
    int first, last;  // the columns inked; -1 where only the bounds are known
  } cases[] = {{'A', 2, 6}, {'j', 0, 5}, {'R', 2, 7}, {'M', -1, -1}};
  for (const auto& c : cases) {
    const auto [first, last] = InkColumns(font->glyphs[c.code], 16, 8);
    if (c.first >= 0) {
      EXPECT_EQ(first, c.first) << static_cast<char>(c.code);
      EXPECT_EQ(last, c.last) << static_cast<char>(c.code);
    } else {  // condensed to fit, not to a sliver
      EXPECT_GE(last - first + 1, 6) << static_cast<char>(c.code);
    }
  }
  EXPECT_TRUE(
      std::equal(font->glyphs[int{'A'}], font->glyphs[int{'A'}] + 16, uncut->glyphs[int{'A'}]));
}

// WOFF and WOFF2 read as the font they hold; a collection's faces by number.
TEST(FontFormats, CompressedSfntAndFaces) {
  const std::string ttf = TestFont("proportional.ttf"), ttc = TestFont("faces.ttc");
  const Font plain = Load({ttf}, 16);
  const struct {
    std::string path;
    int face;
    int kind;        // the file kind, or -1 for a refused load
    int fullWidthA;  // 1 where the face's A is 8 columns wide
  } cases[] = {{TestFont("proportional.woff"), 0, FontFileWoff, 0},
               {TestFont("proportional.woff2"), 0, FontFileWoff2, 0},
               {ttc, 0, FontFileCollection, 0},
               {ttc, 1, FontFileCollection, 1},
               {ttc, 2, -1, 0},
               {FontPath("jiskan16"), 1, -1, 0}};
  for (const auto& c : cases) {
    FontLoadReport report;
    const Font font = Load({c.path}, 16, &report, {c.face, RenderMono, 0, 0, 0});
    if (c.kind < 0) {
      EXPECT_FALSE(font) << c.path;
      EXPECT_NE(std::string(Kanji_GetError()).find(": no face " + std::to_string(c.face) + "; "),
                std::string::npos)
          << Kanji_GetError();
      continue;
    }
    ASSERT_TRUE(font) << c.path << ": " << Kanji_GetError();
    EXPECT_EQ(report.fileKind, c.kind) << c.path;
    if (c.path.find("woff") != std::string::npos) ExpectSameGlyphs(*font, *plain, c.path);
    EXPECT_EQ(InkColumns(font->glyphs[int{'A'}], 16, 8).first == 0, c.fullWidthA == 1) << c.face;
  }
  FontFaceName faces[3];
  ASSERT_EQ(Kanji_ListFontFaces(ttc.c_str(), faces, 3), 2);
  EXPECT_STREQ(faces[1].family, "Tavrest Second");
  EXPECT_STREQ(faces[1].style, "Regular");
  EXPECT_EQ(Kanji_ListFontFaces(FontPath("jiskan16").c_str(), faces, 3), 1);
  EXPECT_EQ(Kanji_ListFontFaces("/nonexistent", faces, 3), -1);
}

}  // namespace
