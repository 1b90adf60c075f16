// SPDX-License-Identifier: MIT
// Text drawing onto SDL surfaces: inked glyph pixels in one colour over
// whatever the surface holds, clipped to the clip rectangle, a run of ink at
// a time.
#include "kanji_internal.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned char kEscape = 0x1B;
constexpr int kRowBits = 32;
// The ideographic and fullwidth commas and full stops sit in the lower left
// of their cell; in a column of text they belong in the upper right.
constexpr double kPunctuationShift = 0.6;
constexpr char kRenderError[] = "ERROR: at Kanji_RenderText\n";

// ---- Pixels ----------------------------------------------------------------

// SDL packs the rows of 1- and 4-bit surfaces, leftmost pixel in the top
// bits; every other depth has whole bytes per pixel (2 to 7 bits: one byte).
int PixelsPerByte(const SDL_PixelFormat* format) {
  const int bits = format->BitsPerPixel;
  return bits == 1 || bits == 4 ? 8 / bits : 1;
}

// The row must reach the byte that holds the pixel: a pitch below the width
// never leads to a write into the next row or past the pixels.
bool HoldsPixel(const SDL_Surface* surface, int x, int y) {
  const SDL_PixelFormat* format = surface->format;
  const long long rowBytes = PixelsPerByte(format) > 1
                                 ? static_cast<long long>(x) / PixelsPerByte(format) + 1
                                 : (static_cast<long long>(x) + 1) * format->BytesPerPixel;
  return x >= 0 && y >= 0 && x < surface->w && y < surface->h && rowBytes <= surface->pitch;
}

// Sets the bits of pixel x in a packed row, leaving its neighbours alone.
void StorePackedPixel(Uint8* row, int x, int pixelsPerByte, Uint32 pixel) {
  const int bits = 8 / pixelsPerByte;
  const int shift = (pixelsPerByte - 1 - x % pixelsPerByte) * bits;
  const unsigned mask = ((1u << bits) - 1u) << shift;
  Uint8& byte = row[x / pixelsPerByte];
  byte = static_cast<Uint8>((byte & ~mask) | ((pixel << shift) & mask));
}

// Three-byte pixels go in the machine's byte order, which is how SDL reads them.
void StoreThreeBytes(Uint8* address, Uint32 pixel) {
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
  address[0] = static_cast<Uint8>(pixel);
  address[1] = static_cast<Uint8>(pixel >> 8);
  address[2] = static_cast<Uint8>(pixel >> 16);
#else
  address[0] = static_cast<Uint8>(pixel >> 16);
  address[1] = static_cast<Uint8>(pixel >> 8);
  address[2] = static_cast<Uint8>(pixel);
#endif
}

void StorePixel(Uint8* address, int bytesPerPixel, Uint32 pixel) {
  if (bytesPerPixel == 1) {
    *address = static_cast<Uint8>(pixel);
  } else if (bytesPerPixel == 2) {
    const Uint16 value = static_cast<Uint16>(pixel);
    memcpy(address, &value, sizeof value);
  } else if (bytesPerPixel == 3) {
    StoreThreeBytes(address, pixel);
  } else if (bytesPerPixel == 4) {
    memcpy(address, &pixel, sizeof pixel);
  }
}

// ---- Walking a text --------------------------------------------------------

enum class TextItemKind { End, Escape, SingleByte, TwoByte };

struct TextItem {
  TextItemKind kind;
  int slot;             // a two-byte character's slot may lie outside the table
  unsigned char first;  // the converted JIS pair of a two-byte character
  unsigned char second;
  int code;  // what Kanji_MissingCharacters names: a code point in UTF-8 texts
};

struct TextReader {
  const unsigned char* next;
  bool twoByteMode;  // switched by JIS escapes; off at the start of every text
};

constexpr TextItem kTextEnd{TextItemKind::End, 0, 0, 0, 0};

TextReader StartText(const char* text) {
  return TextReader{reinterpret_cast<const unsigned char*>(text), false};
}

