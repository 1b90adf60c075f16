// SPDX-License-Identifier: MIT
/* Bitmap font library: a fixed table of glyph slots filled from BDF files,
 * Japanese text encodings, and text drawing onto SDL 1.2 surfaces.
 *
 * Return convention: creating operations return null on failure, font loads
 * return -1 for a file that cannot be opened or read as a font, drawing
 * always returns 0.
 * Every failure also records its reason for Kanji_GetError.
 * A null pointer where a font set, path, stream, name or text is asked for
 * gives that failure result (null, -1, 0, or nothing drawn or changed), and
 * no call lets an exception out: running out of memory is a failure too.
 *
 * This header is C99 as well as C++: every Kanji_ operation has C linkage. */
#ifndef TAVREST_KANJI_H
#define TAVREST_KANJI_H

#include <SDL.h>

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
  GlyphSlotCount = 9472,
  /* Row values are 32 bits wide, so no cell may be wider or taller than this. */
  MaxCellSize = 32
};

typedef enum TextEncoding {
  EncodingShiftJis = 0,
  EncodingEuc = 1,
  EncodingJis = 2,
  EncodingUtf8 = 3
} TextEncoding;

typedef struct FontSet {
  int size;      /* cell height, and width of a two-byte glyph */
  int halfWidth; /* width of a single-byte glyph: size / 2 */
  int encoding;  /* a TextEncoding value for the drawing operations */
  /* Each slot is null or owns `size` row values, row 0 at the top. In a glyph
   * of width W, column j (0 = leftmost) is bit W - 1 - j. */
  int32_t* glyphs[GlyphSlotCount];
  /* Backing store of every slot's rows, `size` values per slot, so that
   * loading never fails half way for want of memory. */
  int32_t* rowPool;
} FontSet;

/* ---- Errors --------------------------------------------------------------- */

/* The reason for the last failure of a library operation on this thread, one
 * line without a line feed, in the manner of SDL_GetError: "cannot open
 * x.bdf: No such file or directory", "x.qpk: a packet runs past the stream".
 * Empty before any failure and after Kanji_ClearError; a success does not
 * clear it. The library itself prints only "cant open" and the RenderText
 * line below. */
const char* Kanji_GetError(void);
void Kanji_ClearError(void);

/* ---- Font set ------------------------------------------------------------ */

/* Null when the file cannot be opened (after its "cant open" message), when
 * memory runs out, or when size lies outside 1 to MaxCellSize. */
FontSet* Kanji_CreateFontSet(const char* path, int size);
/* A font set with every slot empty; null for a bad size or without memory. */
FontSet* Kanji_CreateEmptyFontSet(int size);
/* 0 when the file was opened and read to its end, -1 when it cannot be opened
 * or is refused (see Kanji_LoadBdfWithReport).
 * Fills only slots that are still empty: the first loaded glyph wins. */
int Kanji_LoadBdf(FontSet* font, const char* path);
void Kanji_DestroyFontSet(FontSet* font);
int Kanji_CellSize(const FontSet* font);
/* Every byte counts halfWidth, escape bytes included; a null text gives halfWidth. */
/* UTF-8 texts count each character's advance instead (see below). */
int Kanji_TextWidth(const FontSet* font, const char* text);
void Kanji_SetEncoding(FontSet* font, int value);
/* Slot of a two-byte JIS pair; the result may lie outside the table (any
 * pair of ints gives one, saturated at the int range). */
int Kanji_TwoByteSlot(int first, int second);
/* The code of a slot, the inverse of the slot of a code: slots 0 to 255 give
 * their single-byte code, a two-byte slot its JIS code (both bytes 0x21 to
 * 0x7E, first byte on top); every other slot (256 to 351, the positions of
 * second bytes 0x20 and 0x7F, those past 0x7E7E, and slots outside the
 * table) gives -1. */
int Kanji_SlotJisCode(int slot);
/* The `size` row values of a slot's glyph (see FontSet); null for an empty
 * slot or a slot outside 0 to GlyphSlotCount - 1. */
const int32_t* Kanji_GlyphRows(const FontSet* font, int slot);
/* The leading decimal number of a text as atoi reads it (blanks, a sign,
 * digits), but saturating at the int range instead of overflowing; 0 when
 * there are no digits. BDF codes and the settings file's size line use it. */
int Kanji_ParseDecimal(const char* text);

/* ---- What a load found ----------------------------------------------------
 * The library prints nothing but "cant open"; a caller that wants to tell
 * its user more asks for this report. */

