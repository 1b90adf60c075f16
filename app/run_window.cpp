// SPDX-License-Identifier: MIT
// The run's window: a progress bar, then three messages in the font being
// converted.
#include "platform.h"
#include "run_parts.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kWindowWidth = 444;  // 148 progress steps of 3 pixels
constexpr int kWindowHeight = 30;
constexpr int kWindowDepth = 16;
constexpr int kStepWidth = 3;
constexpr Uint32 kFinalDelayMs = 2000;
constexpr char kTitle[] = "tavrest";

// Without a window the conversion still runs: its files are the product.
void GoWithoutWindow(RunWindow& window, const char* what) {
  Warn("%s (%s); converting without a window", what, SDL_GetError());
  if (window.progress != nullptr) SDL_FreeSurface(window.progress);
  window = RunWindow{nullptr, nullptr, false};
}

bool Named(const char* value) { return value != nullptr && value[0] != '\0'; }

// Left to itself, SDL without a display falls back to drivers that draw on
// the terminal: they fill standard output with escape codes, or end the
// process where there is no terminal type. A driver the user names is used
// as named; otherwise only the desktop's driver (X11 where DISPLAY is set,
// Windows' own) or the dummy driver is chosen.
bool StartVideo() {
  if (Named(getenv("SDL_VIDEODRIVER"))) return SDL_Init(SDL_INIT_VIDEO) == 0;
  const char* display = nullptr;
  if (const char* driver = DesktopVideoDriver(&display)) {
    SetEnvironment("SDL_VIDEODRIVER", driver);
    if (SDL_Init(SDL_INIT_VIDEO) == 0) return true;
    Warn("cannot use the display %s (%s); converting without a window", display, SDL_GetError());
  }
  SetEnvironment("SDL_VIDEODRIVER", "dummy");
  return SDL_Init(SDL_INIT_VIDEO) == 0;
}

bool OnDisplay() {
  char driver[32] = "";
  return SDL_VideoDriverName(driver, sizeof driver) != nullptr && strcmp(driver, "dummy") != 0;
}

}  // namespace

RunWindow OpenWindow() {
  RunWindow window{nullptr, nullptr, false};
  atexit(SDL_Quit);  // SDL has no entry layer here that would do this
  const bool started = StartVideo();
  EndOnInterrupts();
  if (!started) {
    GoWithoutWindow(window, "SDL cannot start");
    return window;
  }
  SDL_WM_SetCaption(kTitle, kTitle);
  window.screen = SDL_SetVideoMode(kWindowWidth, kWindowHeight, kWindowDepth, SDL_SWSURFACE);
  if (window.screen == nullptr) GoWithoutWindow(window, "the window cannot be opened");
  window.onDisplay = window.screen != nullptr && OnDisplay();
  return window;
}

RunWindow NoWindow() { return RunWindow{nullptr, nullptr, false}; }

void CreateProgressSurface(RunWindow& window) {
  if (window.screen == nullptr) return;
  window.progress =
      SDL_CreateRGBSurface(SDL_SWSURFACE, kWindowWidth, kWindowHeight, kWindowDepth, 0, 0, 0, 0);
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
  if (onWhite)
    SDL_FillRect(window.screen, nullptr, SDL_MapRGB(window.screen->format, 255, 255, 255));
  Kanji_DrawText(&font, 0, 0, window.screen, message, SDL_Color{0, 0, 0, 0});
  SDL_UpdateRect(window.screen, 0, 0, 0, 0);
}

// The window's messages are handled once first: Wine shows what was drawn
// only then, and Windows marks a window that handles none as hung.
void FinalWait(const RunWindow& window) {
  if (!window.onDisplay) return;
  SDL_PumpEvents();
  SDL_Delay(kFinalDelayMs);
}

void CloseWindow(RunWindow& window) {
  FreeProgressSurface(window);
  window.screen = nullptr;
  SDL_Quit();
}
