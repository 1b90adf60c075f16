// SPDX-License-Identifier: MIT
// Run driver: reads "tavrest.ini" (or takes its settings from the command
// line), converts the fonts it names into "tavrest.qpk" and "tavrest.tga",
// and shows the progress in a small window.
#pragma once

#include <cstddef>
#include <string>

// Characters a settings line may hold, its line end not counted.
constexpr size_t ConfigLineMax = 4095;

struct RunConfig {
  std::string mainFont;
  std::string secondFont;
  std::string sizeLine;
  int cellSize;                 // the size line read by Kanji_ParseDecimal
  int longLine;                 // the first line longer than ConfigLineMax (1 to 3), 0 when none
  int nulLine;                  // the first line holding a NUL byte (1 to 3), 0 when none
  int baselines[2] = {-1, -1};  // each font's baseline row; -1: placed and fitted by its rule
  std::string sizeNote;         // for -v: why a size taken from the main font is what it is
  int mainFace = 0;             // a font line "FONT:N" names face N (see GatherSettings)
  int secondFace = 0;
};

// False, with errno, when the file cannot be opened or is a folder (EISDIR).
// A UTF-8 byte order mark
// at the start is skipped; missing lines read as empty; a line feed, and a
// carriage return before it, end each value. A line that is too long is
// named in longLine, and the values are then left empty.
bool ReadConfig(const char* path, RunConfig& config);

enum class ImageKind { Tga, Bmp, None };

// What the command line asks for; the defaults are the run without arguments.
struct RunOptions {
  std::string configPath;                  // -c; empty for ./tavrest.ini
  std::string mainFont;                    // -f; the settings file is then not read
  std::string secondFont;                  // -F
  int cellSize = 0;                        // -s; 0 when not given
  int baseline = -1;                       // --baseline; -1 when not given
  int secondBaseline = -1;                 // --second-baseline
  std::string packedName = "tavrest.qpk";  // "-": standard output
  std::string imageName = "tavrest.tga";   // "-": standard output, as TGA
  ImageKind image = ImageKind::Tga;
  bool batch = false;                    // no window, no final wait
  bool quiet = false;                    // no warnings
  bool verbose = false;                  // fonts and files reported after the run
  bool sync = true;                      // outputs synced to disk (--no-sync: not)
  int mainFace = -1, secondFace = -1;    // --face, --second-face; -1 when not given
  int mainRender = 0, secondRender = 0;  // --render, --second-render: OutlineRendering values
  bool noCondense = false;
  // A setting was given, so a missing settings file or a size of 0 is an
  // error rather than nothing to do.
  bool settingsRequired = false;
};

enum class CommandLine { Run, Help, Version, UsageError };

// Parses the arguments with getopt_long; for UsageError, `problem` says what
// is wrong.
CommandLine ParseCommandLine(int argc, char** argv, RunOptions& options, std::string& problem);

// The whole program: parsing, then help, version, a usage error (status 2)
// or the run; returns the process exit status.
int TavrestMain(int argc, char** argv);

// The whole run; returns the process exit status (0 converted, 1 failed).
int RunConversion(const RunOptions& options);
