// Run driver: reads "tavrest.ini", converts the fonts it names into
// "tavrest.qpk" and "tavrest.tga", and shows the progress in a small window.
#pragma once

constexpr int ConfigLineSize = 128;  // bytes per line buffer, terminator included

struct RunConfig {
  char mainFont[ConfigLineSize];
  char secondFont[ConfigLineSize];
  char sizeLine[ConfigLineSize];
  int cellSize;
};

// False when the file cannot be opened. Missing lines read as empty; line
// feeds, and a carriage return before a line feed, end each value.
bool ReadConfig(const char* path, RunConfig& config);
// The size line is read by Kanji_ParseDecimal, like the font's codes.

// The whole run; returns the process exit status.
int RunConversion();
