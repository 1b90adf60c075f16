// SPDX-License-Identifier: MIT
// The font library's own helpers: the BDF loader's pieces and number
// parsers. Exposed to the library's files and its tests, not installed.
#pragma once

#include "kanji.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include <zlib.h>

// No font is read past this much text (after gzip): more is a gzip bomb or
// a file that is no font, and reading it on would take minutes.
constexpr size_t kMaxFontBytes = size_t{256} << 20;

struct GlyphStage;

// Hands out a BDF file as the pieces a 256-byte line buffer would see: at most
// 255 characters, a piece ends after its line feed. Reads in large blocks and
// hands out pieces in place where it can, copying only across block ends.
// Blocks come through zlib, which reads gzip data and plain files alike.
// Reading stops early at a gzip or read error and at kMaxFontBytes; `failure`
// then says why (see Kanji_ReadFailed).
struct BdfLineReader {
  gzFile file;
  size_t blockLength;
  size_t blockPos;
  bool atEnd;
  size_t bytesRead;   // text taken from the file so far
  char failure[128];  // empty while reading has not stopped early
  size_t heldPos;     // position of the byte overwritten by a piece's terminator
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

// A font file opened for reading, its first block read into the reader.
struct OpenedFont {
  FontFileKind kind;
  bool regular;  // a plain file, which can be mapped
  int descriptor;
  size_t size;  // of a plain file
};
// Opens the font and reads its first block to tell its kind; false, with the
// reason recorded and the reader closed, when it cannot be opened or is a
// folder (errno set, *openFailed true), or breaks off before giving anything.
bool Kanji_OpenFont(const char* path, BdfLineReader* reader, OpenedFont* opened, bool* openFailed);
void Kanji_CloseFont(BdfLineReader* reader);
// True, with the reason recorded, when reading stopped before the end of the
// file: broken gzip data, a read error, or more than kMaxFontBytes.
bool Kanji_ReadFailed(const BdfLineReader* reader, const char* path);

// An allocator whose elements made without a value are left unwritten, so
// that room for bytes about to be read costs nothing until they come.
template <class T>
struct UnwrittenAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UnwrittenAllocator<U>;
  };
  void construct(T*) noexcept {}
  template <class... Args>
  void construct(T* p, Args&&... args) {
    ::new (static_cast<void*>(p)) T(std::forward<Args>(args)...);
  }
};
// A font's bytes for FreeType, which reads every format from memory: a plain
// file mapped (as FreeType would map it), anything else read once, whole,
// with gzip undone. A pipe is not read twice and gzip data is inflated once.
struct FontBytes {
  std::vector<unsigned char, UnwrittenAllocator<unsigned char>> read;
  void* mapped = nullptr;
  size_t mappedSize = 0;
  FontBytes() = default;
  FontBytes(const FontBytes&) = delete;
  FontBytes& operator=(const FontBytes&) = delete;
  ~FontBytes();
};
// From where the reader stands (its current block included); false, with
// the reason recorded, as Kanji_ReadFailed, or when memory runs out.
bool Kanji_TakeFontBytes(BdfLineReader* reader, const OpenedFont& opened, const char* path,
                         FontBytes* bytes);

void Kanji_ClearGlyphs(FontSet* font);
// Reads glyphs until the end of the file into the stage; `report` (never
// null) counts them.
void Kanji_ScanBdf(FontSet* font, BdfLineReader* reader, FontLoadReport* report, GlyphStage* stage);
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

// ---- Fonts read through FreeType (PCF, TrueType, OpenType) -------------------

// The reason a file of none of the known kinds is refused, given its path.
constexpr char kNotAFontReason[] = "%s: not a BDF, PCF, TrueType, OpenType or WOFF font";

// A font for FreeType: its bytes, and the path that names it in reasons.
struct FreeTypeSource {
  const char* path;
  const unsigned char* bytes;
  size_t size;
};
FreeTypeSource Kanji_FreeTypeSourceOf(const FontBytes& bytes, const char* path);
// Loads a font of a FreeType kind into the empty slots; -1, with the reason
// recorded, when FreeType cannot read it or a bitmap-only font has no strike
// of the cell's size.
int Kanji_LoadFreeTypeFont(FontSet* font, const FreeTypeSource& source,
                           const FontLoadOptions& options, FontLoadReport* report,
                           GlyphStage* stage);
