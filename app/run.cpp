#include "app.h"
#include "kanji.h"
#include "output.h"
#include "sheet.h"

#include <SDL.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kConfigName[] = "tavrest.ini";
constexpr char kPackedName[] = "tavrest.qpk";
constexpr char kImageName[] = "tavrest.tga";

constexpr int kWindowWidth = 444;  // 148 progress steps of 3 pixels
constexpr int kWindowHeight = 30;
constexpr int kWindowDepth = 16;
constexpr int kSlotsPerStep = 64;
constexpr int kStepWidth = 3;
constexpr Uint32 kFinalDelayMs = 2000;

// Status messages in Shift-JIS, drawn with the font being converted.
constexpr char kMessageWritingFont[] =  // "フォントを書き出し中..."
    "\x83\x74\x83\x48\x83\x93\x83\x67\x82\xf0\x8f\x91\x82\xab\x8f\x6f\x82\xb5\x92\x86...";
constexpr char kMessageWritingImage[] =  // "ついでに画像ファイルも書き出し中..."
    "\x82\xc2\x82\xa2\x82\xc5\x82\xc9\x89\xe6\x91\x9c\x83\x74\x83\x40\x83\x43\x83\x8b"
    "\x82\xe0\x8f\x91\x82\xab\x8f\x6f\x82\xb5\x92\x86...";
constexpr char kMessageDone[] = "\x8a\xae\x97\xb9";  // "完了"

// What the run draws on; both null when there is no window to draw on.
struct RunWindow {
  SDL_Surface* screen;
  SDL_Surface* progress;
};

void Report(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fputs("tavrest: ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
}

// Without a window the conversion still runs: its files are the product.
void GoWithoutWindow(RunWindow& window, const char* what) {
  Report("%s (%s); converting without a window", what, SDL_GetError());
  if (window.progress != nullptr) SDL_FreeSurface(window.progress);
  window = RunWindow{nullptr, nullptr};
}

RunWindow OpenWindow() {
  RunWindow window{nullptr, nullptr};
  atexit(SDL_Quit);  // on Linux SDL has no entry layer that would do this
  if (SDL_Init(SDL_INIT_VIDEO) < 0) {
    GoWithoutWindow(window, "SDL cannot start");
    return window;
  }
  window.screen = SDL_SetVideoMode(kWindowWidth, kWindowHeight, kWindowDepth, SDL_SWSURFACE);
  if (window.screen == nullptr) GoWithoutWindow(window, "the window cannot be opened");
  return window;
}

void CreateProgressSurface(RunWindow& window) {
  if (window.screen == nullptr) return;
  window.progress = SDL_CreateRGBSurface(SDL_SWSURFACE, kWindowWidth, kWindowHeight,
                                         kWindowDepth, 0, 0, 0, 0);
  if (window.progress == nullptr) GoWithoutWindow(window, "no progress bar");
}

void FreeProgressSurface(RunWindow& window) {
  if (window.progress != nullptr) SDL_FreeSurface(window.progress);
  window.progress = nullptr;
}

void AdvanceProgress(RunWindow& window, int step) {
  if (window.progress == nullptr) return;
  SDL_Rect bar{static_cast<Sint16>(step * kStepWidth), 0, kStepWidth, kWindowHeight};
  SDL_FillRect(window.progress, &bar, SDL_MapRGB(window.progress->format, 255, 255, 255));
  SDL_UpperBlit(window.progress, nullptr, window.screen, nullptr);
  SDL_UpdateRect(window.screen, 0, 0, 0, 0);
}

void ShowMessage(RunWindow& window, const FontSet& font, const char* message, bool onWhite) {
  if (window.screen == nullptr) return;
  if (onWhite) SDL_FillRect(window.screen, nullptr, SDL_MapRGB(window.screen->format, 255, 255, 255));
  Kanji_DrawText(&font, 0, 0, window.screen, message, SDL_Color{0, 0, 0, 0});
  SDL_UpdateRect(window.screen, 0, 0, 0, 0);
}

// Draws every slot into its cell; false when a glyph surface cannot be made,
// since a sheet with glyphs silently missing must not be written.
bool FillSheet(GlyphSheet& sheet, const FontSet& font, RunWindow& window) {
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    if (font.glyphs[slot] != nullptr) {
      SDL_Surface* surface = RenderGlyphSlot(font, slot);
      if (surface == nullptr) {
        Report("cannot create a surface for glyph slot %d (%s)", slot, SDL_GetError());
        return false;
      }
      CopyToSheetCell(sheet, surface, font.size, slot);
      SDL_FreeSurface(surface);
    }
    if (slot % kSlotsPerStep == 0) AdvanceProgress(window, slot / kSlotsPerStep);
  }
  return true;
}

