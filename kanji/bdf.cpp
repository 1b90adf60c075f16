// SPDX-License-Identifier: MIT
// BDF loading: the lines before the first glyph give the character set and
// where boxes sit in the cell; each glyph gives its ENCODING, BBX and the rows
// after its BITMAP line. The cell size comes from the caller, never from the
// file.
#include "kanji_internal.h"
#include "platform.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t kMaxPiece = 255;
constexpr size_t kNothingHeld = static_cast<size_t>(-1);

// zlib's reason without the "<fd:4>: " it puts before it for a file opened
// by its descriptor.
const char* ZlibReason(gzFile file, int* code) {
  const char* text = gzerror(file, code);
  const char* after = strncmp(text, "<fd:", 4) == 0 ? strstr(text, ">: ") : nullptr;
  return after != nullptr ? after + 3 : text;
}

// Ends reading before the end of the file, saying why.
bool StopReading(BdfLineReader* reader, const char* format, const char* detail) {
  snprintf(reader->failure, sizeof reader->failure, format, detail);
  reader->atEnd = true;
  reader->blockLength = 0;
  return false;
}

// Up to `room` bytes of the font into `into`: their number, 0 at its end. A
// damaged gzip stream or a failing read ends the file where the trouble
// starts, and so does text past kMaxFontBytes; each is noted as a failure.
size_t ReadOn(BdfLineReader* reader, char* into, unsigned room) {
  if (reader->atEnd) return 0;
  const int got = gzread(reader->file, into, room);
  if (got > 0) {
    reader->bytesRead += static_cast<size_t>(got);
    if (reader->bytesRead <= kMaxFontBytes) return static_cast<size_t>(got);
    return StopReading(reader, "more than %s of text; a font is not read past that", "256 MiB");
  }
  int code = Z_OK;
  const char* reason = ZlibReason(reader->file, &code);
  if (got < 0 || code != Z_OK)
    return StopReading(
        reader, gzdirect(reader->file) ? "cannot read it: %s" : "broken gzip data: %s", reason);
  reader->atEnd = true;
  return false;
}

