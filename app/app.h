// Run driver: reads "tavrest.ini", converts the fonts it names into
// "tavrest.qpk" and "tavrest.tga", and shows the progress in a small window.
#pragma once

#include <cstddef>
#include <string>

// Characters a settings line may hold, its line end not counted.
constexpr size_t ConfigLineMax = 4095;

struct RunConfig {
  std::string mainFont;
  std::string secondFont;
  std::string sizeLine;
  int cellSize;  // the size line read by Kanji_ParseDecimal
  int longLine;  // the first line longer than ConfigLineMax (1 to 3), 0 when none
};

// False, with errno, when the file cannot be opened. A UTF-8 byte order mark
// at the start is skipped; missing lines read as empty; a line feed, and a
// carriage return before it, end each value. A line that is too long is
// named in longLine, and the values are then left empty.
bool ReadConfig(const char* path, RunConfig& config);

// The whole run; returns the process exit status.
int RunConversion();
