// The font library's own helpers: the BDF loader's pieces and number
// parsers. Exposed to the library's files and its tests, not installed.
#pragma once

#include "kanji.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <zlib.h>

// Hands out a BDF file as the pieces a 256-byte line buffer would see: at most
// 255 characters, a piece ends after its line feed. Reads in large blocks and
// hands out pieces in place where it can, copying only across block ends.
// Blocks come through zlib, which reads gzip data and plain files alike.
struct BdfLineReader {
  gzFile file;
  size_t blockLength;
  size_t blockPos;
  bool atEnd;
  size_t heldPos;  // position of the byte overwritten by a piece's terminator
  char heldByte;
  const char* line;  // current piece, zero-terminated (at its first zero byte)
  char piece[256];   // a piece that spans two blocks
  char block[65536 + 1];
};

// Records the reason Kanji_GetError gives, printf-style.
void Kanji_SetError(const char* format, ...) __attribute__((format(printf, 1, 2)));

void Kanji_InitLineReader(BdfLineReader* reader, gzFile file);
// False at end of file; otherwise the next piece is reader->line.
bool Kanji_NextLine(BdfLineReader* reader);

void Kanji_ClearGlyphs(FontSet* font);
// Reads glyphs until the end of the file; `report` (never null) counts them.
void Kanji_ScanBdf(FontSet* font, BdfLineReader* reader, FontLoadReport* report);
// What the first bytes of a file show, decompressed; `gzip` tells whether
// they were.
FontFileKind Kanji_FileKindOf(const unsigned char* bytes, size_t length, bool gzip);

// The rules of BDF for fonts read elsewhere. The character set from the
// font's CHARSET_REGISTRY, CHARSET_ENCODING and FONT values (null where
// absent) into the report's charset and registry fields.
void Kanji_SettleCharset(const char* registry, const char* encoding, const char* fontName,
                         FontLoadReport* report);
// Where a code of a font in `charset` goes: slot -1 for none.
struct CodePlace {
  int slot;
  bool halfWidth;
  int jis;  // the slot's JIS code
};
CodePlace Kanji_PlaceCode(int charset, int code);
// Counts a cut glyph, naming it among the first few.
void Kanji_NoteCut(FontLoadReport* report, int jis);

// A font whose codes are read as JIS X 0208's (any JIS set but JIS X 0213,
// or none named), whose glyphs at the codes JIS X 0208 leaves free are read
// by Kanji_FreeCodeTarget.
bool Kanji_ReadsFreeCodes(const FontLoadReport& report);
// A glyph that moves to another slot, held until the font's own codes are
// placed, so that it never takes the slot of the font's own glyph.
struct HeldGlyph {
  int jis;  // of its slot
  bool cut;
  std::vector<int32_t> rows;
};
// A glyph read into `rows` (a cell's worth) at free code `jis`: placed where
// it stays, held where it moves, counted as skipped when blank or without a
// slot.
void Kanji_TakeFreeCodeGlyph(FontSet* font, int jis, const int32_t* rows, bool cut,
                             std::vector<HeldGlyph>* held, FontLoadReport* report);
// The held glyphs into the slots still empty, in file order.
void Kanji_PlaceHeldGlyphs(FontSet* font, const std::vector<HeldGlyph>& held,
                           FontLoadReport* report);

// ---- Fonts read through FreeType (PCF, TrueType, OpenType) -------------------

// Loads a font of a FreeType kind into the empty slots; -1, with the reason
// recorded, when FreeType cannot read it or a bitmap-only font has no strike
// of the cell's size.
int Kanji_LoadFreeTypeFont(FontSet* font, const char* path, const FontLoadOptions& options,
                           FontLoadReport* report);
// Kanji_ListFontFaces for any file FreeType reads.
int Kanji_FreeTypeFaces(const char* path, FontFaceName* faces, int room);
// The pixel size a PCF or bitmap-only font names (see Kanji_FontPixelSize).
int Kanji_FreeTypePixelSize(const char* path);

// Shift that right-aligns a glyph of `width` pixels in its whole-byte BDF row.
int Kanji_RowShift(int width);
// True when a BDF row, as parsed, has ink outside a glyph of `width` pixels
// once shifted by Kanji_RowShift(width).
bool Kanji_RowCut(int32_t parsed, int width);
// BDF number parsers, saturating instead of overflowing.
int32_t Kanji_ParseHexRow(const char* text);