bool StartsTwoByteCharacter(const FontSet& font, const TextReader& reader) {
  if (font.encoding == EncodingJis) return reader.twoByteMode;
  const unsigned char byte = *reader.next;
  return byte < 0x20 || byte > 0x7E;
}

TextItem ReadEscape(TextReader& reader) {
  const unsigned char* bytes = reader.next;
  if (bytes[1] == 0 || bytes[2] == 0) return kTextEnd;
  // JIS X 0208 in its 1983 (B) and 1978 (@) forms; ASCII (B) and JIS X 0201 Roman (J).
  if (bytes[1] == '$' && (bytes[2] == 'B' || bytes[2] == '@')) reader.twoByteMode = true;
  if (bytes[1] == '(' && (bytes[2] == 'B' || bytes[2] == 'J')) reader.twoByteMode = false;
  reader.next += 3;
  return TextItem{TextItemKind::Escape, 0, 0, 0, 0};
}

TextItem ReadTwoByteCharacter(const FontSet& font, TextReader& reader) {
  unsigned char first = reader.next[0];
  unsigned char second = reader.next[1];
  if (second == 0) return kTextEnd;
  Kanji_ConvertPair(&font, &first, &second);
  reader.next += 2;
  return TextItem{TextItemKind::TwoByte, Kanji_TwoByteSlot(first, second), first, second,
                  first << 8 | second};
}

struct Utf8Character {
  int codePoint;  // -1 for a byte that starts no valid character
  int length;     // bytes taken: 1 for an invalid byte
};

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Shortest forms only, no surrogates, nothing past U+10FFFF. A zero byte is
// no continuation, so a text ending inside a character is never read past.
Utf8Character DecodeUtf8(const unsigned char* bytes) {
  constexpr Utf8Character kInvalid{-1, 1};
  const unsigned char lead = bytes[0];
  if (lead < 0x80) return Utf8Character{lead, 1};
  int length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  if (lead >= 0xE0 && lead <= 0xEF) length = 3;
  if (lead >= 0xF0 && lead <= 0xF4) length = 4;
  if (length == 0) return kInvalid;
  int codePoint = lead & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if (!IsContinuation(bytes[i])) return kInvalid;
    codePoint = codePoint << 6 | (bytes[i] & 0x3F);
  }
  constexpr int kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  if (codePoint < kShortest[length] || codePoint > 0x10FFFF || surrogate) return kInvalid;
  return Utf8Character{codePoint, length};
}

bool HasGlyph(const FontSet& font, int slot) {
  return slot >= 0 && slot < GlyphSlotCount && font.glyphs[slot] != nullptr;
}

// Where JIS X 0213 and CP932 disagree (U+FF5E), a font without JIS X 0213's
// glyph still has CP932's: Windows texts say U+FF5E for JIS X 0208's 0x2141.
int JisCodeToDraw(const FontSet& font, int codePoint) {
  const int jis = Kanji_UnicodeToJis(codePoint);
  if (jis < 256 || HasGlyph(font, Kanji_JisCodeSlot(jis))) return jis;
  const int fallback = Kanji_UnicodeFallbackJis(codePoint);
  return fallback >= 0 ? fallback : jis;
}

// Characters are placed by their JIS meaning. Those without one are as wide
// as a two-byte character and invalid bytes as a single-byte one, drawing
// nothing (slot -1).
TextItem ReadUtf8Character(const FontSet& font, TextReader& reader) {
  const Utf8Character character = DecodeUtf8(reader.next);
  const int codePoint = character.codePoint;
  reader.next += character.length;
  if (codePoint < 0) return TextItem{TextItemKind::SingleByte, -1, 0, 0, -1};
  const int jis = JisCodeToDraw(font, codePoint);
  if (jis < 0) return TextItem{TextItemKind::TwoByte, -1, 0, 0, codePoint};
  if (jis < 256) return TextItem{TextItemKind::SingleByte, jis, 0, 0, codePoint};
  const unsigned char first = static_cast<unsigned char>(jis >> 8);
  const unsigned char second = static_cast<unsigned char>(jis & 0xFF);
  return TextItem{TextItemKind::TwoByte, Kanji_JisCodeSlot(jis), first, second, codePoint};
}

