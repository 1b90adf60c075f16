// BDF loading: the lines before the first glyph give the character set and
// where boxes sit in the cell; each glyph gives its ENCODING, BBX and the rows
// after its BITMAP line. The cell size comes from the caller, never from the
// file.
#include "kanji_internal.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr size_t kMaxPiece = 255;
constexpr size_t kNothingHeld = static_cast<size_t>(-1);

bool RefillBlock(BdfLineReader* reader) {
  if (reader->atEnd) return false;
  // A damaged gzip stream ends the file where the damage starts.
  const int got = gzread(reader->file, reader->block, sizeof reader->block - 1);
  reader->blockLength = got > 0 ? static_cast<size_t>(got) : 0;
  reader->blockPos = 0;
  if (reader->blockLength == 0) reader->atEnd = true;
  return reader->blockLength != 0;
}

// Length of the next piece within `available` bytes, or 0 when it may go on
// past them (no line feed and fewer than `room` bytes).
size_t PieceLength(const char* source, size_t available, size_t room) {
  size_t wanted = std::min(available, room);
  const char* lineFeed = static_cast<const char*>(memchr(source, '\n', wanted));
  if (lineFeed != nullptr) return static_cast<size_t>(lineFeed - source) + 1;
  return wanted == room ? room : 0;
}

// Puts back the byte the last piece's terminator took.
void ReleaseHeldByte(BdfLineReader* reader) {
  if (reader->heldPos != kNothingHeld) reader->block[reader->heldPos] = reader->heldByte;
  reader->heldPos = kNothingHeld;
}

// A piece that runs over the end of the block is gathered in `piece`.
void GatherPiece(BdfLineReader* reader) {
  size_t length = reader->blockLength - reader->blockPos;
  memcpy(reader->piece, reader->block + reader->blockPos, length);
  reader->blockPos = reader->blockLength;
  while (length < kMaxPiece && RefillBlock(reader)) {
    size_t taken = PieceLength(reader->block, reader->blockLength, kMaxPiece - length);
    bool ended = taken != 0;
    if (!ended) taken = reader->blockLength;
    memcpy(reader->piece + length, reader->block, taken);
    length += taken;
    reader->blockPos = taken;
    if (ended) break;
  }
  reader->piece[length] = '\0';
  reader->line = reader->piece;
}

// White space as the C locale's isspace sees it.
const char* SkipSpace(const char* p) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  return p;
}

// The number at `text` after blanks, saturating; returns what follows it.
const char* ReadDecimal(const char* text, int* value) {
  const char* p = SkipSpace(text);
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p)
    magnitude = std::min<int64_t>(magnitude * 10 + (*p - '0'), int64_t{INT_MAX} + 1);
  *value = static_cast<int>(negative ? -magnitude : std::min<int64_t>(magnitude, INT_MAX));
  return p;
}

// kHexValue[c] is the value of hexadecimal digit c, or -1.
constexpr auto kHexValue = [] {
  std::array<int8_t, 256> table{};
  table.fill(-1);
  for (int c = 0; c < 10; ++c) table['0' + c] = static_cast<int8_t>(c);
  for (int c = 0; c < 6; ++c) table['a' + c] = table['A' + c] = static_cast<int8_t>(10 + c);
  return table;
}();

int HexDigitValue(char c) { return kHexValue[static_cast<unsigned char>(c)]; }

bool IsEncodingLine(const char* line) {
  return line[0] == 'E' && strncmp(line, "ENCODING", 8) == 0 && (line[8] == ' ' || line[8] == '\t');
}

bool IsEndcharLine(const char* line) { return line[0] == 'E' && strncmp(line, "ENDCHAR", 7) == 0; }

// Most bitmap lines are up to eight hexadecimal digits and a line feed: such
// a line is taken straight from the block, its value as Kanji_ParseHexRow
// gives it. False, taking nothing, for any other line. reader->line is not
// moved on.
bool TakeHexLine(BdfLineReader* reader, uint32_t* value) {
  ReleaseHeldByte(reader);
  const char* start = reader->block + reader->blockPos;
  const char* end = start + std::min<size_t>(reader->blockLength - reader->blockPos, 9);
  uint32_t digits = 0;
  const char* p = start;
  for (int digit; p < end && (digit = HexDigitValue(*p)) >= 0; ++p)
    digits = digits * 16 + static_cast<uint32_t>(digit);
  if (p == end || *p != '\n') return false;
  reader->blockPos += static_cast<size_t>(p + 1 - start);
  *value = digits;
  return true;
}

