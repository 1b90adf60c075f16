// SPDX-License-Identifier: MIT
// Text drawing on real SDL software surfaces. The probe font gives every slot
// its own random rows, bits above the glyph width included, so a wrong slot,
// width or position shows up as a different ink pattern.
#include "iconv_text.h"
#include "kanji.h"

#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

int lockCalls = 0;
int unlockCalls = 0;
int callsInsideSdl = 0;  // SDL locks internally too (e.g. while decoding RLE)

}  // namespace

// Counting wrappers around SDL's surface lock: the drawing code must lock a
// surface that needs it once for the whole text, which nothing else shows.
extern "C" int SDL_LockSurface(SDL_Surface* surface) {
  using Lock = int (*)(SDL_Surface*);
  static const Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "SDL_LockSurface"));
  if (callsInsideSdl == 0) ++lockCalls;
  ++callsInsideSdl;
  const int result = real(surface);
  --callsInsideSdl;
  return result;
}

extern "C" void SDL_UnlockSurface(SDL_Surface* surface) {
  using Unlock = void (*)(SDL_Surface*);
  static const Unlock real = reinterpret_cast<Unlock>(dlsym(RTLD_NEXT, "SDL_UnlockSurface"));
  if (callsInsideSdl == 0) ++unlockCalls;
  ++callsInsideSdl;
  real(surface);
  --callsInsideSdl;
}

namespace {

constexpr int kNone = -1;  // a character that draws nothing
constexpr SDL_Color kInk{0x12, 0x34, 0x56, 0};
constexpr SDL_Color kPaper{0xF0, 0xE0, 0xD0, 0};

struct ProbeFont {
  std::unique_ptr<FontSet> font;
  std::vector<int32_t> rows;
};

ProbeFont MakeProbeFont(int size, int encoding) {
  ProbeFont probe{std::make_unique<FontSet>(), {}};
  FontSet& font = *probe.font;
  font.size = size;
  font.halfWidth = size / 2;
  font.encoding = encoding;
  font.rowPool = nullptr;
  std::mt19937 random(12345);
  probe.rows.resize(static_cast<size_t>(GlyphSlotCount) * size);
  for (int32_t& row : probe.rows) row = static_cast<int32_t>(random());
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    font.glyphs[slot] = probe.rows.data() + static_cast<size_t>(slot) * size;
  }
  return probe;
}

struct SurfaceDeleter {
  void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// Palettized surfaces get a grey ramp from black to white, so that ink and
// paper map to distinct entries.
Surface NewSurface(int width, int height, int depth) {
  Surface surface(SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, depth, 0, 0, 0, 0));
  if (surface && surface->format->palette != nullptr) {
    const int count = surface->format->palette->ncolors;
    std::vector<SDL_Color> greys(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      const Uint8 grey = static_cast<Uint8>(i * 255 / (count - 1));
      greys[static_cast<size_t>(i)] = SDL_Color{grey, grey, grey, 0};
    }
    SDL_SetColors(surface.get(), greys.data(), 0, count);
  }
  return surface;
}

Uint32 Map(const SDL_Surface* surface, SDL_Color colour) {
  return SDL_MapRGB(surface->format, colour.r, colour.g, colour.b);
}

// SDL 1.2 fills no surface of fewer than 8 bits per pixel: those are filled
// here a whole byte at a time.
Surface PaperSurface(int width, int height, int depth) {
  Surface surface = NewSurface(width, height, depth);
  const Uint32 paper = Map(surface.get(), kPaper);
  const int byte = depth == 1 ? (paper ? 0xFF : 0) : depth == 4 ? int(paper * 0x11) : int(paper);
  if (depth < 8) {
    memset(surface->pixels, byte, static_cast<size_t>(surface->pitch * height));
  } else {
    SDL_FillRect(surface.get(), nullptr, paper);
  }
  return surface;
}