// The next character or escape sequence; End at the terminating zero, also
// when the text stops in the middle of a character or an escape.
TextItem ReadTextItem(const FontSet& font, TextReader& reader) {
  const unsigned char byte = *reader.next;
  if (byte == 0) return kTextEnd;
  if (font.encoding == EncodingUtf8) return ReadUtf8Character(font, reader);
  if (font.encoding == EncodingJis && byte == kEscape) return ReadEscape(reader);
  if (StartsTwoByteCharacter(font, reader)) return ReadTwoByteCharacter(font, reader);
  reader.next += 1;
  return TextItem{TextItemKind::SingleByte, byte, 0, 0, byte};
}

// ---- Glyphs ----------------------------------------------------------------

const int32_t* GlyphRows(const FontSet& font, int slot) {
  if (slot < 0 || slot >= GlyphSlotCount) return nullptr;
  return font.glyphs[slot];
}

struct Span {
  int first;
  int end;  // exclusive
};

// The part [first, end) of a glyph extent of `length` pixels starting at
// `pen` that falls on low to high - 1. 64-bit, so no pen can overflow.
Span VisibleSpan(long long pen, int length, int low, int high) {
  const long long first = std::max<long long>(low - pen, 0);
  const long long end = std::min<long long>(high - pen, length);
  return Span{static_cast<int>(std::min<long long>(first, length)),
              static_cast<int>(std::clamp<long long>(end, 0, length))};
}

// Where a text may write, taken once per text: the clip rectangle, within the
// surface and within what its pitch holds, so that no row is written past.
struct DrawTarget {
  Uint8* pixels;
  int pitch;
  int bytesPerPixel;  // 0: several pixels to a byte
  int pixelsPerByte;
  Uint32 pixel;
  int left, top, right, bottom;  // right and bottom exclusive
};

DrawTarget TargetOf(SDL_Surface* surface, Uint32 pixel) {
  const SDL_PixelFormat* format = surface->format;
  const int pixelsPerByte = PixelsPerByte(format);
  const int bytesPerPixel = pixelsPerByte > 1 ? 0 : format->BytesPerPixel;
  const long long pitchPixels = bytesPerPixel == 0
                                    ? static_cast<long long>(surface->pitch) * pixelsPerByte
                                    : surface->pitch / std::max(bytesPerPixel, 1);
  const SDL_Rect& clip = surface->clip_rect;
  const long long right = std::min<long long>({clip.x + clip.w, surface->w, pitchPixels});
  const long long bottom = std::min<long long>(clip.y + clip.h, surface->h);
  return DrawTarget{static_cast<Uint8*>(surface->pixels),
                    surface->pitch,
                    bytesPerPixel,
                    pixelsPerByte,
                    pixel,
                    std::max<int>(clip.x, 0),
                    std::max<int>(clip.y, 0),
                    static_cast<int>(right),
                    static_cast<int>(bottom)};
}

// Writes `count` pixels from column x of a row, at a depth of kBytes bytes a
// pixel (0: packed rows).
template <int kBytes>
void FillRun(const DrawTarget& target, Uint8* row, int x, int count) {
  if constexpr (kBytes == 1) {
    memset(row + x, static_cast<int>(target.pixel & 0xFF), static_cast<size_t>(count));
  } else if constexpr (kBytes == 0) {
    for (int k = x; k < x + count; ++k)
      StorePackedPixel(row, k, target.pixelsPerByte, target.pixel);
  } else {
    Uint8* address = row + static_cast<size_t>(x) * kBytes;
    for (int k = 0; k < count; ++k, address += kBytes) StorePixel(address, kBytes, target.pixel);
  }
}

