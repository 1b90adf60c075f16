// SPDX-License-Identifier: MIT
// Text drawing against its floor: 1000 kanji of jiskan16 (20 lines of 50, in
// EUC-JP) drawn with Kanji_DrawText, and the same glyphs stored straight into
// the surface's pixels, a bit test and a store per pixel, on 32-, 16- and
// 8-bit surfaces.
//
//   tavrest_draw_bench                  Google Benchmark timings
//   tavrest_draw_bench --once WHAT BITS one drawing inside MeasuredDrawing,
//                                       for callgrind (bench.sh); WHAT is
//                                       library or direct
#include "kanji.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kLines = 20;
constexpr int kPerLine = 50;
constexpr SDL_Color kInk{0x10, 0x20, 0x30, 0};

FontSet* LoadFont() {
  const std::string path = std::string(TAVREST_FONT_DIR) + "/jiskan16.bdf";
  FontSet* font = Kanji_CreateFontSet(path.c_str(), 16);
  if (font == nullptr) {
    fprintf(stderr, "%s missing: run tests/support/make_fonts.sh\n", path.c_str());
    exit(1);
  }
  Kanji_SetEncoding(font, EncodingEuc);
  return font;
}

// The first kLines x kPerLine kanji the font has, one EUC-JP text per line.
std::vector<std::string> KanjiLines(const FontSet& font) {
  std::vector<std::string> lines(kLines);
  int taken = 0;
  for (int first = 0x30; first <= 0x7E && taken < kLines * kPerLine; ++first) {
    for (int second = 0x21; second <= 0x7E && taken < kLines * kPerLine; ++second) {
      if (font.glyphs[Kanji_TwoByteSlot(first, second)] == nullptr) continue;
      lines[taken / kPerLine] += static_cast<char>(first | 0x80);
      lines[taken / kPerLine] += static_cast<char>(second | 0x80);
      ++taken;
    }
  }
  return lines;
}

struct Scene {
  FontSet* font;
  std::vector<std::string> lines;
  SDL_Surface* surface;
};

Scene MakeScene(int depth) {
  FontSet* font = LoadFont();
  SDL_Surface* surface =
      SDL_CreateRGBSurface(SDL_SWSURFACE, kPerLine * 16, kLines * 16, depth, 0, 0, 0, 0);
  if (surface == nullptr) exit(1);
  return Scene{font, KanjiLines(*font), surface};
}

void FreeScene(Scene& scene) {
  SDL_FreeSurface(scene.surface);
  Kanji_DestroyFontSet(scene.font);
}

void DrawWithLibrary(const Scene& scene) {
  for (int line = 0; line < kLines; ++line)
    Kanji_DrawText(scene.font, 0, line * 16, scene.surface, scene.lines[line].c_str(), kInk);
}

// The floor: the text's slots read straight from its bytes, and for every
// pixel of every glyph a bit test and, for ink, a store. No clipping, no
// lock, no other encoding: the surface is known to hold every glyph.
template <typename Pixel>
void StoreDirectly(const Scene& scene, Uint32 value) {
  const FontSet& font = *scene.font;
  const Pixel pixel = static_cast<Pixel>(value);
  for (int line = 0; line < kLines; ++line) {
    const auto* text = reinterpret_cast<const unsigned char*>(scene.lines[line].c_str());
    int x = 0;
    for (; text[0] != 0; text += 2, x += 16) {
      const int32_t* rows = font.glyphs[Kanji_TwoByteSlot(text[0] & 0x7F, text[1] & 0x7F)];
      for (int i = 0; i < 16; ++i) {
        auto* out = reinterpret_cast<Pixel*>(static_cast<Uint8*>(scene.surface->pixels) +
                                             (line * 16 + i) * scene.surface->pitch) +
                    x;
        const uint32_t bits = static_cast<uint32_t>(rows[i]);
        for (int j = 0; j < 16; ++j)
          if (bits >> (15 - j) & 1) out[j] = pixel;
      }
    }
  }
}

void DrawDirectly(const Scene& scene) {
  const Uint32 value = SDL_MapRGB(scene.surface->format, kInk.r, kInk.g, kInk.b);
  switch (scene.surface->format->BytesPerPixel) {
    case 4:
      return StoreDirectly<Uint32>(scene, value);
    case 2:
      return StoreDirectly<Uint16>(scene, value);
    default:
      return StoreDirectly<Uint8>(scene, value);
  }
}

void Library(benchmark::State& state) {
  Scene scene = MakeScene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    DrawWithLibrary(scene);
    benchmark::DoNotOptimize(scene.surface->pixels);
  }
  FreeScene(scene);
}

void Direct(benchmark::State& state) {
  Scene scene = MakeScene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    DrawDirectly(scene);
    benchmark::DoNotOptimize(scene.surface->pixels);
  }
  FreeScene(scene);
}

// Argument: bits per pixel of the surface.
BENCHMARK(Library)->Arg(32)->Arg(16)->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK(Direct)->Arg(32)->Arg(16)->Arg(8)->Unit(benchmark::kMicrosecond);

// Never inlined, so that callgrind can count what runs inside it alone.
__attribute__((noinline)) void MeasuredDrawing(const Scene& scene, bool library) {
  if (library) {
    DrawWithLibrary(scene);
  } else {
    DrawDirectly(scene);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "--once") == 0) {
    Scene scene = MakeScene(atoi(argv[3]));
    MeasuredDrawing(scene, strcmp(argv[2], "library") == 0);
    FreeScene(scene);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