/* What the first bytes of a font file show (after gzip, which is undone);
 * never its name. */
typedef enum FontFileKind {
  FontFileBdf = 0,         /* BDF text, read by the library itself; also an empty file */
  FontFileBdfGzip = 1,     /* gzip-compressed BDF */
  FontFilePcf = 2,         /* compiled PCF, read through FreeType */
  FontFilePcfGzip = 3,     /* gzip-compressed PCF (.pcf.gz), read through FreeType */
  FontFileTrueType = 4,    /* sfnt with TrueType outlines, or bitmaps only (.otb) */
  FontFileOpenTypeCff = 5, /* sfnt with CFF outlines (.otf) */
  FontFileCollection = 6,  /* .ttc or .otc: one face is read, the first unless asked */
  FontFileUnknown = 7,     /* none of these: refused */
  FontFileWoff = 8,        /* WOFF-compressed sfnt, read through FreeType */
  FontFileWoff2 = 9        /* WOFF2-compressed sfnt, read through FreeType */
} FontFileKind;

/* How the font's codes were placed, from CHARSET_REGISTRY and CHARSET_ENCODING. */
typedef enum FontCharset {
  CharsetJis = 0,        /* codes are JIS codes (also when the font names no set) */
  CharsetUnicode = 1,    /* ISO10646: codes placed by their JIS meaning */
  CharsetSingleByte = 2, /* only codes 0 to 127 placed */
  CharsetRefused = 3     /* a two-byte set that is not JIS X 0208: nothing loaded */
} FontCharset;

enum { ReportedCutGlyphs = 10 };

typedef struct FontLoadReport {
  int glyphsLoaded;  /* glyphs this load placed into empty slots */
  int glyphsCut;     /* of those, glyphs that lose ink: ink in rows outside the
                        cell, or beyond the cell's width for their kind (full or half) */
  int codesSkipped;  /* glyphs whose code has no slot in the font's character set */
  int charset;       /* a FontCharset value */
  char registry[64]; /* "REGISTRY-ENCODING" as the font names it; empty when absent */
  int fileKind;      /* a FontFileKind value */
  /* When the font's FONT name (an XLFD name) names another set than its
   * CHARSET_REGISTRY and CHARSET_ENCODING, the name wins: charset and
   * registry follow it, and this holds the properties' "REGISTRY-ENCODING".
   * Empty otherwise. */
  char propertiesRegistry[64];
  /* The first glyphs cut, in file order, as many as glyphsCut up to
   * ReportedCutGlyphs: their JIS codes (below 256 for single-byte slots) and
   * the Unicode characters those stand for, -1 where there is none. */
  int cutCodes[ReportedCutGlyphs];
  int cutCharacters[ReportedCutGlyphs];
  /* glyphsCut by the side of the cell they lost ink on; a glyph may count on
   * two sides. */
  int cutTop, cutBottom, cutLeft, cutRight;
  /* The row of the cell (from its top) the font's baseline ended on; -1 for
   * a bitmap font that names no baseline (neither FONT_ASCENT nor
   * FONTBOUNDINGBOX). */
  int baseline;
  /* Rows the fit moved every glyph down (negative: up); 0 when not fitted. */
  int fitShift;
  int fitted;        /* the fit moved the glyphs */
  int baselineGiven; /* the caller set the baseline (Kanji_LoadBdfAtBaseline) */
  /* A JIS X 0208 font's glyphs at codes JIS X 0208 leaves free, read as
   * another set's characters (see Kanji_LoadFont): those that went to
   * another slot, and those that filled none (blank, no slot, or a slot
   * already filled). */
  int glyphsMoved;
  int glyphsSkipped;
} FontLoadReport;

/* Kanji_LoadBdf that also fills `report` (which may be null). Every load
 * places codes by the character set the font names before its first glyph
 * (FontCharset); a refused set fills no slot. A glyph with a BBX line, in a
 * font with FONT_ASCENT or FONTBOUNDINGBOX before its first glyph, is placed
 * by its box: its top at ascent - (height + y offset), its left edge at its x
 * offset from the cell's left edge; ink outside the cell is cut. Where the
 * box puts a glyph at row 0 and column 0 with lines of exactly the glyph's
 * whole bytes, it is read as a glyph without a box: rows top-aligned, each
 * line right-shifted to the glyph's width. The load's glyphs are then fitted
 * (see Kanji_LoadBdfAtBaseline).
 *
 * Despite its name it loads every format of FontFileKind, recognised by the
 * file's first bytes. PCF takes the placement of BDF; TrueType and OpenType
 * fonts are rendered at the cell size with their Unicode characters placed
 * as an ISO10646 BDF's. -1, with Kanji_GetError's reason, for a file that
 * cannot be opened or is a folder (after "cant open"), is no font of these
 * kinds, is one FreeType cannot read, or is a bitmap-only font without a
 * strike of the cell's size; also for gzip data that breaks off or is
 * corrupt, a font of more than 256 MiB (after gzip), and when memory runs
 * out. A refused load leaves the font set as it was.
 *
 * A font is read once, from the start: fonts in pipes (a FIFO, /dev/stdin)
 * load in every format. */