// A glyph's visible rows, each a run of set bits at a time: column j of the
// glyph is bit 31 - j of `bits`, whose clipped columns are already cleared.
template <int kBytes>
void DrawInkRuns(const DrawTarget& target, const int32_t* rows, Span visibleRows, int shift,
                 uint32_t keep, int x, int y) {
  Uint8* row = target.pixels + static_cast<ptrdiff_t>(y + visibleRows.first) * target.pitch;
  for (int i = visibleRows.first; i < visibleRows.end; ++i, row += target.pitch) {
    uint32_t bits = (static_cast<uint32_t>(rows[i]) << shift) & keep;
    while (bits != 0) {
      const int start = std::countl_zero(bits);
      const int end = start + std::countl_one(bits << start);
      FillRun<kBytes>(target, row, x + start, end - start);
      bits = end < kRowBits ? bits & (~0u >> end) : 0;
    }
  }
}

// Only the row's low 32 bits hold ink: a wider glyph's first columns have none.
void DrawGlyph(const DrawTarget& target, const int32_t* rows, int width, int height, long long px,
               long long py) {
  const int blank = std::max(width - kRowBits, 0);
  width -= blank;
  px += blank;
  const Span columns = VisibleSpan(px, width, target.left, target.right);
  const Span visibleRows = VisibleSpan(py, height, target.top, target.bottom);
  if (columns.first >= columns.end || visibleRows.first >= visibleRows.end) return;
  const uint32_t keep =
      (~0u >> columns.first) & ~(columns.end < kRowBits ? ~0u >> columns.end : 0u);
  const int shift = kRowBits - width;
  const int x = static_cast<int>(px);  // visible, so within int
  const int y = static_cast<int>(py);
  switch (target.bytesPerPixel) {
    case 0:
      return DrawInkRuns<0>(target, rows, visibleRows, shift, keep, x, y);
    case 1:
      return DrawInkRuns<1>(target, rows, visibleRows, shift, keep, x, y);
    case 2:
      return DrawInkRuns<2>(target, rows, visibleRows, shift, keep, x, y);
    case 3:
      return DrawInkRuns<3>(target, rows, visibleRows, shift, keep, x, y);
    case 4:
      return DrawInkRuns<4>(target, rows, visibleRows, shift, keep, x, y);
    default:
      return;
  }
}

bool IsRaisedPunctuation(const TextItem& item) {
  return item.first == 0x21 && item.second >= 0x22 && item.second <= 0x25;
}

// Truncated toward zero, as the offset has always been placed.
long long ShiftedPosition(long long pen, double shift) {
  return static_cast<long long>(static_cast<double>(pen) + shift);
}

bool CanDraw(const FontSet* font, const SDL_Surface* surface, const char* text) {
  return font != nullptr && surface != nullptr && text != nullptr;
}

// ---- Rendering -------------------------------------------------------------

SDL_Surface* CreateTextSurface(long long width, long long height, int depth) {
  if (width > INT_MAX || height > INT_MAX || depth < 1 || depth > 32) return nullptr;
  return SDL_CreateRGBSurface(SDL_SWSURFACE, static_cast<int>(width), static_cast<int>(height),
                              depth, 0, 0, 0, 0);
}

// SDL 1.2 fills no surface of fewer than 8 bits per pixel; their rows are
// filled here a whole byte at a time.
void FillSurface(SDL_Surface* surface, Uint32 pixel) {
  if (surface->format->BitsPerPixel >= 8) {
    SDL_FillRect(surface, nullptr, pixel);
    return;
  }
  if (surface->pixels == nullptr) return;
  const int pixelsPerByte = PixelsPerByte(surface->format);
  Uint8 byte = 0;
  for (int x = 0; x < pixelsPerByte; ++x) StorePackedPixel(&byte, x, pixelsPerByte, pixel);
  memset(surface->pixels, byte, static_cast<size_t>(surface->h) * surface->pitch);
}