// The bitmap lines of one glyph going into its slot: by the box, or as rows
// were always read when there is none or it places them the same way.
struct GlyphLines {
  int32_t* rows;
  int size;
  int width;
  const GlyphBox* box;  // null: the plain reading
  CellPlacement cell;
  int top;        // the cell row of line 0
  int next;       // the bitmap line to come
  int shift;      // the plain reading's Kanji_RowShift(width)
  uint32_t kept;  // and the bits of a row it keeps
};

// A line's first hexadecimal digit, after blanks and any "0x".
const char* HexStart(const char* text) {
  const char* p = SkipSpace(text);
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigitValue(p[2]) >= 0) p += 2;
  return p;
}

// The line's first `count` bytes, digit by digit, so that lines of any width
// are read; missing digits are blank.
void ParseLineBytes(const char* text, uint8_t* bytes, int count) {
  const char* p = HexStart(text);
  for (int b = 0; b < count; ++b) {
    int value = 0;
    for (int half = 0; half < 2; ++half) {
      const int digit = HexDigitValue(*p);
      if (digit >= 0) ++p;
      value = value * 16 + std::max(digit, 0);
    }
    bytes[b] = static_cast<uint8_t>(value);
  }
}

// Past every cell however the box lies, and still far from overflowing.
constexpr int kLastLine = 4 * kMaxBoxValue;

// The bits of a parsed row that a glyph of `width` pixels keeps once shifted
// by Kanji_RowShift(width).
uint32_t RowKeptBits(int width) {
  const int shift = Kanji_RowShift(width);
  if (shift >= 32) return 0;
  const uint64_t span = width >= 32 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
  return static_cast<uint32_t>(span << shift);
}

// A bitmap line read plainly, as parsed, into its row; true when it loses ink.
bool TakePlainRow(GlyphLines* glyph, int32_t parsed) {
  const int line = glyph->next;
  glyph->next = std::min(line + 1, kLastLine);
  if (line >= glyph->size) return parsed != 0;
  glyph->rows[line] = parsed >> glyph->shift;
  return (static_cast<uint32_t>(parsed) & ~glyph->kept) != 0;
}

// One bitmap line into its row; true when it loses ink.
bool TakeLine(GlyphLines* glyph, const char* text) {
  if (glyph->box == nullptr) return TakePlainRow(glyph, Kanji_ParseHexRow(text));
  const int line = glyph->next;
  glyph->next = std::min(line + 1, kLastLine);
  uint8_t bytes[kMaxBoxLineBytes];
  ParseLineBytes(text, bytes, Kanji_BoxLineBytes(glyph->box->width));
  return Kanji_PlaceBoxLine(*glyph->box, glyph->cell, line, bytes, glyph->rows, glyph->size,
                            glyph->width);
}

struct GlyphEnd {
  bool cut;         // some line lost ink
  bool atEncoding;  // a glyph without ENDCHAR: the reader's line starts the next
};

// Up to the cell's last row only ENDCHAR ends a glyph early (cropped and blank
// glyphs are common); rows not reached stay 0. Lines after it are read only
// for their ink, up to ENDCHAR or, where that is missing, the next ENCODING.
GlyphEnd ReadGlyphLines(GlyphLines* glyph, BdfLineReader* reader) {
  bool cut = false;
  while (glyph->top + glyph->next < glyph->size) {
    uint32_t row;
    if (glyph->box == nullptr && TakeHexLine(reader, &row)) {
      cut = TakePlainRow(glyph, static_cast<int32_t>(row)) || cut;
      continue;
    }
    if (!Kanji_NextLine(reader) || IsEndcharLine(reader->line)) return GlyphEnd{cut, false};
    cut = TakeLine(glyph, reader->line) || cut;
  }
  while (Kanji_NextLine(reader)) {
    if (IsEndcharLine(reader->line)) return GlyphEnd{cut, false};
    if (IsEncodingLine(reader->line)) return GlyphEnd{cut, true};
    cut = TakeLine(glyph, reader->line) || cut;
  }
  return GlyphEnd{cut, false};
}

// A glyph's lines into zeroed `rows` of a cell `size` high.
GlyphEnd ReadGlyph(int32_t* rows, int size, int width, const GlyphBox* box,
                   const CellPlacement* cell, BdfLineReader* reader) {
  const bool byBox = box != nullptr && cell != nullptr && !Kanji_BoxReadsPlain(*box, *cell, width);
  GlyphLines glyph{
      rows, size, width, nullptr, {0, 0}, 0, 0, Kanji_RowShift(width), RowKeptBits(width)};
  if (byBox) {
    glyph.box = box;
    glyph.cell = *cell;
    glyph.top = cell->ascent - (box->height + box->y);
  }
  return ReadGlyphLines(&glyph, reader);
}

