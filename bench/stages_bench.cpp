// SPDX-License-Identifier: MIT
// The stages of a conversion on real fonts, each timed on its own:
// loading both BDF files, filling the sheet, packing, and writing each file.
#include "kanji.h"
#include "output.h"
#include "sheet.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct FontPair {
  const char* mainFont;
  const char* secondFont;
  int size;
};
constexpr FontPair kPairs[] = {{"jiskan16", "8x16rk", 16}, {"jiskan24", "12x24rk", 24}};

std::string FontFile(const char* name) {
  return std::string(TAVREST_FONT_DIR) + "/" + name + ".bdf";
}

FontSet* LoadPair(const FontPair& pair) {
  FontSet* font = Kanji_CreateFontSet(FontFile(pair.mainFont).c_str(), pair.size);
  if (font == nullptr) {
    fprintf(stderr, "fonts missing in %s: run tests/support/make_fonts.sh\n", TAVREST_FONT_DIR);
    exit(1);
  }
  Kanji_LoadBdf(font, FontFile(pair.secondFont).c_str());
  return font;
}

// As the run fills it: every glyph through one reused surface.
void FillSheet(GlyphSheet& sheet, const FontSet& font) {
  CreateGlyphSheet(sheet, font.size);
  SDL_Surface* surface = CreateGlyphSurface(font);
  for (int slot = 0; slot < GlyphSlotCount; ++slot)
    if (RenderGlyphInto(font, slot, surface)) CopyToSheetCell(sheet, surface, font.size, slot);
  SDL_FreeSurface(surface);
}

// The sheet and packed stream of each pair, made once.
struct Prepared {
  GlyphSheet sheet{0, 0, {}};
  PackedGlyphs packed{0, {}};
};
const Prepared& PreparedFor(int index) {
  static Prepared prepared[2];
  Prepared& p = prepared[index];
  if (p.sheet.pixels.empty()) {
    FontSet* font = LoadPair(kPairs[index]);
    FillSheet(p.sheet, *font);
    PackGlyphSheet(p.packed, p.sheet, font->size);
    Kanji_DestroyFontSet(font);
  }
  return p;
}

std::string OutputPath(const char* name) {
  return "/tmp/tavrest-bench-" + std::to_string(getpid()) + "-" + name;
}

void LoadFonts(benchmark::State& state) {
  for (auto _ : state) {
    FontSet* font = LoadPair(kPairs[state.range(0)]);
    benchmark::DoNotOptimize(font->glyphs);
    Kanji_DestroyFontSet(font);
  }
}

void FillGlyphSheet(benchmark::State& state) {
  FontSet* font = LoadPair(kPairs[state.range(0)]);
  for (auto _ : state) {
    GlyphSheet sheet{0, 0, {}};
    FillSheet(sheet, *font);
    benchmark::DoNotOptimize(sheet.pixels.data());
  }
  Kanji_DestroyFontSet(font);
}

void Pack(benchmark::State& state) {
  const Prepared& p = PreparedFor(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    PackedGlyphs packed{0, {}};
    PackGlyphSheet(packed, p.sheet, kPairs[state.range(0)].size);
    benchmark::DoNotOptimize(packed.bytes.data());
  }
}

void WritePacked(benchmark::State& state) {
  const Prepared& p = PreparedFor(static_cast<int>(state.range(0)));
  const std::string path = OutputPath("tavrest.qpk");
  for (auto _ : state) WritePackedGlyphs(p.packed, path.c_str());
  remove(path.c_str());
}

void WriteTgaImage(benchmark::State& state) {
  const Prepared& p = PreparedFor(static_cast<int>(state.range(0)));
  const std::string path = OutputPath("tavrest.tga");
  for (auto _ : state) WriteTga(p.sheet, path.c_str());
  remove(path.c_str());
}

void WriteBmpImage(benchmark::State& state) {
  const Prepared& p = PreparedFor(static_cast<int>(state.range(0)));
  const std::string path = OutputPath("tavrest.bmp");
  for (auto _ : state) WriteBmp(p.sheet, path.c_str());
  remove(path.c_str());
}

// Argument 0: jiskan16 + 8x16rk at 16; argument 1: jiskan24 + 12x24rk at 24.
BENCHMARK(LoadFonts)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(FillGlyphSheet)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Pack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(WritePacked)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteTgaImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteBmpImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
