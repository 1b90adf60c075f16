// SPDX-License-Identifier: MIT
// Pieces of the run shared between its files.
#pragma once

#include "app.h"
#include "kanji.h"

#include <SDL.h>

#include <string>

// ---- The process: messages and interrupts ------------------------------------

// One line on standard error, "tavrest: " first.
void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same for a warning, which -q silences.
void Warn(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Report when `error`, Warn otherwise.
void ReportOrWarn(bool error, const char* format, ...) __attribute__((format(printf, 2, 3)));
void SetWarningsWanted(bool wanted);
// A usage error: the problem and the usage line; returns the status 2.
int ReportUsageError(const char* problem);

// SIGINT, SIGTERM and SIGHUP end the run at once: a named temporary file is
// removed and the process dies by the signal, as a plain program would.
// Signals ignored by whoever started the run (nohup) stay ignored. Called
// again after SDL_Init, which takes SIGINT and SIGTERM for events that
// nobody reads where it finds them at their default.
void EndOnInterrupts();

// ---- Settings and fonts --------------------------------------------------------

// For a relative path that could not be opened: " (looked up in FOLDER)",
// since the working folder may not be the one the user has in mind.
std::string LookedUpIn(const std::string& path);
// The same for a font, only where the file is not there: a font that is
// there but refused has nothing to do with the folder.
std::string FontLookedUpIn(const std::string& path);

// The three settings from the options and the settings file; false when the
// run ends here, with its exit status in `status`. A font line of the file
// that names no file, "FONT:N" where FONT is one, names face N of FONT.
bool GatherSettings(const RunOptions& options, RunConfig& config, int& status);

// ---- Outputs ------------------------------------------------------------------

// The path an output name is written to: "-" is standard output.
std::string OutputPath(const std::string& name);
// The name in messages: "standard output" for "-".
std::string OutputName(const std::string& name);
// Checked before any font is read: an output that is a folder, a socket, a
// block device or a planted link (status 1), or that is the same file as an
// input or the other output (a usage error, status 2), ends the run after
// saying so. `settingsFile` is the settings file read, or null.
bool OutputsAllowed(const RunOptions& options, const RunConfig& config, const char* settingsFile,
                    int& status);

// The two-byte characters a font filled (a second font: of those the main
// font left empty).
struct FontCoverage {
  int jisX0208 = 0;
  int jisX0213 = 0;  // of JIS X 0213 plane 1 beyond JIS X 0208
};

struct FontLoad {
  const char* what;  // "main font", "second font"
  std::string path;
  bool opened;
  FontLoadReport report;
  FontCoverage coverage = {};
};

// For -v: the JIS codes of the first glyphs a font lost ink from, each with
// its character where it has one ("0x2142 ‖, 0x41 A").
std::string NameCutGlyphs(const FontLoadReport& report);
// "1 glyph cut", "2 glyphs cut".
std::string GlyphCount(int count, const char* what);
// The sides a font's glyphs lost ink on: "3 at the top, 1 on the right".
std::string CutSides(const FontLoadReport& report);
// For -v: "baseline at row 14, fitted 2 rows down"; empty for a font without one.
std::string BaselineNote(const FontLoadReport& report);

FontCoverage CountCoverage(const FontSet& font);
FontCoverage CoverageGained(const FontCoverage& before, const FontCoverage& after);
// -v's line on what a loaded font covers.
void ReportCoverage(const FontLoad& load);

// The main font, then the second where one is named, each with a line for
// what the user should know; null when the run must end, after saying why.
// Each load's coverage is counted only when asked for (-v).
FontSet* LoadFonts(const RunConfig& config, const RunOptions& options, FontLoad (&loads)[2]);

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
// No window at all: the run converts only.
RunWindow NoWindow();
void CreateProgressSurface(RunWindow& window);
void FreeProgressSurface(RunWindow& window);
// Fills the step'th bar of the progress surface and shows it.
void AdvanceProgress(RunWindow& window, int step);
void ShowMessage(RunWindow& window, const FontSet& font, const char* message, bool onWhite);
// The last message stays for a moment, where someone can see it.
void FinalWait(const RunWindow& window);
void CloseWindow(RunWindow& window);