// Reads a pixel straight from memory: 1- and 4-bit rows hold the leftmost
// pixel in their top bits, three-byte pixels are little-endian here.
Uint32 ReadPixel(const SDL_Surface* surface, int x, int y) {
  const Uint8* row = static_cast<const Uint8*>(surface->pixels) + y * surface->pitch;
  if (surface->format->BitsPerPixel == 1) return (row[x / 8] >> (7 - x % 8)) & 1u;
  if (surface->format->BitsPerPixel == 4) return (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xFu;
  const Uint8* p = row + x * surface->format->BytesPerPixel;
  switch (surface->format->BytesPerPixel) {
    case 1:
      return p[0];
    case 2:
      return Uint32(p[0] | p[1] << 8);
    case 3:
      return Uint32(p[0] | p[1] << 8 | p[2] << 16);
    default:
      return Uint32(p[0] | p[1] << 8 | p[2] << 16) | Uint32(p[3]) << 24;
  }
}

using Picture = std::vector<std::string>;  // '#' ink, '.' paper, '?' anything else

Picture BlankPicture(int width, int height) {
  return Picture(static_cast<size_t>(height), std::string(static_cast<size_t>(width), '.'));
}

Picture PictureOf(const SDL_Surface* surface, Uint32 ink, Uint32 paper) {
  Picture picture = BlankPicture(surface->w, surface->h);
  for (int y = 0; y < surface->h; ++y) {
    for (int x = 0; x < surface->w; ++x) {
      Uint32 value = ReadPixel(surface, x, y);
      picture[y][x] = value == ink ? '#' : value == paper ? '.' : '?';
    }
  }
  return picture;
}

Picture PictureOf(const SDL_Surface* surface) {
  return PictureOf(surface, Map(surface, kInk), Map(surface, kPaper));
}

int Distance(const SDL_Color& a, Uint8 r, Uint8 g, Uint8 b) {
  return (a.r - r) * (a.r - r) + (a.g - g) * (a.g - g) + (a.b - b) * (a.b - b);
}

// SDL 1.2 blits 1-bit surfaces and those of 8 bits or more, not 2 to 7 bits.
bool SdlBlits(int depth) { return depth == 1 || depth >= 8; }

// The surface as SDL's own blitter shows it over 32-bit paper; since low
// depths round colours, each pixel counts as the nearer of ink and paper.
Picture Shown(SDL_Surface* surface) {
  Surface target = PaperSurface(surface->w, surface->h, 32);
  if (SDL_BlitSurface(surface, nullptr, target.get(), nullptr) != 0) return {};
  Picture picture = BlankPicture(surface->w, surface->h);
  for (int y = 0; y < surface->h; ++y) {
    for (int x = 0; x < surface->w; ++x) {
      Uint8 r, g, b;
      SDL_GetRGB(ReadPixel(target.get(), x, y), target->format, &r, &g, &b);
      picture[y][x] = Distance(kInk, r, g, b) < Distance(kPaper, r, g, b) ? '#' : '.';
    }
  }
  return picture;
}

struct Placement {
  int slot;
  long long x;
  long long y;
  int width;
};

// The expected picture: each glyph's column j is bit width - 1 - j of its rows.
Picture Stamp(const FontSet& font, int width, int height,
              const std::vector<Placement>& placements) {
  Picture picture = BlankPicture(width, height);
  for (const Placement& p : placements) {
    if (p.slot == kNone) continue;
    for (int i = 0; i < font.size; ++i) {
      for (int j = 0; j < p.width; ++j) {
        long long x = p.x + j;
        long long y = p.y + i;
        bool ink = (static_cast<uint32_t>(font.glyphs[p.slot][i]) >> (p.width - 1 - j)) & 1u;
        if (ink && x >= 0 && y >= 0 && x < width && y < height) picture[y][x] = '#';
      }
    }
  }
  return picture;
}

struct Cell {
  int slot;
  int width;
};

// Placements of cells set side by side from the pen.
std::vector<Placement> Row(long long x, long long y, const std::vector<Cell>& cells) {
  std::vector<Placement> placements;
  for (const Cell& cell : cells) {
    placements.push_back(Placement{cell.slot, x, y, cell.width});
    x += cell.width;
  }
  return placements;
}

int CountInk(const Picture& picture) {
  int count = 0;
  for (const std::string& line : picture) {
    for (char c : line) count += c == '#';
  }
  return count;
}

// ---- Which bytes make which characters ----------------------------------

struct LayoutCase {
  const char* name;
  int encoding;
  std::string text;
  std::vector<Cell> cells;
};

TEST(DrawText, CharactersOfEachEncodingAndTheirAdvance) {
  const int sjis = EncodingShiftJis, euc = EncodingEuc, jis = EncodingJis;
  const LayoutCase cases[] = {
      {"ascii, kana", sjis, "AB\x82\xA0", {{65, 8}, {66, 8}, {641, 16}}},
      {"kana, stops", sjis, "\x82\xA0...A", {{641, 16}, {46, 8}, {46, 8}, {46, 8}, {65, 8}}},
      {"line feed pairs", sjis, "A\nB", {{65, 8}, {2082, 16}}},
      {"katakana pairs: outside", sjis, "\xB1\x41\x42", {{kNone, 16}, {66, 8}}},
      {"katakana pairs: other slot", sjis, "\xDF\xFC", {{6301, 16}}},
      {"DEL leads", sjis, "\x7F\x41", {{kNone, 16}}},
      {"ends in pair", sjis, "A\x82", {{65, 8}}},
      {"euc pair", euc, "\xA4\xA2\x41", {{641, 16}, {65, 8}}},
      {"euc single shift", euc, "\x8E\xB1\x41", {{kNone, 16}, {65, 8}}},
      {"jis mode on, off", jis, "\x1B$B\x24\x22\x1B(BA", {{641, 16}, {65, 8}}},
      {"jis 1978 and roman escapes", jis, "\x1B$@\x24\x22\x1B(JA", {{641, 16}, {65, 8}}},
      {"jis roman ends pairs", jis, "\x1B$B\x1B(J\x24\x22", {{36, 8}, {34, 8}}},
      {"jis other escapes skipped", jis, "\x1B(IA\x1B$A\x24\x22", {{65, 8}, {36, 8}, {34, 8}}},
      {"jis other escape keeps pairs", jis, "\x1B$B\x1B(I\x24\x22", {{641, 16}}},
      {"jis escape in pairs", jis, "\x1B$B\x30\x21\x1B(BA", {{1792, 16}, {65, 8}}},
      {"jis singles", jis, "\x80\xFF\n", {{128, 8}, {255, 8}, {10, 8}}},
      {"jis ends in escape", jis, "A\x1B$", {{65, 8}}},
      {"jis ends in pair", jis, "\x1B$B\x24\x22\x24", {{641, 16}}},
      {"unknown encoding", 9, "\x82\xA0\x41", {{kNone, 16}, {65, 8}}}};
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeFont probe = MakeProbeFont(16, c.encoding);
    Surface surface = PaperSurface(80, 20, 32);
    EXPECT_EQ(Kanji_DrawText(probe.font.get(), 3, 2, surface.get(), c.text.c_str(), kInk), 0);
    EXPECT_EQ(PictureOf(surface.get()), Stamp(*probe.font, 80, 20, Row(3, 2, c.cells)));
  }
}