// Filled with the inverse of the text colour, which is also its colour key,
// so that a blit shows only the text.
SDL_Surface* CreateKeyedSurface(long long width, long long height, int depth, SDL_Color colour) {
  SDL_Surface* surface = CreateTextSurface(width, height, depth);
  if (surface == nullptr) {
    fputs(kRenderError, stderr);
    Kanji_SetError("cannot make a %lld x %lld surface of depth %d for the text: %s", width, height,
                   depth, SDL_GetError());
    return nullptr;
  }
  SDL_Color keyColour{static_cast<Uint8>(255 - colour.r), static_cast<Uint8>(255 - colour.g),
                      static_cast<Uint8>(255 - colour.b), 0};
  // A new palettized surface has an all-black palette, on which text and key
  // would map to the same index; give both colours an entry of their own.
  if (surface->format->palette != nullptr) {
    SDL_Color entries[2] = {keyColour, colour};
    SDL_SetColors(surface, entries, 0, 2);
  }
  const Uint32 key = SDL_MapRGB(surface->format, keyColour.r, keyColour.g, keyColour.b);
  FillSurface(surface, key);
  SDL_SetColorKey(surface, SDL_SRCCOLORKEY, key);
  return surface;
}

// Spaces (the ideographic one too) and control codes have no ink by nature;
// their empty slots are no loss.
bool IsBlankSlot(int slot) {
  return (slot >= 0 && slot <= ' ') || slot == 0x7F || slot == Kanji_TwoByteSlot(0x21, 0x21) ||
         slot == Kanji_TwoByteSlot(0x29, 0x22);  // U+3000 and U+00A0
}

bool HasText(const char* text) { return text != nullptr && text[0] != '\0'; }

int Advance(const FontSet& font, const TextItem& item) {
  if (item.kind == TextItemKind::SingleByte) return font.halfWidth;
  return item.kind == TextItemKind::TwoByte ? font.size : 0;
}

// UTF-8 texts are as wide as their characters' advances; the other encodings
// count half a cell for every byte, escapes and two-byte halves alike.
long long TextExtent(const FontSet& font, const char* text) {
  if (font.encoding != EncodingUtf8)
    return static_cast<long long>(font.halfWidth) * static_cast<long long>(strlen(text));
  long long extent = 0;
  TextReader reader = StartText(text);
  for (TextItem item = ReadTextItem(font, reader); item.kind != TextItemKind::End;
       item = ReadTextItem(font, reader)) {
    extent += Advance(font, item);
  }
  return extent;
}

}  // namespace

void Kanji_PlotPixel(SDL_Surface* surface, int x, int y, Uint32 pixel) {
  if (surface == nullptr || !HoldsPixel(surface, x, y)) return;
  const bool mustLock = SDL_MUSTLOCK(surface);
  if (mustLock && SDL_LockSurface(surface) < 0) return;
  if (surface->pixels != nullptr) {
    Uint8* row = static_cast<Uint8*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
    const int pixelsPerByte = PixelsPerByte(surface->format);
    const int bytesPerPixel = surface->format->BytesPerPixel;
    if (pixelsPerByte > 1) {
      StorePackedPixel(row, x, pixelsPerByte, pixel);
    } else {
      StorePixel(row + static_cast<size_t>(x) * static_cast<size_t>(bytesPerPixel), bytesPerPixel,
                 pixel);
    }
  }
  if (mustLock) SDL_UnlockSurface(surface);
}

