// SPDX-License-Identifier: MIT
#include "app.h"
#include "kanji.h"
#include "platform.h"

#include <cerrno>
#include <cstdio>

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";  // UTF-8, as some editors save

// Reads one line into `value` without its line feed, or a carriage return
// before that (files saved on Windows), and the first line without a byte
// order mark; false when what is left is longer than ConfigLineMax. The rest
// of an overlong line is not read. `nul` tells of a NUL byte in the line,
// which a path or a number cannot hold.
bool ReadConfigLine(FILE* file, std::string& value, bool first, bool& nul) {
  value.clear();
  const size_t room = ConfigLineMax + (first ? 3 : 0) + 1;  // a mark, a carriage return
  int c;
  while ((c = getc(file)) != EOF && c != '\n') {
    if (value.size() == room) return false;
    nul = nul || c == '\0';
    value.push_back(static_cast<char>(c));
  }
  if (first && value.starts_with(kByteOrderMark)) value.erase(0, 3);
  if (!value.empty() && value.back() == '\r') value.pop_back();
  return value.size() <= ConfigLineMax;
}

}  // namespace

bool ReadConfig(const char* path, RunConfig& config) {
  // Binary, as on Linux: the lines' carriage returns are taken off here.
  FILE* file = OpenStream(path, "rb");
  if (file == nullptr) return false;
  FileFacts facts;
  if (FactsOfStream(file, facts) && facts.kind == FileKind::Folder) {
    fclose(file);
    errno = EISDIR;
    return false;
  }
  config.longLine = 0;
  config.nulLine = 0;
  std::string* values[] = {&config.mainFont, &config.secondFont, &config.sizeLine};
  for (int line = 0; line < 3 && config.longLine == 0; ++line) {
    bool nul = false;
    if (!ReadConfigLine(file, *values[line], line == 0, nul)) config.longLine = line + 1;
    if (nul && config.nulLine == 0) config.nulLine = line + 1;
  }
  fclose(file);
  if (config.longLine != 0)
    for (std::string* value : values) value->clear();
  config.cellSize = Kanji_ParseDecimal(config.sizeLine.c_str());
  return true;
}
