// BDF loading: only ENCODING lines and the rows after each BITMAP line are
// read; the cell size comes from the caller, never from the file.
#include "kanji.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>

void Kanji_InitLineReader(BdfLineReader* reader, FILE* file) {
  reader->file = file;
  reader->blockLength = 0;
  reader->blockPos = 0;
  reader->atEnd = false;
  reader->piece[0] = '\0';
}

static bool RefillBlock(BdfLineReader* reader) {
  if (reader->atEnd) return false;
  reader->blockLength = fread(reader->block, 1, sizeof reader->block, reader->file);
  reader->blockPos = 0;
  if (reader->blockLength == 0) reader->atEnd = true;
  return reader->blockLength != 0;
}

// A piece is what one fgets into 256 bytes would give: up to 255 characters,
// ending after a line feed. Zero bytes end the piece as a C string.
bool Kanji_NextLine(BdfLineReader* reader) {
  constexpr size_t kMaxPiece = sizeof reader->piece - 1;
  size_t length = 0;
  while (length < kMaxPiece) {
    if (reader->blockPos == reader->blockLength && !RefillBlock(reader)) break;
    const char* source = reader->block + reader->blockPos;
    size_t wanted = std::min(reader->blockLength - reader->blockPos, kMaxPiece - length);
    const char* lineFeed = static_cast<const char*>(memchr(source, '\n', wanted));
    size_t taken = lineFeed != nullptr ? static_cast<size_t>(lineFeed - source) + 1 : wanted;
    memcpy(reader->piece + length, source, taken);
    length += taken;
    reader->blockPos += taken;
    if (lineFeed != nullptr) break;
  }
  reader->piece[length] = '\0';
  return length != 0;
}

int Kanji_RowShift(int width) {
  int wholeBytes = std::max(8, (width + 7) / 8 * 8);
  return wholeBytes - width;
}

static const char* SkipSpace(const char* p) {
  while (isspace(static_cast<unsigned char>(*p))) ++p;
  return p;
}

int Kanji_ParseDecimal(const char* text) {
  const char* p = SkipSpace(text);
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  int64_t value = 0;
  for (; isdigit(static_cast<unsigned char>(*p)); ++p)
    value = std::min<int64_t>(value * 10 + (*p - '0'), int64_t{INT_MAX} + 1);
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(std::min<int64_t>(value, INT_MAX));
}

static int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Saturates at 0xFFFFFFFF rather than 0x7FFFFFFF, so that four-byte rows of
// cells 25 to 32 pixels wide are held exactly; smaller rows are unaffected.
int32_t Kanji_ParseHexRow(const char* text) {
  const char* p = SkipSpace(text);
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigitValue(p[2]) >= 0) p += 2;
  uint64_t magnitude = 0;
  for (int digit; (digit = HexDigitValue(*p)) >= 0; ++p)
    magnitude = std::min<uint64_t>(magnitude * 16 + static_cast<uint64_t>(digit), 0x100000000u);
  if (negative) return static_cast<int32_t>(-static_cast<int64_t>(std::min<uint64_t>(magnitude, 0x80000000u)));
  return static_cast<int32_t>(static_cast<uint32_t>(std::min<uint64_t>(magnitude, 0xFFFFFFFFu)));
}

static bool IsEncodingLine(const char* line) {
  return strncmp(line, "ENCODING", 8) == 0 && (line[8] == ' ' || line[8] == '\t');
}

// Reads up to `size` rows. A line beginning with ENDCHAR ends the glyph early
// (cropped and blank glyphs are common); rows not read stay 0.
void Kanji_ReadGlyphRows(FontSet* font, int slot, BdfLineReader* reader, int shift) {
  if (font->glyphs[slot] != nullptr) return;
  int32_t* rows = font->rowPool + static_cast<size_t>(slot) * static_cast<size_t>(font->size);
  std::fill(rows, rows + font->size, 0);
  font->glyphs[slot] = rows;
  for (int i = 0; i < font->size; ++i) {
    if (!Kanji_NextLine(reader) || strncmp(reader->piece, "ENDCHAR", 7) == 0) return;
    rows[i] = Kanji_ParseHexRow(reader->piece) >> shift;
  }
}

int Kanji_ScanBdf(FontSet* font, BdfLineReader* reader) {
  const int fullShift = Kanji_RowShift(font->size);
  const int halfShift = Kanji_RowShift(font->halfWidth);
  while (Kanji_NextLine(reader)) {
    if (!IsEncodingLine(reader->piece)) continue;
    int code = Kanji_ParseDecimal(reader->piece + 9);
    while (strstr(reader->piece, "BITMAP") == nullptr)
      if (!Kanji_NextLine(reader)) return 0;
    int slot = code > 255 ? Kanji_TwoByteSlot((code >> 8) & 0xFF, code & 0xFF) : code;
    if (slot < 0 || slot >= GlyphSlotCount) continue;
    Kanji_ReadGlyphRows(font, slot, reader, code > 255 ? fullShift : halfShift);
  }
  return 0;
}

static bool IsDirectory(FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
}

int Kanji_LoadBdf(FontSet* font, const char* path) {
  FILE* file = fopen(path, "r");
  if (file != nullptr && IsDirectory(file)) {  // opens on Linux, but reads nothing
    fclose(file);
    file = nullptr;
  }
  if (file == nullptr) {
    fprintf(stderr, "cant open [%s]\n", path);
    return -1;
  }
  BdfLineReader reader;
  Kanji_InitLineReader(&reader, file);
  Kanji_ScanBdf(font, &reader);
  fclose(file);
  return 0;
}