// Opens a font file for the line reader; null, with errno, when it cannot be.
gzFile OpenFontFile(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {  // opens on Linux, but reads nothing
    close(fd);
    errno = EISDIR;
    return nullptr;
  }
  gzFile file = gzdopen(fd, "rb");
  if (file == nullptr) {
    close(fd);
    errno = ENOMEM;
  }
  return file;
}

// The kind of font the reader's first block shows; false, with the reason
// recorded, when gzip data breaks off before giving anything.
bool TakeFileKind(BdfLineReader* reader, const char* path, FontLoadReport* report) {
  const bool any = RefillBlock(reader);
  const bool gzip = gzdirect(reader->file) == 0;
  int zlibError = Z_OK;
  const char* reason = gzerror(reader->file, &zlibError);
  if (!any && gzip && zlibError != Z_OK) {
    Kanji_SetError("%s: broken gzip data: %s", path, reason);
    return false;
  }
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(reader->block);
  report->fileKind = Kanji_FileKindOf(bytes, reader->blockLength, gzip);
  return true;
}

// ---- Character sets ---------------------------------------------------------

// The font's CHARSET_REGISTRY and CHARSET_ENCODING values, quotes removed.
struct CharsetNames {
  char registry[sizeof FontLoadReport{}.registry];
  char encoding[sizeof FontLoadReport{}.registry];
};

bool IsPropertyLine(const char* line, const char* name) {
  const size_t length = strlen(name);
  return strncmp(line, name, length) == 0 && (line[length] == ' ' || line[length] == '\t');
}

// A quoted value runs to its closing quote, a bare one to the next blank;
// either is cut to fit `room` bytes with its terminator.
void CopyPropertyValue(const char* text, char* out, size_t room) {
  const char* p = SkipSpace(text);
  const bool quoted = *p == '"';
  if (quoted) ++p;
  size_t length = 0;
  for (; p[length] != '\0' && length + 1 < room; ++length) {
    const char c = p[length];
    if (quoted ? c == '"' || c == '\n' || c == '\r' : c == ' ' || (c >= '\t' && c <= '\r')) break;
  }
  memcpy(out, p, length);
  out[length] = '\0';
}

// The characters from `begin` to `end`, cut to fit `room` bytes with the terminator.
void CopyField(const char* begin, const char* end, char* out, size_t room) {
  const size_t length = std::min(static_cast<size_t>(end - begin), room - 1);
  memcpy(out, begin, length);
  out[length] = '\0';
}

void ReadCharsetProperty(const char* line, CharsetNames* names) {
  if (IsPropertyLine(line, "CHARSET_REGISTRY")) {
    CopyPropertyValue(line + 16, names->registry, sizeof names->registry);
  } else if (IsPropertyLine(line, "CHARSET_ENCODING")) {
    CopyPropertyValue(line + 16, names->encoding, sizeof names->encoding);
  }
}

// Registries by the part of their name before any '.', in any case. Those
// not listed (JIS X 0208 and 0201 among them) keep their codes as JIS codes.
struct RegistryFamily {
  const char* name;
  FontCharset charset;
};
constexpr RegistryFamily kRegistryFamilies[] = {
    {"ISO10646", CharsetUnicode},
    // Single-byte sets, whose upper halves are no JIS X 0201 katakana.
    {"ISO8859", CharsetSingleByte},
    {"ISO646", CharsetSingleByte},
    {"ASCII", CharsetSingleByte},
    {"KOI8", CharsetSingleByte},
    {"MICROSOFT", CharsetSingleByte},
    {"IBM", CharsetSingleByte},
    {"TIS620", CharsetSingleByte},
    {"VISCII1", CharsetSingleByte},
    {"ARMSCII", CharsetSingleByte},
    {"GEORGIAN", CharsetSingleByte},
    {"ADOBE", CharsetSingleByte},
    {"DEC", CharsetSingleByte},
    {"MULELAO", CharsetSingleByte},
    {"KSC5636", CharsetSingleByte},
    // Two-byte sets other than JIS X 0208, whose codes would land in wrong slots.
    {"JISX0212", CharsetRefused},
    {"GB2312", CharsetRefused},
    {"GBK", CharsetRefused},
    {"GB18030", CharsetRefused},
    {"CNS11643", CharsetRefused},
    {"BIG5", CharsetRefused},
    {"BIG5HKSCS", CharsetRefused},
    {"HKSCS", CharsetRefused},
    {"KSC5601", CharsetRefused},
    {"KSX1001", CharsetRefused},
};