int Kanji_LoadBdfWithReport(FontSet* font, const char* path, FontLoadReport* report);
/* Kanji_LoadBdfWithReport with the font's baseline at row `baseline` of the
 * cell (0 to its size) instead of where the font's rule and the fit put it;
 * -1 for the rule and the fit. Any other value loads nothing and gives -1.
 * See "Placing and fitting" below. */
int Kanji_LoadBdfAtBaseline(FontSet* font, const char* path, int baseline, FontLoadReport* report);
/* Placing and fitting. A bitmap glyph's x offset counts from the cell's left
 * edge, its rows from the baseline at FONT_ASCENT (else the FONTBOUNDINGBOX
 * height plus its y offset); a strike of an sfnt font stands on its own line
 * metrics' ascender, outlines on size x A / (A - D), A and D the OS/2
 * typographic ascender and descender. When more than 2% of a load's glyphs
 * (its two-byte glyphs, where it has any) then lose ink at the top or bottom,
 * every glyph of the load is moved by the rows that make the fewest lose
 * ink (of equals the smallest move, of two the upward one): outline fonts
 * always, bitmap fonts at their own size or larger. */

/* How outline glyphs become pixels; embedded strikes are used as they are
 * in every mode. */
typedef enum OutlineRendering {
  RenderMono = 0,     /* hinted, rendered one-bit (FT_LOAD_TARGET_MONO) */
  RenderAutohint = 1, /* FreeType's autohinter, rendered one-bit */
  RenderThreshold = 2 /* anti-aliased, a pixel inked from coverage 128 of 255 */
} OutlineRendering;
/* The OutlineRendering named "mono", "autohint" or "threshold"; -1 for any
 * other name, and for null. */
int Kanji_RenderingNamed(const char* name);

/* What a load may choose; all zero is what Kanji_LoadBdfWithReport does. */
typedef struct FontLoadOptions {
  int face;      /* the face of a collection, from 0; a font of one face has only 0 */
  int rendering; /* an OutlineRendering value */
  /* Nonzero: single-byte glyphs of outline fonts are rendered as they come.
   * Otherwise one whose ink reaches past a side of the half cell is moved
   * sideways into it, and one whose ink is wider than the half cell is
   * first condensed horizontally, just enough to fit. */
  int noCondense;
  /* Nonzero: the font's baseline goes to row `baseline` of the cell (0 to its
   * size) instead of where the font's rule and the fit put it, as
   * Kanji_LoadBdfAtBaseline puts it. */
  int baselineGiven;
  int baseline;
} FontLoadOptions;

/* Kanji_LoadBdfWithReport with options (null for all zero). A face past the
 * font's last, an unknown rendering and a baseline outside the cell are
 * refused (-1) with the reason; in a font whose character set
 * is JIS X 0208 (any JIS set but JIS X 0213), a glyph at a two-byte JIS code
 * JIS X 0208 leaves free stays at its code in NEC row 13 (0x2D21 to 0x2D7E)
 * where CP932 has a character there; elsewhere it stands for CP932's
 * character at that code, else JIS X 0212's (glibc's EUC-JP after 0x8F),
 * else JIS X 0213's, and goes to that character's two-byte slot once the
 * font's own codes are placed. One with no such slot, or whose slot is
 * already filled, and a blank one, fill nothing. */
int Kanji_LoadFont(FontSet* font, const char* path, const FontLoadOptions* options,
                   FontLoadReport* report);

/* The faces of a font file, for a user choosing one: their number, or -1
 * with the reason when the file cannot be read as a font; the first `room`
 * faces' names go to `faces`. A BDF has one face. */
typedef struct FontFaceName {
  char family[64];
  char style[64];
} FontFaceName;
int Kanji_ListFontFaces(const char* path, FontFaceName* faces, int room);

