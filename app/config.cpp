#include "app.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

// Cuts the value at its first line feed, and drops a carriage return that
// stands right before it (or ends a last line without a line feed), so that
// files saved with Windows line ends work.
static void EndValueAtLineFeed(char* line) {
  char* end = static_cast<char*>(memchr(line, '\n', ConfigLineSize));
  if (end == nullptr) end = line + strnlen(line, ConfigLineSize - 1);
  *end = '\0';
  if (end > line && end[-1] == '\r') end[-1] = '\0';
}

static void ReadConfigLine(FILE* file, char* line) {
  memset(line, 0, ConfigLineSize);
  if (fgets(line, ConfigLineSize, file) == nullptr) line[0] = '\0';
}

bool ReadConfig(const char* path, RunConfig& config) {
  FILE* file = fopen(path, "r");
  if (file == nullptr) return false;
  ReadConfigLine(file, config.mainFont);
  ReadConfigLine(file, config.secondFont);
  ReadConfigLine(file, config.sizeLine);
  fclose(file);
  config.cellSize = ParseCellSize(config.sizeLine);
  EndValueAtLineFeed(config.mainFont);
  EndValueAtLineFeed(config.secondFont);
  EndValueAtLineFeed(config.sizeLine);
  return true;
}

int ParseCellSize(const char* line) {
  const char* p = line;
  while (isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  long long value = 0;
  for (; isdigit(static_cast<unsigned char>(*p)); ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;  // saturate
  }
  if (negative) return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}