int WidthOf(const std::vector<Cell>& cells) {
  int width = 0;
  for (const Cell& cell : cells) width += cell.width;
  return width;
}

// Characters by their JIS meaning; invalid bytes one at a time, half a cell each.
TEST(DrawText, Utf8CharactersAndTheirAdvance) {
  const int utf8 = EncodingUtf8;
  const Cell invalid{kNone, 8};
  const LayoutCase cases[] = {
      {"ascii, kana", utf8, "A\xE3\x81\x82", {{65, 8}, {641, 16}}},
      {"half-width katakana", utf8, "\xEF\xBD\xB1", {{0xB1, 8}}},
      {"wave dash 0x2141, fullwidth tilde 0x2232",
       utf8,
       "\xE3\x80\x9C\xEF\xBD\x9E",
       {{384, 16}, {465, 16}}},
      {"latin-1 cent is 0x2171", utf8, "\xC2\xA2", {{432, 16}}},
      {"JIS X 0213: circled 1 at 0x2D21, copyright at 0x2926",
       utf8,
       "\xE2\x91\xA0\xC2\xA9",
       {{1504, 16}, {1125, 16}}},
      {"no JIS meaning", utf8, "\xD0\x80\x41\xF4\x8F\xBF\xBF", {{kNone, 16}, {65, 8}, {kNone, 16}}},
      {"escape is ascii", utf8, "\x1B$B", {{27, 8}, {36, 8}, {66, 8}}},
      {"bad leads", utf8, "\x80\xBF\xFE\x41", {invalid, invalid, invalid, {65, 8}}},
      {"bad continuation", utf8, "\xE3\x81\x41", {invalid, invalid, {65, 8}}},
      {"overlong", utf8, "\xC0\xAF\xE0\x80\xAF", std::vector<Cell>(5, invalid)},
      {"surrogate", utf8, "\xED\xA0\x80", std::vector<Cell>(3, invalid)},
      {"past U+10FFFF", utf8, "\xF4\x90\x80\x80\xF5\x80", std::vector<Cell>(6, invalid)},
      {"ends inside", utf8, "A\xE5\xAE", {{65, 8}, invalid, invalid}}};
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeFont probe = MakeProbeFont(16, c.encoding);
    Surface surface = PaperSurface(80, 20, 32);
    Kanji_DrawText(probe.font.get(), 3, 2, surface.get(), c.text.c_str(), kInk);
    EXPECT_EQ(PictureOf(surface.get()), Stamp(*probe.font, 80, 20, Row(3, 2, c.cells)));
    EXPECT_EQ(Kanji_TextWidth(probe.font.get(), c.text.c_str()), WidthOf(c.cells));
    Surface text(Kanji_RenderText(probe.font.get(), c.text.c_str(), kInk, 32));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->w, WidthOf(c.cells));
  }
}

