// Bitmap font library: a fixed table of glyph slots filled from BDF files,
// Japanese text encodings, and text drawing onto SDL 1.2 surfaces.
//
// Return convention: creating operations return null on failure, font loads
// return -1 for a file that cannot be opened, drawing always returns 0.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int GlyphSlotCount = 9472;
// Row values are 32 bits wide, so no cell may be wider or taller than this.
constexpr int MaxCellSize = 32;

enum TextEncoding { EncodingShiftJis = 0, EncodingEuc = 1, EncodingJis = 2 };

struct FontSet {
  int size;       // cell height, and width of a two-byte glyph
  int halfWidth;  // width of a single-byte glyph: size / 2
  int encoding;   // a TextEncoding value for the drawing operations
  // Each slot is null or owns `size` row values, row 0 at the top. In a glyph
  // of width W, column j (0 = leftmost) is bit W - 1 - j.
  int32_t* glyphs[GlyphSlotCount];
  // Backing store of every slot's rows, `size` values per slot, so that
  // loading never fails half way for want of memory.
  int32_t* rowPool;
};

// ---- Font set -------------------------------------------------------------

// Null when the file cannot be opened (after its "cant open" message), when
// memory runs out, or when size lies outside 1 to MaxCellSize.
FontSet* Kanji_CreateFontSet(const char* path, int size);
// 0 when the file was opened and read to its end, -1 when it cannot be opened.
// Fills only slots that are still empty: the first loaded glyph wins.
int Kanji_LoadBdf(FontSet* font, const char* path);
void Kanji_DestroyFontSet(FontSet* font);
int Kanji_CellSize(const FontSet* font);
// Every byte counts halfWidth, escape bytes included; a null text gives halfWidth.
int Kanji_TextWidth(const FontSet* font, const char* text);
void Kanji_SetEncoding(FontSet* font, int value);
// Slot of a two-byte JIS pair; the result may lie outside the table.
int Kanji_TwoByteSlot(int first, int second);

// ---- BDF loading internals (exposed for tests) ----------------------------

// Hands out a BDF file as the pieces a 256-byte line buffer would see: at most
// 255 characters, a piece ends after its line feed. Reads in large blocks and
// hands out pieces in place where it can, copying only across block ends.
struct BdfLineReader {
  FILE* file;
  size_t blockLength;
  size_t blockPos;
  bool atEnd;
  size_t heldPos;     // position of the byte overwritten by a piece's terminator
  char heldByte;
  const char* line;   // current piece, zero-terminated (at its first zero byte)
  char piece[256];    // a piece that spans two blocks
  char block[65536 + 1];
};

void Kanji_InitLineReader(BdfLineReader* reader, FILE* file);
// False at end of file; otherwise the next piece is reader->line.
bool Kanji_NextLine(BdfLineReader* reader);

void Kanji_ClearGlyphs(FontSet* font);
int Kanji_ScanBdf(FontSet* font, BdfLineReader* reader);
void Kanji_ReadGlyphRows(FontSet* font, int slot, BdfLineReader* reader, int shift);
// Shift that right-aligns a glyph of `width` pixels in its whole-byte BDF row.
int Kanji_RowShift(int width);
// BDF number parsers, saturating instead of overflowing.
int Kanji_ParseDecimal(const char* text);
int32_t Kanji_ParseHexRow(const char* text);

// ---- Character code conversion --------------------------------------------
//
// Shift-JIS and EUC-JP texts: bytes 0x20 to 0x7E are single-byte characters,
// every other byte starts a two-byte character with the byte after it. JIS
// texts: ESC $ B and ESC ( B switch two-byte mode on and off (other escapes
// are skipped); in two-byte mode every two bytes are one character.

// Rewrites a two-byte character's bytes into its JIS pair by the font's
// encoding; JIS pairs (and unknown encodings) are left as they are.
void Kanji_ConvertPair(const FontSet* font, unsigned char* first, unsigned char* second);
void Kanji_SjisBytesToJis(unsigned char* first, unsigned char* second);
void Kanji_EucBytesToJis(unsigned char* first, unsigned char* second);

// ---- Text drawing ---------------------------------------------------------
//
// Only inked pixels are written, clipped to the surface; surfaces that SDL
// wants locked are locked around each pixel. Drawing always returns 0 and
// a null text draws nothing.

// Writes one mapped pixel value; positions outside the surface are ignored.
void Kanji_PlotPixel(SDL_Surface* surface, int x, int y, Uint32 pixel);
// Left to right from the pen at (x, y): halfWidth per single-byte character,
// size per two-byte character, drawn or not.
int Kanji_DrawText(const FontSet* font, int x, int y, SDL_Surface* surface,
                   const char* text, SDL_Color colour);
// Top to bottom, two-byte characters only, size apart; the four comma and
// full stop marks (JIS 0x2122 to 0x2125) move up and right by 0.6 x size.
int Kanji_DrawTextVertical(const FontSet* font, int x, int y, SDL_Surface* surface,
                           const char* text, SDL_Color colour);
// A new surface of halfWidth x (bytes of text) by size pixels holding the
// text, its background keyed out; null for a null or empty text, and null
// with a message on standard error when the surface cannot be created.
SDL_Surface* Kanji_RenderText(const FontSet* font, const char* text, SDL_Color colour,
                              int depth);
// The same, size wide and halfWidth x (bytes of text) high, drawn vertically.
SDL_Surface* Kanji_RenderTextVertical(const FontSet* font, const char* text,
                                      SDL_Color colour, int depth);