/* True when a slot holds its character: its cell has ink, or, for the
 * space characters (single-byte 0x20, U+3000 at 0x2121, U+00A0 at 0x2922),
 * it is filled at all. Coverage counts and missing characters use it. */
int Kanji_HasCharacter(const FontSet* font, int slot);

/* The cell size a font names: the pixel size of the XLFD FONT name of a BDF
 * or PCF, else PIXEL_SIZE, else the height of its FONTBOUNDINGBOX, raised
 * where its glyphs need it (Kanji_FontPixelSizeWithReport); or the single
 * strike of a bitmap-only sfnt. 0 with
 * Kanji_GetError's reason when it names none, or is an outline font, which
 * can be drawn at any size, or names one larger than MaxCellSize, or is a
 * pipe (not opened, since it can be read only once, by the load); -1 (the
 * reason recorded, nothing printed) when the file cannot be opened or read
 * as a font. */
int Kanji_FontPixelSize(const char* path);

/* Where a font's own size came from. */
typedef enum FontSizeSource {
  SizeFromFontName = 0,  /* the pixel size of its XLFD FONT name */
  SizeFromPixelSize = 1, /* PIXEL_SIZE */
  SizeFromBox = 2,       /* the height of FONTBOUNDINGBOX */
  SizeFromStrike = 3     /* the one strike of a bitmap-only sfnt font */
} FontSizeSource;

typedef struct FontSizeReport {
  int size;       /* what Kanji_FontPixelSize gives */
  int named;      /* the size the font names, from `source` */
  int source;     /* a FontSizeSource value */
  int raised;     /* size is larger than named: at named too many glyphs lost ink */
  int cutAtNamed; /* two-byte glyphs (all, without any) losing ink at the top
                     or bottom at the named size after the fit */
  int considered; /* and how many there are */
} FontSizeReport;

/* Kanji_FontPixelSize that also says why (`report` may be null). A BDF or
 * PCF names the pixel size of its XLFD FONT name, else PIXEL_SIZE, else its
 * FONTBOUNDINGBOX height. Where more than 2% of its two-byte glyphs lose ink
 * at the top or bottom of a cell that size even after the fit, its size is
 * the smallest larger one, up to FONT_ASCENT + FONT_DESCENT or the
 * FONTBOUNDINGBOX height (at most MaxCellSize), at which no more than 2% do;
 * the named size where none does. */
int Kanji_FontPixelSizeWithReport(const char* path, FontSizeReport* report);

/* ---- Character code conversion -------------------------------------------
 *
 * Shift-JIS and EUC-JP texts: bytes 0x20 to 0x7E are single-byte characters,
 * every other byte starts a two-byte character with the byte after it. JIS
 * texts: ESC $ B and ESC ( B switch two-byte mode on and off (other escapes
 * are skipped); in two-byte mode every two bytes are one character. ESC $ @
 * and ESC ( J act as ESC $ B and ESC ( B.
 *
 * UTF-8 texts: a character of JIS X 0208 or of JIS X 0213 plane 1 (one code
 * point, as Kanji_UnicodeToJis places it) is a two-byte character in the
 * slot of its JIS code; ASCII and half-width katakana (U+FF61 to U+FF9F) are
 * single-byte characters in slots 0 to 127 and 0xA1 to 0xDF. The three
 * CP932 code points JIS X 0213 places elsewhere (U+FF5E, U+2225, U+FF0D)
 * are drawn from CP932's slot when the font has nothing in JIS X 0213's.
 * Any other valid character is as wide as a two-byte character and draws
 * nothing; a byte that starts no valid character (also an overlong form, a
 * surrogate, or a code past U+10FFFF) is as wide as a single-byte character
 * and draws nothing, and decoding goes on at the next byte. */

/* Rewrites a two-byte character's bytes into its JIS pair by the font's
 * encoding; JIS pairs (and unknown encodings) are left as they are. */
void Kanji_ConvertPair(const FontSet* font, unsigned char* first, unsigned char* second);
void Kanji_SjisBytesToJis(unsigned char* first, unsigned char* second);
void Kanji_EucBytesToJis(unsigned char* first, unsigned char* second);

/* ---- Unicode and the slots ------------------------------------------------
 *
 * The two-byte slots of JIS rows 1 to 94 hold JIS X 0208, and in the codes
 * it leaves free the rest of JIS X 0213 plane 1. The table comes from
 * glibc's iconv: EUC-JP for JIS X 0208 (and CP932's code point where it
 * differs, 0x2141 U+FF5E beside U+301C), EUC-JISX0213 for the rest. */