bool RefillBlock(BdfLineReader* reader) {
  reader->blockPos = 0;
  reader->blockLength = ReadOn(reader, reader->block, sizeof reader->block - 1);
  return reader->blockLength > 0;
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

// BITMAP anywhere in the line starts the bitmap, as it always has. Only
// where a 'B' stands is the rest compared.
bool HasBitmapWord(const char* line) {
  for (const char* p = strchr(line, 'B'); p != nullptr; p = strchr(p + 1, 'B'))
    if (p[1] == 'I' && p[2] == 'T' && p[3] == 'M' && p[4] == 'A' && p[5] == 'P') return true;
  return false;
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
  GlyphTarget target;
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

// A bitmap line read plainly, as parsed, into its row; the CutSide bits it
// loses.
[[gnu::always_inline]] inline uint8_t TakePlainRow(GlyphLines* glyph, int32_t parsed) {
  const int line = glyph->next;
  glyph->next = std::min(line + 1, kLastLine);
  if (line >= glyph->target.last) return parsed != 0 ? CutBottom : 0;
  glyph->target.rows[line] = parsed >> glyph->shift;
  if ((static_cast<uint32_t>(parsed) & ~glyph->kept) == 0) return 0;
  return Kanji_PlainRowSides(parsed, glyph->target.width);
}

// One bitmap line into its row; the CutSide bits it loses.
uint8_t TakeLine(GlyphLines* glyph, const char* text) {
  if (glyph->box == nullptr) return TakePlainRow(glyph, Kanji_ParseHexRow(text));
  const int line = glyph->next;
  glyph->next = std::min(line + 1, kLastLine);
  uint8_t bytes[kMaxBoxLineBytes];
  ParseLineBytes(text, bytes, Kanji_BoxLineBytes(glyph->box->width));
  return Kanji_PlaceBoxLine(*glyph->box, glyph->cell, line, bytes, glyph->target);
}

struct GlyphEnd {
  uint8_t cut;      // the CutSide bits its lines lost
  bool atEncoding;  // a glyph without ENDCHAR: the reader's line starts the next
};

// Up to the target's last row only ENDCHAR ends a glyph early (cropped and
// blank glyphs are common); rows not reached stay 0. Lines after it are read
// only for their ink, up to ENDCHAR or, where that is missing, the next
// ENCODING.
GlyphEnd ReadGlyphLines(GlyphLines* glyph, BdfLineReader* reader) {
  uint8_t cut = 0;
  while (glyph->top + glyph->next < glyph->target.last) {
    uint32_t row;
    if (glyph->box == nullptr && TakeHexLine(reader, &row)) {
      cut |= TakePlainRow(glyph, static_cast<int32_t>(row));
      continue;
    }
    if (!Kanji_NextLine(reader) || IsEndcharLine(reader->line)) return GlyphEnd{cut, false};
    cut |= TakeLine(glyph, reader->line);
  }
  while (Kanji_NextLine(reader)) {
    if (IsEndcharLine(reader->line)) return GlyphEnd{cut, false};
    if (IsEncodingLine(reader->line)) return GlyphEnd{cut, true};
    cut |= TakeLine(glyph, reader->line);
  }
  return GlyphEnd{cut, false};
}

GlyphEnd ReadGlyph(const GlyphTarget& target, const GlyphBox* box, const CellPlacement* cell,
                   BdfLineReader* reader) {
  const int width = target.width;
  const bool byBox = box != nullptr && cell != nullptr && !Kanji_BoxReadsPlain(*box, *cell, width);
  GlyphLines glyph{target, nullptr, {0}, 0, 0, Kanji_RowShift(width), RowKeptBits(width)};
  if (byBox) {
    glyph.box = box;
    glyph.cell = *cell;
    glyph.top = cell->ascent - (box->height + box->y);
  }
  return ReadGlyphLines(&glyph, reader);
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
  int namePixelSize;        // and the pixel size it names, 0 for none
  int pixelSize;            // PIXEL_SIZE, 0 for none
  bool hasAscent;
  int ascent;
  int descent;  // FONT_DESCENT, 0 for none
  bool hasBox;
  GlyphBox box;  // FONTBOUNDINGBOX
};

void ReadHeaderLine(const char* line, FontHeader* header) {
  ReadCharsetProperty(line, &header->properties);
  if (IsPropertyLine(line, "FONT")) {
    ReadFontName(line, &header->fontName);
    header->namePixelSize = Kanji_XlfdPixelSize(SkipSpace(line + 4));
  } else if (IsPropertyLine(line, "PIXEL_SIZE")) {
    ReadNumbers(line + 10, &header->pixelSize, 1);
  } else if (IsPropertyLine(line, "FONT_DESCENT")) {
    ReadNumbers(line + 12, &header->descent, 1);
  } else if (IsPropertyLine(line, "FONT_ASCENT")) {
    header->hasAscent = true;
    ReadNumbers(line + 11, &header->ascent, 1);
  } else if (IsPropertyLine(line, "FONTBOUNDINGBOX")) {
    header->hasBox = true;
    header->box = ReadBox(line + 15);
  }
}

// Boxes are placed only in a font that says where its baseline lies, or
// whose baseline the caller gives.
bool CellPlacementOf(const FontHeader& header, int givenBaseline, CellPlacement* cell) {
  if (givenBaseline >= 0) {
    cell->ascent = givenBaseline;
    return true;
  }
  if (!header.hasAscent && !header.hasBox) return false;
  cell->ascent = header.hasAscent ? header.ascent : header.box.height + header.box.y;
  return true;
}

// The size the font names: its XLFD name's, else PIXEL_SIZE, else its box's height.
int NamedSize(const FontHeader& header) {
  if (header.namePixelSize > 0) return header.namePixelSize;
  if (header.pixelSize > 0) return header.pixelSize;
  return header.hasBox ? std::max(header.box.height, 0) : 0;
}

// What the header tells the fit: a bitmap font is fitted only at its own size or larger.
void SettleStage(const FontHeader& header, const CellPlacement* cell, GlyphStage* stage) {
  stage->namedSize = NamedSize(header);
  const int extent = header.hasAscent ? header.ascent + header.descent : 0;
  stage->sizeLimit = std::clamp(std::max(extent, header.hasBox ? header.box.height : 0), 0,
                                static_cast<int>(MaxCellSize));
  stage->baseline = cell != nullptr ? cell->ascent : -1;
  stage->fittable = cell != nullptr && stage->namedSize > 0 && stage->size >= stage->namedSize;
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
  while (!HasBitmapWord(reader->line)) {
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

// `cell` is null in a font whose boxes are not placed.
void ScanGlyphs(FontSet* font, BdfLineReader* reader, const CellPlacement* cell,
                FontLoadReport* report, GlyphStage* stage) {
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
      const GlyphEnd end =
          ReadGlyph(Kanji_ScratchTarget(stage, font->size), boxed ? &box : nullptr, cell, reader);
      Kanji_StageFreeCodeGlyph(stage, font, place.jis, end.cut, report);
      lineHeld = end.atEncoding;
      continue;
    }
    if (font->glyphs[place.slot] != nullptr) continue;
    const int width = place.halfWidth ? font->halfWidth : font->size;
    const GlyphTarget target = Kanji_StageSlot(stage, font, place.slot, width);
    const GlyphEnd end = ReadGlyph(target, boxed ? &box : nullptr, cell, reader);
    ++report->glyphsLoaded;
    Kanji_StageGlyph(stage, place.slot, place.jis, end.cut);
    if (report->charset == CharsetUnicode) Kanji_StageFallback(stage, font, code, place.slot);
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
  report->baseline = -1;
}

}  // namespace

void Kanji_InitLineReader(BdfLineReader* reader, gzFile file) {
  reader->file = file;
  reader->blockLength = 0;
  reader->blockPos = 0;
  reader->atEnd = false;
  reader->bytesRead = 0;
  reader->failure[0] = '\0';
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
void Kanji_ScanBdf(FontSet* font, BdfLineReader* reader, FontLoadReport* report,
                   GlyphStage* stage) {
  FontHeader header{};
  const bool glyphFollows = ReadHeader(reader, &header);
  SettleCharset(header, report);
  CellPlacement cell;
  const bool placed = CellPlacementOf(header, stage->givenBaseline, &cell);
  SettleStage(header, placed ? &cell : nullptr, stage);
  if (glyphFollows && report->charset != CharsetRefused)
    ScanGlyphs(font, reader, placed ? &cell : nullptr, report, stage);
}

// Every format is opened here, so that a font is read once, whatever it is:
// FreeType is given the file's bytes where it could not read the file
// again by its name (a pipe), or would have to undo gzip itself.
bool Kanji_OpenFont(const char* path, BdfLineReader* reader, OpenedFont* opened, bool* openFailed) {
  *openFailed = false;
  Kanji_InitLineReader(reader, nullptr);
  const int fd = OpenForReading(path);
  FileFacts info;
  const bool looked = fd >= 0 && FactsOfDescriptor(fd, info);
  if (!looked && errno != EISDIR) {  // Windows refuses to open a folder
    const int openError = errno;
    if (fd >= 0) close(fd);
    Kanji_SetError("cannot open %s: %s", path, strerror(openError));
    *openFailed = true;
    errno = openError;
    return false;
  }
  if (!looked || info.kind == FileKind::Folder) {  // Linux opens it, but reads nothing
    if (fd >= 0) close(fd);
    Kanji_SetError("%s: is a folder", path);
    *openFailed = true;
    errno = EISDIR;
    return false;
  }
  reader->file = gzdopen(fd, "rb");
  if (reader->file == nullptr) {
    close(fd);
    Kanji_SetError("%s: not enough memory to read it", path);
    errno = ENOMEM;
    return false;
  }
  opened->regular = info.kind == FileKind::Regular;
  opened->descriptor = fd;
  opened->size = static_cast<size_t>(info.size);
  if (!RefillBlock(reader) && Kanji_ReadFailed(reader, path)) {
    Kanji_CloseFont(reader);
    return false;
  }
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(reader->block);
  opened->kind = Kanji_FileKindOf(bytes, reader->blockLength, gzdirect(reader->file) == 0);
  return true;
}

void Kanji_CloseFont(BdfLineReader* reader) {
  if (reader->file != nullptr) gzclose(reader->file);
  reader->file = nullptr;
}

bool Kanji_ReadFailed(const BdfLineReader* reader, const char* path) {
  if (reader->failure[0] == '\0') return false;
  Kanji_SetError("%s: %s", path, reader->failure);
  return true;
}

FontBytes::~FontBytes() { UnmapFile(mapped, mappedSize); }

bool Kanji_TakeFontBytes(BdfLineReader* reader, const OpenedFont& opened, const char* path,
                         FontBytes* bytes) {
  if (opened.regular && opened.kind != FontFilePcfGzip) {
    if (opened.size > kMaxFontBytes) {
      Kanji_SetError("%s: more than 256 MiB; a font is not read past that", path);
      return false;
    }
    void* mapped = MapFileForReading(opened.descriptor, opened.size);
    if (mapped == nullptr) {
      if (errno == ENOMEM) {
        Kanji_SetError("%s: not enough memory to read it", path);
      } else {
        Kanji_SetError("%s: cannot read it: %s", path, strerror(errno));
      }
      return false;
    }
    bytes->mapped = mapped;
    bytes->mappedSize = opened.size;
    return true;
  }
  ReleaseHeldByte(reader);
  // The rest is read straight into room made ahead, unwritten until then: a
  // gzip font inflates to a few times its size.
  std::vector<unsigned char, UnwrittenAllocator<unsigned char>>& read = bytes->read;
  constexpr unsigned kChunk = sizeof reader->block - 1;
  if (opened.regular) read.reserve(std::min(kMaxFontBytes, 4 * opened.size) + kChunk);
  const auto* block = reinterpret_cast<const unsigned char*>(reader->block);
  read.assign(block + reader->blockPos, block + reader->blockLength);
  for (size_t got = 1; got > 0;) {
    const size_t at = read.size();
    read.resize(at + kChunk);
    got = ReadOn(reader, reinterpret_cast<char*>(read.data() + at), kChunk);
    read.resize(at + got);
  }
  return !Kanji_ReadFailed(reader, path);
}

FreeTypeSource Kanji_FreeTypeSourceOf(const FontBytes& bytes, const char* path) {
  if (bytes.mapped != nullptr)
    return FreeTypeSource{path, static_cast<const unsigned char*>(bytes.mapped), bytes.mappedSize};
  return FreeTypeSource{path, bytes.read.data(), bytes.read.size()};
}

namespace {

bool ReadByFreeType(int kind) {
  return kind != FontFileBdf && kind != FontFileBdfGzip && kind != FontFileUnknown;
}

int ListFaces(const char* path, BdfLineReader* reader, FontFaceName* faces, int room) {
  OpenedFont opened;
  bool openFailed;
  if (!Kanji_OpenFont(path, reader, &opened, &openFailed)) return -1;
  int count = -1;
  FontBytes bytes;
  if (opened.kind == FontFileUnknown) {
    Kanji_SetError(kNotAFontReason, path);
  } else if (Kanji_TakeFontBytes(reader, opened, path, &bytes)) {
    count = Kanji_FreeTypeFaces(Kanji_FreeTypeSourceOf(bytes, path), faces, room);
    if (!ReadByFreeType(opened.kind) && count != 1) {  // FreeType reads no gzip BDF
      if (room > 0) faces[0] = FontFaceName{};
      count = 1;
    }
  }
  Kanji_CloseFont(reader);
  return count;
}

int LoadFont(FontSet* font, const char* path, BdfLineReader* reader, const FontLoadOptions& options,
             FontLoadReport* report, GlyphStage* stage) {
  OpenedFont opened;
  bool openFailed;
  if (!Kanji_OpenFont(path, reader, &opened, &openFailed)) {
    const int openError = errno;
    if (openFailed) fprintf(stderr, "cant open [%s]\n", path);
    errno = openError;
    return -1;
  }
  report->fileKind = opened.kind;
  int result = 0;
  FontBytes bytes;
  if (opened.kind == FontFileUnknown) {
    Kanji_SetError(kNotAFontReason, path);
    result = -1;
  } else if (!ReadByFreeType(opened.kind) && options.face != 0) {
    Kanji_SetError("%s: no face %d; its faces are numbered from 0 to 0", path, options.face);
    result = -1;
  } else if (!ReadByFreeType(opened.kind)) {
    if (!Kanji_StartStage(stage, font->size, stage->givenBaseline)) {
      result = -1;
    } else {
      Kanji_ScanBdf(font, reader, report, stage);
      if (Kanji_ReadFailed(reader, path) || !Kanji_CommitStage(stage, font, report)) result = -1;
    }
  } else if (!Kanji_TakeFontBytes(reader, opened, path, &bytes)) {
    result = -1;
  }
  Kanji_CloseFont(reader);
  if (result == 0 && ReadByFreeType(opened.kind))
    result =
        Kanji_LoadFreeTypeFont(font, Kanji_FreeTypeSourceOf(bytes, path), options, report, stage);
  return result;
}

// A refused load leaves the font set as it found it.
void EmptySlotsFilledSince(FontSet* font, const std::vector<bool>& wasEmpty,
                           FontLoadReport* report) {
  for (int slot = 0; slot < GlyphSlotCount; ++slot)
    if (wasEmpty[slot]) font->glyphs[slot] = nullptr;
  report->glyphsLoaded = report->glyphsCut = report->glyphsMoved = report->glyphsSkipped = 0;
}

}  // namespace

// No exception leaves here: running out of memory is a refusal like others.
// BDF, plain or gzip, is read here; PCF and sfnt fonts go to FreeType.
int Kanji_LoadStaged(FontSet* font, const char* path, const FontLoadOptions& options,
                     FontLoadReport* report, GlyphStage* stage) {
  FontLoadReport ignored;
  if (report == nullptr) report = &ignored;
  StartReport(report);
  if (font == nullptr || path == nullptr) {
    Kanji_SetError("no font set or no path to load");
    return -1;
  }
  int result = -1;
  std::vector<bool> wasEmpty;
  BdfLineReader* reader = nullptr;
  try {
    wasEmpty.resize(GlyphSlotCount);
    for (int slot = 0; slot < GlyphSlotCount; ++slot)
      wasEmpty[slot] = font->glyphs[slot] == nullptr;
    reader = new BdfLineReader;
    Kanji_InitLineReader(reader, nullptr);
    stage->givenBaseline = options.baselineGiven != 0 ? options.baseline : -1;
    result = LoadFont(font, path, reader, options, report, stage);
  } catch (const std::bad_alloc&) {
    if (reader != nullptr) Kanji_CloseFont(reader);
    Kanji_SetError("%s: not enough memory to read it", path);
    errno = ENOMEM;
  }
  delete reader;
  if (result != 0 && !wasEmpty.empty()) EmptySlotsFilledSince(font, wasEmpty, report);
  return result;
}

namespace {

// False, with the reason, for options no load can follow.
bool OptionsHold(const FontSet* font, const FontLoadOptions& options) {
  if (options.face < 0) {
    Kanji_SetError("face %d: faces are numbered from 0", options.face);
    return false;
  }
  if (options.rendering < RenderMono || options.rendering > RenderThreshold) {
    Kanji_SetError("no outline rendering %d", options.rendering);
    return false;
  }
  if (font != nullptr && options.baselineGiven != 0 &&
      (options.baseline < 0 || options.baseline > font->size)) {
    Kanji_SetError("baseline %d lies outside the %d-pixel cell (0 to %d)", options.baseline,
                   font->size, font->size);
    return false;
  }
  return true;
}

}  // namespace

int Kanji_LoadFont(FontSet* font, const char* path, const FontLoadOptions* options,
                   FontLoadReport* report) {
  const FontLoadOptions chosen = options != nullptr ? *options : FontLoadOptions{};
  if (!OptionsHold(font, chosen)) return -1;
  GlyphStage stage;
  return Kanji_LoadStaged(font, path, chosen, report, &stage);
}

int Kanji_LoadBdfAtBaseline(FontSet* font, const char* path, int baseline, FontLoadReport* report) {
  FontLoadOptions options{};
  options.baselineGiven = baseline != -1;
  options.baseline = baseline;
  return Kanji_LoadFont(font, path, &options, report);
}

int Kanji_LoadBdfWithReport(FontSet* font, const char* path, FontLoadReport* report) {
  return Kanji_LoadFont(font, path, nullptr, report);
}

// A BDF has one face; FreeType names it where it reads the file.
int Kanji_ListFontFaces(const char* path, FontFaceName* faces, int room) {
  if (path == nullptr || (faces == nullptr && room > 0)) {
    Kanji_SetError("no path, or no room for the faces");
    return -1;
  }
  int count = -1;
  BdfLineReader* reader = nullptr;
  try {
    reader = new BdfLineReader;
    count = ListFaces(path, reader, faces, room);
  } catch (const std::bad_alloc&) {
    if (reader != nullptr) Kanji_CloseFont(reader);
    Kanji_SetError("%s: not enough memory to read it", path);
    count = -1;
  }
  delete reader;
  return count;
}

int Kanji_LoadBdf(FontSet* font, const char* path) {
  return Kanji_LoadBdfWithReport(font, path, nullptr);
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

bool Kanji_ReadsFreeCodes(const FontLoadReport& report) {
  const char* registry = report.registry;
  const bool jisX0213 = strncasecmp(registry, "JISX0213", 8) == 0 &&
                        (registry[8] == '\0' || registry[8] == '.' || registry[8] == '-');
  return report.charset == CharsetJis && !jisX0213;
}
