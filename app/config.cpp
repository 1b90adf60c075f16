#include "app.h"
#include "kanji.h"

#include <cstdio>
#include <cstring>

namespace {

// Cuts the value at its first line feed, and drops a carriage return that
// stands right before it (or ends a last line without a line feed), so that
// files saved with Windows line ends work.
void EndValueAtLineFeed(char* line) {
  char* end = static_cast<char*>(memchr(line, '\n', ConfigLineSize));
  if (end == nullptr) end = line + strnlen(line, ConfigLineSize - 1);
  *end = '\0';
  if (end > line && end[-1] == '\r') end[-1] = '\0';
}

void ReadConfigLine(FILE* file, char* line) {
  memset(line, 0, ConfigLineSize);
  if (fgets(line, ConfigLineSize, file) == nullptr) line[0] = '\0';
}

}  // namespace

bool ReadConfig(const char* path, RunConfig& config) {
  FILE* file = fopen(path, "r");
  if (file == nullptr) return false;
  ReadConfigLine(file, config.mainFont);
  ReadConfigLine(file, config.secondFont);
  ReadConfigLine(file, config.sizeLine);
  fclose(file);
  config.cellSize = Kanji_ParseDecimal(config.sizeLine);
  EndValueAtLineFeed(config.mainFont);
  EndValueAtLineFeed(config.secondFont);
  EndValueAtLineFeed(config.sizeLine);
  return true;
}