bool IsFamily(const char* registry, const char* family) {
  const size_t length = strlen(family);
  return strncasecmp(registry, family, length) == 0 &&
         (registry[length] == '\0' || registry[length] == '.');
}

FontCharset CharsetOf(const CharsetNames& names) {
  // JIS X 0213 plane 1 keeps the JIS X 0208 positions; plane 2 is another set.
  if (IsFamily(names.registry, "JISX0213"))
    return strcmp(names.encoding, "2") == 0 ? CharsetRefused : CharsetJis;
  for (const RegistryFamily& family : kRegistryFamilies)
    if (IsFamily(names.registry, family.name)) return family.charset;
  return CharsetJis;
}

// Appends as much of `text` as fits before the terminator of `out`.
void AppendCut(char* out, size_t room, const char* text) {
  size_t length = strlen(out);
  for (; *text != '\0' && length + 1 < room; ++text) out[length++] = *text;
  out[length] = '\0';
}

// "REGISTRY-ENCODING", or the registry alone; cut to fit.
void NameRegistry(const CharsetNames& names, char* out, size_t room) {
  out[0] = '\0';
  if (names.registry[0] == '\0') return;
  AppendCut(out, room, names.registry);
  if (names.encoding[0] == '\0') return;
  AppendCut(out, room, "-");
  AppendCut(out, room, names.encoding);
}

// The registry and encoding of an XLFD name, its last two of 14 fields (each
// after a '-'); field values may hold blanks, so the name runs to the line's
// end. Anything else names no set.
void ReadFontName(const char* line, CharsetNames* names) {
  const char* p = SkipSpace(line + 4);
  if (*p != '-') return;
  const char* registry = nullptr;
  const char* encoding = nullptr;
  int dashes = 0;
  const char* end = p;
  for (; *end != '\0' && *end != '\n' && *end != '\r'; ++end) {
    if (*end != '-') continue;
    if (++dashes == 13) registry = end + 1;
    if (dashes == 14) encoding = end + 1;
  }
  if (dashes != 14) return;
  while (end > encoding && (end[-1] == ' ' || end[-1] == '\t')) --end;
  CopyField(registry, encoding - 1, names->registry, sizeof names->registry);
  CopyField(encoding, end, names->encoding, sizeof names->encoding);
}

bool SameFamily(const char* a, const char* b) {
  const size_t length = strcspn(a, ".");
  return length == strcspn(b, ".") && strncasecmp(a, b, length) == 0;
}

// One set when the registries agree up to any '.' (JISX0208.1983 and
// JISX0208.1990 are one set) and the encodings agree where both are given.
bool SameSet(const CharsetNames& a, const CharsetNames& b) {
  return SameFamily(a.registry, b.registry) && (a.encoding[0] == '\0' || b.encoding[0] == '\0' ||
                                                strcasecmp(a.encoding, b.encoding) == 0);
}

struct GlyphPlace {
  int slot;  // -1: the code has no slot in the font's character set
  bool halfWidth;
  int jis;  // the slot's JIS code
};

GlyphPlace PlaceCode(int charset, int code) {
  constexpr GlyphPlace kNoSlot{-1, false, -1};
  if (charset == CharsetUnicode) {
    const int jis = Kanji_UnicodeToJis(code);
    return jis < 0 ? kNoSlot : GlyphPlace{Kanji_JisCodeSlot(jis), jis < 256, jis};
  }
  if (charset == CharsetSingleByte)
    return code >= 0 && code < 128 ? GlyphPlace{code, true, code} : kNoSlot;
  const bool twoByte = code > 255;
  const int slot = twoByte ? Kanji_TwoByteSlot((code >> 8) & 0xFF, code & 0xFF) : code;
  const int jis = twoByte ? code & 0xFFFF : code;
  return slot >= 0 && slot < GlyphSlotCount ? GlyphPlace{slot, !twoByte, jis} : kNoSlot;
}

// ---- Where boxes go ----------------------------------------------------------