// The same text in UTF-8 and in Shift-JIS (by iconv) draws the same pixels.
TEST(DrawText, Utf8DrawsLikeShiftJis) {
  // A\~完了、。，．あ: no half-width katakana, which Shift-JIS texts take as lead bytes.
  const std::string utf8 =
      "A\\~\xE5\xAE\x8C\xE4\xBA\x86\xE3\x80\x81\xE3\x80\x82\xEF\xBC\x8C\xEF\xBC\x8E\xE3\x81\x82";
  std::string shiftJis;
  Iconv toShiftJis("CP932", "UTF-8");
  ASSERT_TRUE(toShiftJis.Convert(utf8, shiftJis));
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  FontSet utf8Font = *probe.font;
  Kanji_SetEncoding(&utf8Font, EncodingUtf8);
  EXPECT_EQ(Kanji_TextWidth(&utf8Font, utf8.c_str()),
            Kanji_TextWidth(probe.font.get(), shiftJis.c_str()));
  for (auto draw : {Kanji_DrawText, Kanji_DrawTextVertical}) {
    Surface expected = PaperSurface(160, 200, 32);
    Surface drawn = PaperSurface(160, 200, 32);
    draw(probe.font.get(), 2, 20, expected.get(), shiftJis.c_str(), kInk);
    draw(&utf8Font, 2, 20, drawn.get(), utf8.c_str(), kInk);
    EXPECT_GT(CountInk(PictureOf(expected.get())), 0);
    EXPECT_EQ(PictureOf(drawn.get()), PictureOf(expected.get()));
  }
  for (auto render : {Kanji_RenderText, Kanji_RenderTextVertical}) {
    Surface expected(render(probe.font.get(), shiftJis.c_str(), kInk, 32));
    Surface rendered(render(&utf8Font, utf8.c_str(), kInk, 32));
    ASSERT_TRUE(expected && rendered);
    EXPECT_EQ(Shown(rendered.get()), Shown(expected.get()));
  }
}

// U+FF5E is JIS X 0213's 0x2232; without a glyph there it is drawn from
// CP932's 0x2141. Spaces never count as missing.
TEST(DrawText, Utf8FallsBackToCp932AndNamesWhatIsMissing) {
  ProbeFont probe = MakeProbeFont(16, EncodingUtf8);
  for (int slot : {int{'B'}, int{' '}, 352, 465, 1504}) probe.font->glyphs[slot] = nullptr;
  Surface surface = PaperSurface(40, 20, 32);
  Kanji_DrawText(probe.font.get(), 0, 0, surface.get(), "\xEF\xBD\x9E", kInk);
  EXPECT_EQ(PictureOf(surface.get()), Stamp(*probe.font, 40, 20, Row(0, 0, {{384, 16}})));
  // A B ① ～ U+3000, an invalid byte, U+0400
  const char* text = "AB \xE2\x91\xA0\xEF\xBD\x9E\xE3\x80\x80\x80\xD0\x80";
  int codes[3] = {};
  EXPECT_EQ(Kanji_MissingCharacters(probe.font.get(), text, codes, 3), 4);
  EXPECT_EQ(std::vector<int>(codes, codes + 3), (std::vector<int>{'B', 0x2460, -1}));
  EXPECT_EQ(Kanji_MissingCharacters(probe.font.get(), "A", nullptr, 0), 0);
  // A glyph without ink is no glyph; U+00A0 is a space.
  std::fill_n(probe.font->glyphs[int{'A'}], 16, 0);
  probe.font->glyphs[Kanji_TwoByteSlot(0x29, 0x22)] = nullptr;
  EXPECT_EQ(Kanji_MissingCharacters(probe.font.get(), "A\xC2\xA0", codes, 3), 1);
  Kanji_SetEncoding(probe.font.get(), EncodingShiftJis);
  EXPECT_EQ(Kanji_MissingCharacters(probe.font.get(), "B\x81\x40\x81\x60", codes, 3), 1);
  EXPECT_EQ(codes[0], 'B');  // 0x2141 has its glyph
}