typedef enum JisCodeKind {
  JisCodeFree = 0,  /* no character in either set */
  JisCodeX0208 = 1, /* one of the 6879 characters of JIS X 0208 */
  JisCodeX0213 = 2  /* one of the 1918 other characters of JIS X 0213 plane 1 */
} JisCodeKind;

enum { JisX0208CharacterCount = 6879, JisX0213OtherCharacterCount = 1918 };

/* The JisCodeKind of a two-byte JIS code (first byte << 8 | second byte). */
int Kanji_JisCodeKind(int jis);
/* The code point of the character at a JIS code: ASCII and half-width
 * katakana for codes below 256, EUC-JP's for JIS X 0208; -1 where there is none, or where JIS X
 * 0213 has a letter with a combining mark (two code points), which no single code point reaches. */
int Kanji_JisToUnicode(int jis);
/* The JIS code a Unicode character stands for: 0 to 0x7F for ASCII, 0xA1 to
 * 0xDF for half-width katakana, a two-byte JIS code for a character of JIS X
 * 0208 or JIS X 0213 plane 1, or -1 for none. */
int Kanji_UnicodeToJis(int codePoint);
/* The character at the start of a UTF-8 text as text drawing decodes it: its
 * code point, and in *length the bytes it takes (1 for a byte that starts no
 * valid character, whose code point is -1). A null or empty text gives -1
 * and a length of 0. */
int Kanji_DecodeUtf8(const char* text, int* length);

/* ---- Text drawing ---------------------------------------------------------
 *
 * Only inked pixels are written, and only inside the surface's clip
 * rectangle (SDL_SetClipRect), as SDL's blits do; surfaces that SDL wants
 * locked are locked once per text. Drawing always returns 0 and a null text
 * draws nothing. */

/* Writes one mapped pixel value; positions outside the surface are ignored
 * (the clip rectangle is not consulted). */
void Kanji_PlotPixel(SDL_Surface* surface, int x, int y, Uint32 pixel);
/* Left to right from the pen at (x, y): halfWidth per single-byte character,
 * size per two-byte character, drawn or not. */
int Kanji_DrawText(const FontSet* font, int x, int y, SDL_Surface* surface, const char* text,
                   SDL_Color colour);
/* Top to bottom, two-byte characters only, size apart; the four comma and
 * full stop marks (JIS 0x2122 to 0x2125) move up and right by 0.6 x size. */
int Kanji_DrawTextVertical(const FontSet* font, int x, int y, SDL_Surface* surface,
                           const char* text, SDL_Color colour);
/* A new surface of halfWidth x (bytes of text) by size pixels holding the
 * text, its background keyed out; null for a null or empty text, and null
 * with a message on standard error when the surface cannot be created.
 * Its width is Kanji_TextWidth, which for UTF-8 follows the advances. */
SDL_Surface* Kanji_RenderText(const FontSet* font, const char* text, SDL_Color colour, int depth);
/* The same, size wide and halfWidth x (bytes of text) high, drawn vertically
 * (Kanji_TextWidth high for UTF-8). */
SDL_Surface* Kanji_RenderTextVertical(const FontSet* font, const char* text, SDL_Color colour,
                                      int depth);

/* How many characters of the text (in the font's encoding) draw nothing for
 * want of a glyph with ink (Kanji_HasCharacter); the first `room` of them go
 * to `codes` (null when room is 0): code points for UTF-8 texts, -1 for a
 * byte that starts no valid character; for the other encodings the JIS code
 * of a two-byte character or the single byte. Spaces (U+0020, U+3000,
 * U+00A0) and control codes, which have no ink by nature, are never counted. */
int Kanji_MissingCharacters(const FontSet* font, const char* text, int* codes, int room);

/* ---- Packed glyph file ---------------------------------------------------- */

/* A font set holding the glyphs of a packed glyph file (tavrest.qpk): its cell
 * size, halfWidth size / 2, every slot whose cell has ink filled. Null for a
 * file that cannot be read or is malformed, or when memory runs out; then
 * Kanji_GetError gives "PATH: reason". Prints nothing. Reads pipes too. */
FontSet* Kanji_CreateFontSetFromPacked(const char* path);
/* The same from an open stream, read from where it stands to its end (a pipe,
 * or a file in memory); `name` stands for it in the reason. The stream stays
 * open. */
FontSet* Kanji_CreateFontSetFromPackedStream(FILE* stream, const char* name);

#ifdef __cplusplus
}
#endif

#endif