namespace {

void DrawHorizontal(const FontSet& font, long long x, long long y, const DrawTarget& target,
                    const char* text) {
  TextReader reader = StartText(text);
  long long penX = x;
  for (TextItem item = ReadTextItem(font, reader); item.kind != TextItemKind::End;
       item = ReadTextItem(font, reader)) {
    if (item.kind == TextItemKind::Escape) continue;
    const int width = Advance(font, item);
    const int32_t* rows = GlyphRows(font, item.slot);
    if (rows != nullptr) DrawGlyph(target, rows, width, font.size, penX, y);
    penX += width;
  }
}

// Only two-byte characters take part: single-byte ones are skipped without
// moving the pen.
void DrawVertical(const FontSet& font, long long x, long long y, const DrawTarget& target,
                  const char* text) {
  const double shift = kPunctuationShift * font.size;
  TextReader reader = StartText(text);
  long long penY = y;
  for (TextItem item = ReadTextItem(font, reader); item.kind != TextItemKind::End;
       item = ReadTextItem(font, reader)) {
    if (item.kind != TextItemKind::TwoByte) continue;
    const int32_t* rows = GlyphRows(font, item.slot);
    if (rows != nullptr) {
      const bool raised = IsRaisedPunctuation(item);
      const long long px = raised ? ShiftedPosition(x, shift) : x;
      const long long py = raised ? ShiftedPosition(penY, -shift) : penY;
      DrawGlyph(target, rows, font.size, font.size, px, py);
    }
    penY += font.size;
  }
}

using DrawDirection = void (*)(const FontSet&, long long, long long, const DrawTarget&,
                               const char*);

// The surface is locked once for the whole text where SDL wants it locked
// (a run-length coded surface is decoded by every lock).
void DrawLocked(const FontSet* font, int x, int y, SDL_Surface* surface, const char* text,
                SDL_Color colour, DrawDirection draw) {
  if (!CanDraw(font, surface, text)) return;
  const Uint32 pixel = SDL_MapRGB(surface->format, colour.r, colour.g, colour.b);
  const bool mustLock = SDL_MUSTLOCK(surface);
  if (mustLock && SDL_LockSurface(surface) < 0) return;
  if (surface->pixels != nullptr) draw(*font, x, y, TargetOf(surface, pixel), text);
  if (mustLock) SDL_UnlockSurface(surface);
}

}  // namespace

int Kanji_DrawText(const FontSet* font, int x, int y, SDL_Surface* surface, const char* text,
                   SDL_Color colour) {
  DrawLocked(font, x, y, surface, text, colour, DrawHorizontal);
  return 0;
}

int Kanji_DrawTextVertical(const FontSet* font, int x, int y, SDL_Surface* surface,
                           const char* text, SDL_Color colour) {
  DrawLocked(font, x, y, surface, text, colour, DrawVertical);
  return 0;
}

int Kanji_TextWidth(const FontSet* font, const char* text) {
  if (font == nullptr) return 0;
  if (text == nullptr) return font->halfWidth;
  return static_cast<int>(std::min<long long>(TextExtent(*font, text), INT_MAX));
}

SDL_Surface* Kanji_RenderText(const FontSet* font, const char* text, SDL_Color colour, int depth) {
  if (font == nullptr || !HasText(text)) return nullptr;
  const long long width = TextExtent(*font, text);
  SDL_Surface* surface = CreateKeyedSurface(width, font->size, depth, colour);
  if (surface != nullptr) Kanji_DrawText(font, 0, 0, surface, text, colour);
  return surface;
}

SDL_Surface* Kanji_RenderTextVertical(const FontSet* font, const char* text, SDL_Color colour,
                                      int depth) {
  if (font == nullptr || !HasText(text)) return nullptr;
  const long long height = TextExtent(*font, text);
  SDL_Surface* surface = CreateKeyedSurface(font->size, height, depth, colour);
  if (surface != nullptr) Kanji_DrawTextVertical(font, 0, 0, surface, text, colour);
  return surface;
}

int Kanji_DecodeUtf8(const char* text, int* length) {
  if (text == nullptr || text[0] == '\0') {
    if (length != nullptr) *length = 0;
    return -1;
  }
  const Utf8Character character = DecodeUtf8(reinterpret_cast<const unsigned char*>(text));
  if (length != nullptr) *length = character.length;
  return character.codePoint;
}

int Kanji_MissingCharacters(const FontSet* font, const char* text, int* codes, int room) {
  if (font == nullptr || text == nullptr) return 0;
  int missing = 0;
  TextReader reader = StartText(text);
  for (TextItem item = ReadTextItem(*font, reader); item.kind != TextItemKind::End;
       item = ReadTextItem(*font, reader)) {
    if (item.kind == TextItemKind::Escape || IsBlankSlot(item.slot) ||
        Kanji_HasCharacter(font, item.slot))
      continue;
    if (missing < room) codes[missing] = item.code;
    if (missing < INT_MAX) ++missing;
  }
  return missing;
}
