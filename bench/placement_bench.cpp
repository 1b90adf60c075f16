// SPDX-License-Identifier: MIT
// What placing and fitting cost beside the load they belong to: the fit's
// pass over the placed rows of a real font, and its whole search for the
// best move, which only fonts that lose many glyphs need.
#include "kanji.h"
#include "kanji_internal.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

struct Staged {
  FontSet* font;
  GlyphStage stage;
};

// jiskan16 at 16 or jiskan24 at 24, loaded with its stage kept.
Staged& StagedFont(int index) {
  static Staged fonts[2];
  Staged& staged = fonts[index];
  if (staged.font == nullptr) {
    const int size = index == 0 ? 16 : 24;
    const std::string path =
        std::string(TAVREST_FONT_DIR) + (index == 0 ? "/jiskan16.bdf" : "/jiskan24.bdf");
    staged.font = Kanji_CreateEmptyFontSet(size);
    FontLoadReport report;
    Kanji_LoadStaged(staged.font, path.c_str(), FontLoadOptions{}, &report, &staged.stage);
  }
  return staged;
}

void LoadFontStaged(benchmark::State& state) {
  const int size = state.range(0) == 0 ? 16 : 24;
  const std::string path =
      std::string(TAVREST_FONT_DIR) + (state.range(0) == 0 ? "/jiskan16.bdf" : "/jiskan24.bdf");
  for (auto _ : state) {
    FontSet* font = Kanji_CreateEmptyFontSet(size);
    FontLoadReport report;
    Kanji_LoadBdfWithReport(font, path.c_str(), &report);
    benchmark::DoNotOptimize(font->glyphs);
    Kanji_DestroyFontSet(font);
  }
}

// The pass every load makes: the rows above and below each cell looked at,
// each glyph written into the font set.
void FitPass(benchmark::State& state) {
  Staged& staged = StagedFont(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    FontLoadReport report{};
    Kanji_CommitStage(&staged.stage, staged.font, &report);
    benchmark::DoNotOptimize(report.glyphsCut);
  }
}

// The search over every move, as a font that loses many glyphs makes it.
void FitSearch(benchmark::State& state) {
  Staged& staged = StagedFont(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    staged.stage.inkFound = false;
    int considered = 0;
    benchmark::DoNotOptimize(Kanji_LeastVerticalCut(&staged.stage, staged.stage.size, &considered));
  }
}

// Argument 0: jiskan16 at 16; argument 1: jiskan24 at 24.
BENCHMARK(LoadFontStaged)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(FitPass)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(FitSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
