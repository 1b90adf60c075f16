// Pieces of the run shared between its files.
#pragma once

#include "kanji.h"

#include <SDL.h>

// ---- The process: messages and interrupts ------------------------------------

// One line on standard error, "tavrest: " first.
void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));

// SIGINT, SIGTERM and SIGHUP end the run at once: a named temporary file is
// removed and the process dies by the signal, as a plain program would.
// Signals ignored by whoever started the run (nohup) stay ignored. Called
// again after SDL_Init, which takes SIGINT and SIGTERM for events that
// nobody reads where it finds them at their default.
void EndOnInterrupts();

// ---- The window ----------------------------------------------------------------

// What the run draws on; screen and progress are null when there is no window.
struct RunWindow {
  SDL_Surface* screen;
  SDL_Surface* progress;
  bool onDisplay;  // a window a person can see, not SDL's dummy driver
};

// Starts SDL and opens the window. Without a display (and no driver named
// in SDL_VIDEODRIVER) SDL's dummy driver is used, since the drivers SDL falls
// back to draw on the terminal. Without a window the run goes on.
RunWindow OpenWindow();
void CreateProgressSurface(RunWindow& window);
void FreeProgressSurface(RunWindow& window);
// Fills the step'th bar of the progress surface and shows it.
void AdvanceProgress(RunWindow& window, int step);
void ShowMessage(RunWindow& window, const FontSet& font, const char* message, bool onWhite);
// The last message stays for a moment, where someone can see it.
void FinalWait(const RunWindow& window);
void CloseWindow(RunWindow& window);