// `count` numbers, each held to +-kMaxBoxValue so that sums of them stay in range.
void ReadNumbers(const char* text, int* values, int count) {
  for (int i = 0; i < count; ++i) {
    text = ReadDecimal(text, &values[i]);
    values[i] = std::clamp(values[i], -kMaxBoxValue, kMaxBoxValue);
  }
}

// Width, height, x and y offsets, as BBX and FONTBOUNDINGBOX give them.
GlyphBox ReadBox(const char* numbers) {
  int values[4];
  ReadNumbers(numbers, values, 4);
  return GlyphBox{values[0], values[1], values[2], values[3]};
}

// What the lines before the first glyph say.
struct FontHeader {
  CharsetNames properties;  // CHARSET_REGISTRY and CHARSET_ENCODING
  CharsetNames fontName;    // the FONT line's XLFD name
  bool hasAscent;
  int ascent;
  bool hasBox;
  GlyphBox box;  // FONTBOUNDINGBOX
};

void ReadHeaderLine(const char* line, FontHeader* header) {
  ReadCharsetProperty(line, &header->properties);
  if (IsPropertyLine(line, "FONT")) {
    ReadFontName(line, &header->fontName);
  } else if (IsPropertyLine(line, "FONT_ASCENT")) {
    header->hasAscent = true;
    ReadNumbers(line + 11, &header->ascent, 1);
  } else if (IsPropertyLine(line, "FONTBOUNDINGBOX")) {
    header->hasBox = true;
    header->box = ReadBox(line + 15);
  }
}

// Boxes are placed only in a font that says where its baseline lies.
bool CellPlacementOf(const FontHeader& header, CellPlacement* cell) {
  if (!header.hasAscent && !header.hasBox) return false;
  cell->ascent = header.hasAscent ? header.ascent : header.box.height + header.box.y;
  cell->boxX = header.hasBox ? header.box.x : 0;
  return true;
}

// ---- Scanning ---------------------------------------------------------------

// Reads the lines before the first glyph; true when a glyph's ENCODING line
// follows (it is the reader's line then).
bool ReadHeader(BdfLineReader* reader, FontHeader* header) {
  while (Kanji_NextLine(reader)) {
    if (IsEncodingLine(reader->line)) return true;
    ReadHeaderLine(reader->line, header);
  }
  return false;
}

// From a glyph's ENCODING line to its BITMAP line, taking its BBX on the way;
// false at the end of the file.
bool ReachBitmap(BdfLineReader* reader, GlyphBox* box, bool* boxed) {
  while (strstr(reader->line, "BITMAP") == nullptr) {
    if (!Kanji_NextLine(reader)) return false;
    if (IsPropertyLine(reader->line, "BBX")) {
      *box = ReadBox(reader->line + 3);
      *boxed = true;
    }
  }
  return true;
}

void NoteCut(FontLoadReport* report, int jis) {
  if (report->glyphsCut < ReportedCutGlyphs) {
    report->cutCodes[report->glyphsCut] = jis;
    report->cutCharacters[report->glyphsCut] = Kanji_JisToUnicode(jis);
  }
  ++report->glyphsCut;
}

int32_t* TakeSlot(FontSet* font, int slot) {
  int32_t* rows = font->rowPool + static_cast<size_t>(slot) * static_cast<size_t>(font->size);
  std::fill(rows, rows + font->size, 0);
  font->glyphs[slot] = rows;
  return rows;
}

// `cell` is null in a font whose boxes are not placed. Glyphs at codes JIS X
// 0208 leaves free that move wait in `held`.
void ScanGlyphs(FontSet* font, BdfLineReader* reader, const CellPlacement* cell,
                std::vector<HeldGlyph>* held, FontLoadReport* report) {
  const bool freeCodes = Kanji_ReadsFreeCodes(*report);
  bool lineHeld = true;  // the reader's line is still to be scanned
  while (lineHeld || Kanji_NextLine(reader)) {
    lineHeld = false;
    if (!IsEncodingLine(reader->line)) continue;
    const int code = Kanji_ParseDecimal(reader->line + 9);
    GlyphBox box{};
    bool boxed = false;
    if (!ReachBitmap(reader, &box, &boxed)) return;
    const GlyphPlace place = PlaceCode(report->charset, code);
    if (place.slot < 0) {
      if (code >= 0) ++report->codesSkipped;  // -1 marks a glyph without a code
      continue;
    }
    if (freeCodes && Kanji_IsFreeJisCode(place.jis)) {
      std::vector<int32_t> rows(static_cast<size_t>(font->size));
      const GlyphEnd end =
          ReadGlyph(rows.data(), font->size, font->size, boxed ? &box : nullptr, cell, reader);
      Kanji_TakeFreeCodeGlyph(font, place.jis, rows.data(), end.cut, held, report);
      lineHeld = end.atEncoding;
      continue;
    }
    if (font->glyphs[place.slot] != nullptr) continue;
    const int width = place.halfWidth ? font->halfWidth : font->size;
    const GlyphEnd end = ReadGlyph(TakeSlot(font, place.slot), font->size, width,
                                   boxed ? &box : nullptr, cell, reader);
    ++report->glyphsLoaded;
    if (report->charset == CharsetUnicode) Kanji_FillFallbackSlot(font, code, place.slot);
    if (end.cut) NoteCut(report, place.jis);
    lineHeld = end.atEncoding;
  }
}