// ---- Placing a glyph by its box -----------------------------------------------
//
// A glyph's bitmap box (BBX: width, height, offsets from the origin) and the
// font values that put its lines into a cell: the rows above the baseline
// (FONT_ASCENT, or the FONTBOUNDINGBOX height plus its y offset) and the
// FONTBOUNDINGBOX x offset, the cell's left edge. Line k of a glyph goes to
// row ascent - (height + y) + k; its pixel c, bit 8n - 1 - c of its n =
// ceil(width / 8) bytes, to column c + x - boxX. Callers keep every value
// within +-kMaxBoxValue (the BDF reader clamps them).
struct GlyphBox {
  int width, height, x, y;
};
struct CellPlacement {
  int ascent;
  int boxX;
};
constexpr int kMaxBoxValue = 1 << 20;
constexpr int kMaxBoxLineBytes = 128;  // wider boxes are read as this wide

// Bytes of one bitmap line of a box `width` pixels wide.
int Kanji_BoxLineBytes(int width);
// True when the box puts line 0 at row 0 and pixel 0 at column 0 and its lines
// have at least the whole bytes of a glyph `width` wide (one at least): the
// glyph is then read as rows were always read, as numbers right-shifted by
// Kanji_RowShift, so that over-wide rows keep their bits.
bool Kanji_BoxReadsPlain(const GlyphBox& box, const CellPlacement& cell, int width);
// Places bitmap line `line` (Kanji_BoxLineBytes(box.width) bytes) into
// `rows` of a cell `size` rows high, whose row values are `width` wide; ink
// outside the cell is dropped. True when the line lost ink.
bool Kanji_PlaceBoxLine(const GlyphBox& box, const CellPlacement& cell, int line,
                        const uint8_t* bytes, int32_t* rows, int size, int width);
// A whole glyph of `lineCount` lines, each Kanji_BoxLineBytes(box.width)
// bytes, into zeroed `rows`: plainly where Kanji_BoxReadsPlain says so (a
// line wider than four bytes saturating as the BDF parser does), by the box
// elsewhere. True when the glyph lost ink.
bool Kanji_PlaceGlyph(const GlyphBox& box, const CellPlacement& cell, const uint8_t* lines,
                      int lineCount, int32_t* rows, int size, int width);

// ---- Unicode ----------------------------------------------------------------

// Where a pair of the generated table comes from.
enum UnicodeJisSource : uint8_t {
  UnicodeFromJisX0208 = 0,  // EUC-JP: the character of a JIS X 0208 code
  UnicodeFromJisX0213 = 1,  // EUC-JISX0213: a character of plane 1 beyond JIS X 0208
  UnicodeFromCp932 = 2,     // CP932's other code point for a JIS X 0208 character, or
                            // its character at a code JIS X 0208 leaves free
  UnicodeFromJisX0212 = 3   // JIS X 0212's character at a code JIS X 0208 leaves free
};

// A Unicode code point and the two-byte JIS code (0x2121 to 0x7E7E) of its
// slot. kUnicodeJisPairs is sorted by code point, each code point once;
// kUnicodeJisFallbacks holds CP932's slots for the code points JIS X 0213
// places elsewhere (U+FF5E: 0x2232 by JIS X 0213, 0x2141 by CP932).
struct UnicodeJisPair {
  uint32_t codePoint;
  uint16_t jis;
  UnicodeJisSource source;
};
extern const UnicodeJisPair kUnicodeJisPairs[];
extern const size_t kUnicodeJisPairsCount;
extern const UnicodeJisPair kUnicodeJisFallbacks[];
extern const size_t kUnicodeJisFallbacksCount;
// CP932's character, else JIS X 0212's, at the codes JIS X 0208 leaves
// free, sorted by JIS code.
extern const UnicodeJisPair kFreeCodeReadings[];
extern const size_t kFreeCodeReadingsCount;
// The plane-1 codes that hold a base letter and a combining mark, ascending.
extern const uint16_t kJisCombiningSequences[];
extern const size_t kJisCombiningSequenceCount;

// The slot of a JIS code as Kanji_UnicodeToJis gives it: codes below 256 are
// single-byte slots.
int Kanji_JisCodeSlot(int jis);
// CP932's JIS code for a code point JIS X 0213 places elsewhere; -1 for the rest.
int Kanji_UnicodeFallbackJis(int codePoint);
// A two-byte JIS code (both bytes 0x21 to 0x7E) that JIS X 0208 leaves free.
bool Kanji_IsFreeJisCode(int jis);
// Where a JIS X 0208 font's glyph at such a code goes: the JIS code of its
// slot (the code itself where it stays), or -1 where it has none.
int Kanji_FreeCodeTarget(int jis);
// A Unicode font's glyph for such a code point also fills CP932's slot while
// that is empty, so that JIS X 0208's slots get what they got before JIS X
// 0213 took the code point elsewhere.
void Kanji_FillFallbackSlot(FontSet* font, int codePoint, int slot);