TEST(DrawText, EmptySlotLeavesAGap) {
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  probe.font->glyphs[int{'B'}] = nullptr;
  probe.font->glyphs[641] = nullptr;
  Surface surface = PaperSurface(60, 16, 32);
  Kanji_DrawText(probe.font.get(), 0, 0, surface.get(), "AB\x82\xA0\x43", kInk);
  EXPECT_EQ(PictureOf(surface.get()),
            Stamp(*probe.font, 60, 16, Row(0, 0, {{65, 8}, {kNone, 8}, {kNone, 16}, {67, 8}})));
}

TEST(DrawText, NullArgumentsDrawNothing) {
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  Surface surface = PaperSurface(20, 16, 32);
  EXPECT_EQ(Kanji_DrawText(probe.font.get(), 0, 0, surface.get(), nullptr, kInk), 0);
  EXPECT_EQ(Kanji_DrawTextVertical(probe.font.get(), 0, 0, surface.get(), nullptr, kInk), 0);
  EXPECT_EQ(Kanji_DrawText(nullptr, 0, 0, surface.get(), "A", kInk), 0);
  EXPECT_EQ(Kanji_DrawText(probe.font.get(), 0, 0, nullptr, "A", kInk), 0);
  EXPECT_EQ(PictureOf(surface.get()), BlankPicture(20, 16));
}

// ---- Pixel formats ----------------------------------------------------------

// Every depth SDL 1.2 makes surfaces of: 1 and 4 bits pack their rows, 2, 3
// and 5 to 8 bits take a byte per pixel, 9 to 32 bits two to four bytes.
TEST(DrawText, WritesTheMappedColourAtEveryDepth) {
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  const Picture expected = Stamp(*probe.font, 37, 19, Row(5, 1, {{65, 8}, {66, 8}, {641, 16}}));
  for (int depth = 1; depth <= 32; ++depth) {
    SCOPED_TRACE(testing::Message() << depth << " bits per pixel");
    Surface surface = PaperSurface(37, 19, depth);
    ASSERT_NE(Map(surface.get(), kInk), Map(surface.get(), kPaper));
    Kanji_DrawText(probe.font.get(), 5, 1, surface.get(), "AB\x82\xA0", kInk);
    EXPECT_EQ(PictureOf(surface.get()), expected);
    if (SdlBlits(depth)) {
      EXPECT_EQ(Shown(surface.get()), expected);
    }
  }
}

// The pixels live in a buffer with a guard behind it; positions outside the
// surface, and pixels beyond a pitch too short for the width, must never be
// written.
TEST(PlotPixel, NeverWritesOutsideTheSurface) {
  struct Case {
    int depth, width, height, pitch, x, y;
  };
  const Case cases[] = {{32, 4, 4, 16, 4, 0},
                        {32, 4, 4, 16, -1, 0},
                        {32, 4, 4, 16, 0, 4},
                        {32, 4, 4, 16, 0, -1},
                        {32, 4, 4, 16, INT_MAX, INT_MAX},
                        {8, 24, 4, 4, 4, 3},
                        {1, 24, 4, 2, 16, 3},
                        {1, 8, 4, 1, 8, 3},
                        {4, 24, 4, 4, 8, 3},
                        {4, 8, 4, 4, -1, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << c.depth << " at " << c.x << "," << c.y);
    std::vector<Uint8> memory(static_cast<size_t>(c.pitch * c.height) + 64, 0);
    Surface surface(
        SDL_CreateRGBSurfaceFrom(memory.data(), c.width, c.height, c.depth, c.pitch, 0, 0, 0, 0));
    ASSERT_TRUE(surface);
    Kanji_PlotPixel(surface.get(), c.x, c.y, 0xFFFFFFFF);
    EXPECT_EQ(memory, std::vector<Uint8>(memory.size(), 0));
  }
}