// The writer is chosen by the name's last three characters. True when the
// image was written or no writer fits the name.
bool WriteSheetImage(const GlyphSheet& sheet, const char* name) {
  size_t length = strlen(name);
  const char* ending = length >= 3 ? name + length - 3 : name;
  bool attempted = false;
  bool written = false;
  if (strncmp(ending, "tga", 3) == 0) {
    attempted = true;
    written = WriteTga(sheet, name);
  }
  if (!written && strncmp(ending, "bmp", 3) == 0) {
    attempted = true;
    written = WriteBmp(sheet, name);
  }
  return written || !attempted;
}

void ReportWriteFailure(const char* name) {
  Report("cannot write %s: %s", name, errno != 0 ? strerror(errno) : "nothing to write");
}

// Sheet, packed file, image and the three messages; returns the exit status.
int ConvertAndShow(RunWindow& window, const FontSet& font, GlyphSheet& sheet,
                   PackedGlyphs& packed) {
  if (!CreateGlyphSheet(sheet, font.size)) {
    Report("not enough memory for the glyph sheet of cell size %d", font.size);
    return 1;
  }
  if (!FillSheet(sheet, font, window)) return 1;
  FreeProgressSurface(window);

  ShowMessage(window, font, kMessageWritingFont, false);
  if (!PackGlyphSheet(packed, sheet, font.size)) {
    Report("not enough memory to pack the glyph sheet");
    return 1;
  }
  int status = 0;
  errno = 0;
  if (!WritePackedGlyphs(packed, kPackedName)) {
    ReportWriteFailure(kPackedName);
    status = 1;
  }

  ShowMessage(window, font, kMessageWritingImage, true);
  errno = 0;
  if (!WriteSheetImage(sheet, kImageName)) {
    ReportWriteFailure(kImageName);
    status = 1;
  }

  ShowMessage(window, font, kMessageDone, true);
  SDL_Delay(kFinalDelayMs);
  return status;
}

}  // namespace

int RunConversion() {
  RunConfig config;
  if (!ReadConfig(kConfigName, config)) return 0;
  if (config.cellSize == 0) return 0;
  if (config.cellSize < 1 || config.cellSize > MaxCellSize) {
    Report("the cell size %d in %s is out of range (1 to %d)", config.cellSize, kConfigName,
           MaxCellSize);
    return 1;
  }

  RunWindow window = OpenWindow();
  errno = 0;
  FontSet* font = Kanji_CreateFontSet(config.mainFont, config.cellSize);
  if (font == nullptr) {
    if (errno == ENOMEM) Report("not enough memory for the font set");
    return 1;  // the font library has said why
  }
  Kanji_LoadBdf(font, config.secondFont);
  Kanji_SetEncoding(font, EncodingShiftJis);
  CreateProgressSurface(window);

  GlyphSheet sheet{0, 0, {}};
  PackedGlyphs packed{0, {}};
  int status = ConvertAndShow(window, *font, sheet, packed);
  FreeProgressSurface(window);

  Kanji_DestroyFontSet(font);
  SDL_Quit();
  std::vector<uint8_t>().swap(packed.bytes);
  SheetPixels().swap(sheet.pixels);
  return status;
}