// The pixel size a PCF or bitmap-only font names (see Kanji_FontPixelSize),
// where it comes from, and the most it may grow to (0 for a strike).
int Kanji_FreeTypePixelSize(const FreeTypeSource& font, FontSizeSource* from, int* limit);
// Kanji_ListFontFaces for any font FreeType reads.
int Kanji_FreeTypeFaces(const FreeTypeSource& font, FontFaceName* faces, int room);

// Shift that right-aligns a glyph of `width` pixels in its whole-byte BDF row.
inline int Kanji_RowShift(int width) { return std::max(8, (width + 7) / 8 * 8) - width; }
// BDF number parsers, saturating instead of overflowing.
int32_t Kanji_ParseHexRow(const char* text);

// ---- Placing a glyph by its box -----------------------------------------------
//
// A glyph's bitmap box (BBX: width, height, offsets from the origin) and the
// rows above the baseline (FONT_ASCENT, or the FONTBOUNDINGBOX height plus
// its y offset) put its lines into a cell. The origin lies at the cell's left
// edge: line k of a glyph goes to row ascent - (height + y) + k, its pixel c,
// bit 8n - 1 - c of its n = ceil(width / 8) bytes, to column c + x. Callers
// keep every value within +-kMaxBoxValue (the BDF reader clamps them).
struct GlyphBox {
  int width, height, x, y;
};
struct CellPlacement {
  int ascent;
};
constexpr int kMaxBoxValue = 1 << 20;
constexpr int kMaxBoxLineBytes = 128;  // wider boxes are read as this wide

// The sides of its cell a glyph lost ink on.
enum CutSide : uint8_t { CutTop = 1, CutBottom = 2, CutLeft = 4, CutRight = 8 };

// Where a glyph's rows go: rows[first] to rows[last - 1], row 0 the cell's
// top (first <= 0 < size <= last, so that ink a little above or below the
// cell is kept for the fit), each `width` pixels wide.
struct GlyphTarget {
  int32_t* rows;
  int first, last;
  int width;
};

// Bytes of one bitmap line of a box `width` pixels wide.
int Kanji_BoxLineBytes(int width);
// True when the box puts line 0 at row 0 and pixel 0 at column 0 and its lines
// have exactly the bytes of a glyph `width` wide (one at least): the glyph is
// then read as rows were always read, as numbers right-shifted by
// Kanji_RowShift.
bool Kanji_BoxReadsPlain(const GlyphBox& box, const CellPlacement& cell, int width);
// The CutSide bits of a row read plainly, as parsed, for a glyph `width` wide.
uint8_t Kanji_PlainRowSides(int32_t parsed, int width);
// Places bitmap line `line` (Kanji_BoxLineBytes(box.width) bytes); ink outside
// the target's rows or columns is dropped. Returns the CutSide bits it lost.
uint8_t Kanji_PlaceBoxLine(const GlyphBox& box, const CellPlacement& cell, int line,
                           const uint8_t* bytes, const GlyphTarget& target);
// A whole glyph of `lineCount` lines, each Kanji_BoxLineBytes(box.width)
// bytes, `stride` bytes apart (0: as many as a line has), into zeroed target
// rows: plainly where Kanji_BoxReadsPlain says so (a line wider than four
// bytes saturating as the BDF parser does), by the box elsewhere. Returns
// the CutSide bits it lost.
uint8_t Kanji_PlaceGlyph(const GlyphBox& box, const CellPlacement& cell, const uint8_t* lines,
                         int lineCount, const GlyphTarget& target, size_t stride = 0);