// Packed rows: only the pixel's own bits change, leftmost pixel on top.
TEST(PlotPixel, SetsThePixelsBitsInPackedRows) {
  struct Case {
    int depth, x;
    Uint32 pixel;
    Uint8 before, after;  // the byte holding pixel x, in row 1
  };
  const Case cases[] = {{1, 0, 1, 0x00, 0x80},   {1, 10, 1, 0x00, 0x20},  {1, 15, 1, 0x00, 0x01},
                        {1, 9, 0, 0xFF, 0xBF},   {1, 9, 3, 0x00, 0x40},   {4, 0, 0xA, 0x00, 0xA0},
                        {4, 3, 0x5, 0xFF, 0xF5}, {4, 2, 0x0, 0x3C, 0x0C}, {4, 1, 0x1F, 0x00, 0x0F}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << c.depth << " at " << c.x);
    std::vector<Uint8> memory(8, c.before);
    Surface surface(SDL_CreateRGBSurfaceFrom(memory.data(), 16, 2, c.depth, 4, 0, 0, 0, 0));
    ASSERT_TRUE(surface);
    Kanji_PlotPixel(surface.get(), c.x, 1, c.pixel);
    std::vector<Uint8> expected(8, c.before);
    expected[4 + static_cast<size_t>(c.x * c.depth / 8)] = c.after;
    EXPECT_EQ(memory, expected);
  }
}

// ---- Clipping ---------------------------------------------------------------

TEST(DrawText, ClipsAtEveryEdgeForAnyPen) {
  const std::pair<int, int> pens[] = {{-4, 2},
                                      {-20, 2},
                                      {30, 2},
                                      {0, -5},
                                      {0, 10},
                                      {-30, -30},
                                      {50, 0},
                                      {0, 20},
                                      {INT_MIN, 0},
                                      {INT_MAX, 0},
                                      {0, INT_MIN},
                                      {0, INT_MAX},
                                      {INT_MAX - 3, INT_MAX - 3},
                                      {INT_MIN, INT_MIN}};
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  for (const auto& [x, y] : pens) {
    SCOPED_TRACE(testing::Message() << "pen " << x << "," << y);
    Surface surface = PaperSurface(40, 20, 16);
    Kanji_DrawText(probe.font.get(), x, y, surface.get(), "A\x82\xA0\x82\xA2", kInk);
    EXPECT_EQ(PictureOf(surface.get()),
              Stamp(*probe.font, 40, 20, Row(x, y, {{65, 8}, {641, 16}, {643, 16}})));
  }
}

// As SDL's blits do, text is drawn only inside the clip rectangle, at every
// depth; a rectangle reaching past the surface is cut to it.
TEST(DrawText, DrawsOnlyInsideTheClipRectangle) {
  const SDL_Rect clips[] = {{5, 3, 8, 8}, {0, 0, 1, 1}, {30, 10, 40, 40}, {9, 4, 0, 5}};
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  const Picture unclipped = Stamp(*probe.font, 40, 20, Row(-3, 1, {{65, 8}, {641, 16}, {643, 16}}));
  for (const int depth : {1, 4, 8, 16, 24, 32}) {
    for (const SDL_Rect& clip : clips) {
      SCOPED_TRACE(testing::Message() << depth << " bits, clip at " << clip.x << "," << clip.y);
      Surface surface = PaperSurface(40, 20, depth);
      SDL_SetClipRect(surface.get(), &clip);
      Kanji_DrawText(probe.font.get(), -3, 1, surface.get(), "A\x82\xA0\x82\xA2", kInk);
      Picture expected = BlankPicture(40, 20);
      for (int y = clip.y; y < std::min(clip.y + clip.h, 20); ++y)
        for (int x = clip.x; x < std::min(clip.x + clip.w, 40); ++x)
          expected[y][x] = unclipped[y][x];
      EXPECT_EQ(PictureOf(surface.get()), expected);
    }
  }
}

// ---- Vertical text ----------------------------------------------------------

struct VerticalCase {
  const char* name;
  int encoding;
  int x, y;
  std::string text;
  std::vector<Placement> placements;
};