// The FONT name's set wins over properties that name another, or none.
void SettleCharset(const FontHeader& header, FontLoadReport* report) {
  const bool byName =
      header.fontName.registry[0] != '\0' && !SameSet(header.fontName, header.properties);
  const CharsetNames& names = byName ? header.fontName : header.properties;
  report->charset = CharsetOf(names);
  NameRegistry(names, report->registry, sizeof report->registry);
  if (byName)
    NameRegistry(header.properties, report->propertiesRegistry, sizeof report->propertiesRegistry);
}

void StartReport(FontLoadReport* report) {
  *report = FontLoadReport{};
  report->charset = CharsetJis;
  report->fileKind = FontFileBdf;
}

// The whole bytes a plain line takes: the number's value, saturating as
// Kanji_ParseHexRow does.
bool PlacePlainLine(int line, const uint8_t* bytes, int count, int32_t* rows, int size, int width) {
  uint64_t value = 0;
  for (int b = 0; b < count; ++b) value = std::min<uint64_t>(value * 256 + bytes[b], 0x100000000u);
  const int32_t parsed = static_cast<int32_t>(std::min<uint64_t>(value, 0xFFFFFFFFu));
  if (line >= size) return parsed != 0;
  rows[line] = parsed >> Kanji_RowShift(width);
  return Kanji_RowCut(parsed, width);
}

}  // namespace

int Kanji_BoxLineBytes(int width) { return std::clamp((width + 7) / 8, 0, kMaxBoxLineBytes); }

bool Kanji_BoxReadsPlain(const GlyphBox& box, const CellPlacement& cell, int width) {
  return cell.ascent - (box.height + box.y) == 0 && box.x == cell.boxX &&
         Kanji_BoxLineBytes(box.width) >= std::max(1, (width + 7) / 8);
}

bool Kanji_PlaceBoxLine(const GlyphBox& box, const CellPlacement& cell, int line,
                        const uint8_t* bytes, int32_t* rows, int size, int width) {
  const int row = cell.ascent - (box.height + box.y) + line;
  const bool inCell = row >= 0 && row < size;
  const int left = box.x - cell.boxX;
  const int count = Kanji_BoxLineBytes(box.width);
  uint32_t value = 0;
  bool cut = false;
  for (int b = 0; b < count; ++b) {
    for (int bit = 0; bit < 8 && bytes[b] != 0; ++bit) {
      if ((bytes[b] >> (7 - bit) & 1) == 0) continue;
      const int column = 8 * b + bit + left;
      if (!inCell || column < 0 || column >= width) {
        cut = true;
      } else {
        value |= uint32_t{1} << (width - 1 - column);
      }
    }
  }
  if (inCell) rows[row] |= static_cast<int32_t>(value);
  return cut;
}

bool Kanji_PlaceGlyph(const GlyphBox& box, const CellPlacement& cell, const uint8_t* lines,
                      int lineCount, int32_t* rows, int size, int width) {
  const int count = Kanji_BoxLineBytes(box.width);
  const bool plain = Kanji_BoxReadsPlain(box, cell, width);
  bool cut = false;
  for (int line = 0; line < lineCount; ++line) {
    const uint8_t* bytes = lines + static_cast<size_t>(line) * static_cast<size_t>(count);
    cut = (plain ? PlacePlainLine(line, bytes, count, rows, size, width)
                 : Kanji_PlaceBoxLine(box, cell, line, bytes, rows, size, width)) ||
          cut;
  }
  return cut;
}

void Kanji_InitLineReader(BdfLineReader* reader, gzFile file) {
  reader->file = file;
  reader->blockLength = 0;
  reader->blockPos = 0;
  reader->atEnd = false;
  reader->heldPos = kNothingHeld;
  reader->piece[0] = '\0';
  reader->line = reader->piece;
}