// ---- A load's glyphs, placed and then fitted ----------------------------------
//
// A load places its glyphs by the font's rule into a stage whose rows reach
// `margin` rows above and below the cell; the font set's slots point into it
// until Kanji_CommitStage moves every glyph by the fit's shift (one pass
// over the placed rows) into the font set's own rows.
struct StagedGlyph {
  int16_t slot;
  uint16_t jis;
  uint8_t lost;              // CutSide bits lost however the glyph is moved
  uint8_t edges;             // CutTop and CutBottom where it stands
  bool counted;              // a loaded glyph, not a copy into a fallback slot
  int8_t inkTop, inkBottom;  // cell rows of its first and last ink; top > bottom for none
};
struct HeldGlyph {
  int jis;  // of its slot
  uint8_t lost;
  std::vector<int32_t> rows;
};
struct GlyphStage {
  int size = 0, margin = 0;
  // size + 2 margin rows for each staged slot, from blocks small enough to
  // come and go without moving the allocator's thresholds.
  std::vector<int32_t*> slotRows;
  std::vector<std::unique_ptr<int32_t[]>> blocks;
  size_t rowsLeft = 0;               // in the last block
  std::unique_ptr<int32_t[]> spare;  // the rows of a glyph met without memory for it
  bool outOfMemory = false;
  std::vector<StagedGlyph> glyphs;  // in load order
  bool inkFound = false;            // their inkTop and inkBottom are known
  // What the load found out about the font's size and baseline.
  int namedSize = 0;       // a bitmap font's own size; 0 for none
  int sizeLimit = 0;       // FONT_ASCENT + FONT_DESCENT or its box's height, the most
                           // it may grow to so that its glyphs fit
  int baseline = -1;       // the rule's baseline; -1 where glyphs have none
  bool fittable = false;   // an outline font, or a bitmap font at its own size or larger
  int givenBaseline = -1;  // the caller's, or -1
  // Glyphs at codes JIS X 0208 leaves free that go to another slot, each
  // size + 2 margin rows: placed at the commit, once the font's own codes
  // are, so that they never take the slot of the font's own glyph.
  std::vector<HeldGlyph> held;
  std::vector<bool> heldSlots;  // a slot some held glyph goes to: only the first is held
  std::vector<int32_t> scratch;
};

// False, with the reason recorded, without memory for it.
bool Kanji_StartStage(GlyphStage* stage, int size, int givenBaseline);
// Rows for a slot before it is placed, so that threads placing glyphs into
// their own slots never allocate.
void Kanji_ReserveSlot(GlyphStage* stage, int slot);
// A slot's target, its rows zeroed; the slot points into the stage from now on.
GlyphTarget Kanji_StageSlot(GlyphStage* stage, FontSet* font, int slot, int width);
// Records a glyph the load placed into a staged slot.
void Kanji_StageGlyph(GlyphStage* stage, int slot, int jis, uint8_t lost);
// A Unicode font's glyph for a code point of Kanji_UnicodeFallbackJis also
// fills CP932's slot while that is empty, so that JIS X 0208's slots get what
// they got before JIS X 0213 took the code point elsewhere.
void Kanji_StageFallback(GlyphStage* stage, FontSet* font, int codePoint, int slot);
// Zeroed rows of the stage's height for a glyph whose slot is not known yet.
GlyphTarget Kanji_ScratchTarget(GlyphStage* stage, int width);
// The glyph in the scratch rows, read at code `jis` that JIS X 0208 leaves
// free in a font that reads such codes (Kanji_ReadsFreeCodes): staged where
// it stays, held where it moves, counted as skipped when it is blank, has no
// slot, or its slot is already held.
void Kanji_StageFreeCodeGlyph(GlyphStage* stage, FontSet* font, int jis, uint8_t lost,
                              FontLoadReport* report);
// Places the held glyphs into the slots still empty, then fits the staged
// glyphs (unless the baseline was given, or the font may not be fitted),
// writes them into the font set and counts the cut into the report. Always
// called once a stage is started, also after a failure; false, with the
// reason recorded, when memory ran out on the way.
bool Kanji_CommitStage(GlyphStage* stage, FontSet* font, FontLoadReport* report);
// After a commit: how many two-byte glyphs (all, where there are none) would
// lose ink at the top or bottom of a cell `size` rows high after the fit,
// and how many there are.
int Kanji_LeastVerticalCut(GlyphStage* stage, int size, int* considered);
// Kanji_LoadBdfWithReport that keeps its stage for the caller to look into.
int Kanji_LoadStaged(FontSet* font, const char* path, const FontLoadOptions& options,
                     FontLoadReport* report, GlyphStage* stage);

// The pixel size field of an XLFD font name ("-misc-fixed-medium-r-normal--16-..."); 0 for none.
int Kanji_XlfdPixelSize(const char* name);

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