TEST(DrawTextVertical, TwoByteCharactersDownwardsWithRaisedPunctuation) {
  const int sjis = EncodingShiftJis;
  const VerticalCase cases[] = {
      {"singles skipped",
       sjis,
       10,
       32,
       "A\x88\x9F\x42\x82\xA0",
       {{1792, 10, 32, 16}, {641, 10, 48, 16}}},
      {"full stop", sjis, 10, 32, "\x81\x42\x88\x9F", {{354, 19, 22, 16}, {1792, 10, 48, 16}}},
      {"four marks move, neighbours stay",
       sjis,
       4,
       40,
       "\x81\x40\x81\x41\x81\x42\x81\x43\x81\x44\x81\x45",
       {{352, 4, 40, 16},
        {353, 13, 46, 16},
        {354, 13, 62, 16},
        {355, 13, 78, 16},
        {356, 13, 94, 16},
        {357, 4, 120, 16}}},
      {"offset truncated toward zero", sjis, 10, 5, "\x81\x42", {{354, 19, -4, 16}}},
      {"jis mark", EncodingJis, 0, 16, "\x1B$B!#\x1B(BA!#", {{354, 9, 6, 16}}},
      {"outside slot moves down", sjis, 0, 0, "\xB1\x41\x82\xA0", {{641, 0, 16, 16}}},
      {"utf8: singles and invalid bytes skipped, characters without JIS meaning move down",
       EncodingUtf8,
       10,
       32,
       "A\xE5\xAE\x8C\xFF\xE3\x80\x82\xD0\x80\xE2\x91\xA0\xE3\x81\x82",
       {{2191, 10, 32, 16}, {354, 19, 38, 16}, {1504, 10, 80, 16}, {641, 10, 96, 16}}}};
  for (const VerticalCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeFont probe = MakeProbeFont(16, c.encoding);
    Surface surface = PaperSurface(40, 140, 32);
    EXPECT_EQ(
        Kanji_DrawTextVertical(probe.font.get(), c.x, c.y, surface.get(), c.text.c_str(), kInk), 0);
    EXPECT_EQ(PictureOf(surface.get()), Stamp(*probe.font, 40, 140, c.placements));
  }
}

TEST(DrawTextVertical, EmptySlotMovesDownAndExtremePensDrawNothing) {
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  probe.font->glyphs[641] = nullptr;
  Surface surface = PaperSurface(20, 40, 32);
  Kanji_DrawTextVertical(probe.font.get(), 0, 0, surface.get(), "\x82\xA0\x82\xA2", kInk);
  EXPECT_EQ(PictureOf(surface.get()), Stamp(*probe.font, 20, 40, {{643, 0, 16, 16}}));

  for (int pen : {INT_MIN, INT_MAX}) {
    Surface blank = PaperSurface(20, 40, 32);
    Kanji_DrawTextVertical(probe.font.get(), pen, pen, blank.get(), "\x81\x42\x81\x42", kInk);
    EXPECT_EQ(PictureOf(blank.get()), BlankPicture(20, 40)) << "pen " << pen;
  }
}

// ---- Rendered text ----------------------------------------------------------

Uint32 KeyOf(const SDL_Surface* surface) {
  return SDL_MapRGB(surface->format, 255 - kInk.r, 255 - kInk.g, 255 - kInk.b);
}

TEST(RenderText, SurfaceOfTheTextWithKeyedBackground) {
  struct Case {
    const char* name;
    int size, encoding;
    std::string text;
    int width;
    std::vector<Cell> cells;
  };
  const Case cases[] = {
      {"three bytes", 16, EncodingShiftJis, "A\x82\xA0", 24, {{65, 8}, {641, 16}}},
      {"escapes count in the width", 16, EncodingJis, "\x1B$B\x24\x22\x1B(B", 64, {{641, 16}}},
      {"odd size: last column clipped",
       15,
       EncodingShiftJis,
       "A\x82\xA0",
       21,
       {{65, 7}, {641, 15}}}};
  for (const Case& c : cases) {
    for (int depth = 1; depth <= 32; ++depth) {
      SCOPED_TRACE(testing::Message() << c.name << ", " << depth << " bits per pixel");
      ProbeFont probe = MakeProbeFont(c.size, c.encoding);
      Surface text(Kanji_RenderText(probe.font.get(), c.text.c_str(), kInk, depth));
      ASSERT_TRUE(text);
      EXPECT_EQ(text->w, c.width);
      EXPECT_EQ(text->h, c.size);
      EXPECT_EQ(text->format->BitsPerPixel, depth);
      EXPECT_TRUE(text->flags & SDL_SRCCOLORKEY);
      EXPECT_EQ(text->format->colorkey, KeyOf(text.get()));
      Picture expected = Stamp(*probe.font, c.width, c.size, Row(0, 0, c.cells));
      EXPECT_EQ(PictureOf(text.get(), Map(text.get(), kInk), KeyOf(text.get())), expected);
      if (SdlBlits(depth)) {
        EXPECT_EQ(Shown(text.get()), expected);
      }
    }
  }
}