// A piece is what one fgets into 256 bytes would give: up to 255 characters,
// ending after a line feed. Zero bytes end the piece as a C string.
bool Kanji_NextLine(BdfLineReader* reader) {
  ReleaseHeldByte(reader);
  if (reader->blockPos == reader->blockLength && !RefillBlock(reader)) return false;
  const char* source = reader->block + reader->blockPos;
  size_t taken = PieceLength(source, reader->blockLength - reader->blockPos, kMaxPiece);
  if (taken == 0) {
    GatherPiece(reader);
    return true;
  }
  reader->blockPos += taken;
  reader->heldPos = reader->blockPos;  // the block has a spare byte at its end
  reader->heldByte = reader->block[reader->heldPos];
  reader->block[reader->heldPos] = '\0';
  reader->line = source;
  return true;
}

int Kanji_RowShift(int width) {
  int wholeBytes = std::max(8, (width + 7) / 8 * 8);
  return wholeBytes - width;
}

bool Kanji_RowCut(int32_t parsed, int width) {
  return (static_cast<uint32_t>(parsed) & ~RowKeptBits(width)) != 0;
}

int Kanji_ParseDecimal(const char* text) {
  int value;
  ReadDecimal(text, &value);
  return value;
}

// Saturates at 0xFFFFFFFF rather than 0x7FFFFFFF, so that four-byte rows of
// cells 25 to 32 pixels wide are held exactly; smaller rows are unaffected.
int32_t Kanji_ParseHexRow(const char* text) {
  const char* p = SkipSpace(text);
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigitValue(p[2]) >= 0) p += 2;
  uint64_t magnitude = 0;
  for (int digit; (digit = HexDigitValue(*p)) >= 0; ++p) {
    magnitude = magnitude * 16 + static_cast<uint64_t>(digit);
    if (magnitude > 0xFFFFFFFFu) magnitude = 0x100000000u;  // saturated, and stays so
  }
  if (negative)
    return static_cast<int32_t>(-static_cast<int64_t>(std::min<uint64_t>(magnitude, 0x80000000u)));
  return static_cast<int32_t>(static_cast<uint32_t>(std::min<uint64_t>(magnitude, 0xFFFFFFFFu)));
}

// The character set is settled at the first glyph: a two-byte set other than
// JIS X 0208 loads nothing.
void Kanji_ScanBdf(FontSet* font, BdfLineReader* reader, FontLoadReport* report) {
  FontHeader header{};
  const bool glyphFollows = ReadHeader(reader, &header);
  SettleCharset(header, report);
  CellPlacement cell;
  const bool placed = CellPlacementOf(header, &cell);
  std::vector<HeldGlyph> held;
  if (glyphFollows && report->charset != CharsetRefused)
    ScanGlyphs(font, reader, placed ? &cell : nullptr, &held, report);
  Kanji_PlaceHeldGlyphs(font, held, report);
}

// BDF, plain or gzip, is read here; PCF and sfnt fonts go to FreeType.
int Kanji_LoadFont(FontSet* font, const char* path, const FontLoadOptions* options,
                   FontLoadReport* report) {
  FontLoadReport ignored;
  if (report == nullptr) report = &ignored;
  const FontLoadOptions chosen = options != nullptr ? *options : FontLoadOptions{};
  StartReport(report);
  gzFile file = OpenFontFile(path);
  if (file == nullptr) {
    const int openError = errno;
    fprintf(stderr, "cant open [%s]\n", path);
    Kanji_SetError("cannot open %s: %s", path, strerror(openError));
    errno = openError;
    return -1;
  }
  BdfLineReader reader;
  Kanji_InitLineReader(&reader, file);
  int result = TakeFileKind(&reader, path, report) ? 0 : -1;
  const int kind = report->fileKind;
  const bool bdf = kind == FontFileBdf || kind == FontFileBdfGzip;
  if (result == 0 && bdf && chosen.face != 0) {
    Kanji_SetError("%s: no face %d; its faces are numbered from 0 to 0", path, chosen.face);
    result = -1;
  } else if (result == 0 && bdf) {
    Kanji_ScanBdf(font, &reader, report);
  } else if (result == 0 && kind == FontFileUnknown) {
    Kanji_SetError("%s: not a BDF, PCF, TrueType, OpenType or WOFF font", path);
    result = -1;
  }
  gzclose(file);
  if (result == 0 && !bdf) result = Kanji_LoadFreeTypeFont(font, path, chosen, report);
  return result;
}