TEST(RenderTextVertical, ColumnOfTheTextWithKeyedBackground) {
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  const Picture expected = Stamp(*probe.font, 16, 32, {{641, 0, 0, 16}, {354, 9, 6, 16}});
  for (int depth = 1; depth <= 32; ++depth) {
    SCOPED_TRACE(testing::Message() << depth << " bits per pixel");
    Surface text(Kanji_RenderTextVertical(probe.font.get(), "\x82\xA0\x81\x42", kInk, depth));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->w, 16);
    EXPECT_EQ(text->h, 32);
    EXPECT_TRUE(text->flags & SDL_SRCCOLORKEY);
    EXPECT_EQ(PictureOf(text.get(), Map(text.get(), kInk), KeyOf(text.get())), expected);
    if (SdlBlits(depth)) {
      EXPECT_EQ(Shown(text.get()), expected);
    }
  }
}

TEST(RenderText, RefusesWithoutTextSilentlyAndReportsFailedSurfaces) {
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  const std::string tooLong(8192, 'A');  // 65536 pixels: more than SDL takes
  struct Case {
    const char* name;
    const char* text;
    int depth;
    const char* message;
  };
  const Case cases[] = {{"null text", nullptr, 32, ""},
                        {"empty text", "", 32, ""},
                        {"too long", tooLong.c_str(), 32, "ERROR: at Kanji_RenderText\n"},
                        {"depth 0", "A", 0, "ERROR: at Kanji_RenderText\n"},
                        {"negative depth", "A", -8, "ERROR: at Kanji_RenderText\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (auto render : {Kanji_RenderText, Kanji_RenderTextVertical}) {
      testing::internal::CaptureStderr();
      SDL_Surface* surface = render(probe.font.get(), c.text, kInk, c.depth);
      EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
      if (c.message[0] != '\0') {
        EXPECT_EQ(std::string(Kanji_GetError()).rfind("cannot make a ", 0), 0u) << Kanji_GetError();
      }
      EXPECT_EQ(surface, nullptr);
      SDL_FreeSurface(surface);
    }
  }
}

// ---- Surfaces that must be locked -------------------------------------------

// Once blitted, a run-length accelerated software surface gives up its plain
// pixels; only a lock brings them back.
TEST(DrawText, LocksASurfaceThatNeedsItOncePerText) {
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  Surface surface = PaperSurface(30, 16, 32);
  SDL_SetColorKey(surface.get(), SDL_SRCCOLORKEY | SDL_RLEACCEL, Map(surface.get(), kPaper));
  Surface scratch = NewSurface(30, 16, 32);
  SDL_BlitSurface(surface.get(), nullptr, scratch.get(), nullptr);
  ASSERT_TRUE(SDL_MUSTLOCK(surface.get()));
  ASSERT_EQ(surface->pixels, nullptr);

  Picture expected = Stamp(*probe.font, 30, 16, Row(-2, 0, {{65, 8}, {641, 16}, {66, 8}}));
  lockCalls = unlockCalls = 0;
  Kanji_DrawText(probe.font.get(), -2, 0, surface.get(), "A\x82\xA0\x42", kInk);
  EXPECT_EQ(lockCalls, 1);
  EXPECT_EQ(unlockCalls, 1);
  EXPECT_EQ(surface->locked, 0u);

  Surface target = NewSurface(30, 16, 32);
  SDL_FillRect(target.get(), nullptr, Map(target.get(), kPaper));
  SDL_BlitSurface(surface.get(), nullptr, target.get(), nullptr);
  EXPECT_EQ(PictureOf(target.get()), expected);
}

TEST(DrawText, LeavesASurfaceThatNeedsNoLockUnlocked) {
  ProbeFont probe = MakeProbeFont(16, EncodingShiftJis);
  Surface surface = PaperSurface(30, 16, 32);
  lockCalls = unlockCalls = 0;
  Kanji_DrawText(probe.font.get(), 0, 0, surface.get(), "A\x82\xA0", kInk);
  EXPECT_EQ(lockCalls, 0);
  EXPECT_EQ(unlockCalls, 0);
}

}  // namespace