int Kanji_LoadBdfWithReport(FontSet* font, const char* path, FontLoadReport* report) {
  return Kanji_LoadFont(font, path, nullptr, report);
}

int Kanji_LoadBdf(FontSet* font, const char* path) {
  return Kanji_LoadBdfWithReport(font, path, nullptr);
}

// A BDF has one face, named by FreeType where it reads the file.
int Kanji_ListFontFaces(const char* path, FontFaceName* faces, int room) {
  gzFile file = OpenFontFile(path);
  if (file == nullptr) {
    Kanji_SetError("cannot open %s: %s", path, strerror(errno));
    return -1;
  }
  BdfLineReader reader;
  Kanji_InitLineReader(&reader, file);
  FontLoadReport report{};
  const bool read = TakeFileKind(&reader, path, &report);
  gzclose(file);
  if (!read) return -1;
  if (report.fileKind == FontFileUnknown) {
    Kanji_SetError("%s: not a BDF, PCF, TrueType, OpenType or WOFF font", path);
    return -1;
  }
  const bool bdf = report.fileKind == FontFileBdf || report.fileKind == FontFileBdfGzip;
  const int count = Kanji_FreeTypeFaces(path, faces, room);
  if (!bdf || count == 1) return count;
  if (room > 0) faces[0] = FontFaceName{};
  return 1;
}

// ---- For fonts read elsewhere (PCF), the same rules as for BDF ---------------

void Kanji_SettleCharset(const char* registry, const char* encoding, const char* fontName,
                         FontLoadReport* report) {
  FontHeader header{};
  snprintf(header.properties.registry, sizeof header.properties.registry, "%s",
           registry != nullptr ? registry : "");
  snprintf(header.properties.encoding, sizeof header.properties.encoding, "%s",
           encoding != nullptr ? encoding : "");
  if (fontName != nullptr) {
    char line[256];
    snprintf(line, sizeof line, "FONT %s", fontName);  // as a BDF line would hold it
    ReadFontName(line, &header.fontName);
  }
  SettleCharset(header, report);
}

CodePlace Kanji_PlaceCode(int charset, int code) {
  const GlyphPlace place = PlaceCode(charset, code);
  return CodePlace{place.slot, place.halfWidth, place.jis};
}

void Kanji_NoteCut(FontLoadReport* report, int jis) { NoteCut(report, jis); }

// ---- The codes JIS X 0208 leaves free ------------------------------------------

bool Kanji_ReadsFreeCodes(const FontLoadReport& report) {
  const char* registry = report.registry;
  const bool jisX0213 = strncasecmp(registry, "JISX0213", 8) == 0 &&
                        (registry[8] == '\0' || registry[8] == '.' || registry[8] == '-');
  return report.charset == CharsetJis && !jisX0213;
}

namespace {

bool HasInk(const int32_t* rows, int size) {
  return std::any_of(rows, rows + size, [](int32_t row) { return row != 0; });
}

void FillSlot(FontSet* font, int jis, const int32_t* rows, bool cut, FontLoadReport* report) {
  std::copy(rows, rows + font->size, TakeSlot(font, Kanji_JisCodeSlot(jis)));
  ++report->glyphsLoaded;
  if (cut) NoteCut(report, jis);
}

}  // namespace

void Kanji_TakeFreeCodeGlyph(FontSet* font, int jis, const int32_t* rows, bool cut,
                             std::vector<HeldGlyph>* held, FontLoadReport* report) {
  const int target = Kanji_FreeCodeTarget(jis);
  if (target < 0 || !HasInk(rows, font->size)) {
    ++report->glyphsSkipped;
  } else if (target != jis) {
    held->push_back(HeldGlyph{target, cut, std::vector<int32_t>(rows, rows + font->size)});
  } else if (font->glyphs[Kanji_JisCodeSlot(jis)] == nullptr) {
    FillSlot(font, jis, rows, cut, report);
  }
}

void Kanji_PlaceHeldGlyphs(FontSet* font, const std::vector<HeldGlyph>& held,
                           FontLoadReport* report) {
  for (const HeldGlyph& glyph : held) {
    if (font->glyphs[Kanji_JisCodeSlot(glyph.jis)] != nullptr) {
      ++report->glyphsSkipped;
      continue;
    }
    FillSlot(font, glyph.jis, glyph.rows.data(), glyph.cut, report);
    ++report->glyphsMoved;
  }
}
