// SPDX-License-Identifier: MIT
// Fonts read through FreeType: PCF (plain or gzip), TrueType, OpenType,
// collections and bitmap-only sfnt. PCF glyphs go through the placement of
// BDF glyphs, so a PCF gives what its BDF gives; sfnt glyphs are rendered at
// the cell size and placed under a baseline taken from the font's metrics.
#include "kanji_internal.h"
#include "platform.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BDF_H
#include FT_FONT_FORMATS_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TAGS_H
#include FT_TRUETYPE_TABLES_H
#include FT_MODULE_H

#include <pthread.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// FreeType's own error texts: FT_Error_String gives them only in builds
// with FT_CONFIG_OPTION_ERROR_STRINGS, which distributions leave out.
struct FreeTypeErrorText {
  int code;
  const char* text;
};
// clang-format off
#undef FTERRORS_H_
#define FT_ERRORDEF(e, v, s) {v, s},
#define FT_ERROR_START_LIST {
#define FT_ERROR_END_LIST };
constexpr FreeTypeErrorText kFreeTypeErrors[] =
#include FT_ERRORS_H
    // clang-format on

    const char * FreeTypeReason(FT_Error error) {
  for (const FreeTypeErrorText& entry : kFreeTypeErrors)
    if (entry.code == FT_ERROR_BASE(error)) return entry.text;
  return "unknown error";
}

void SetFreeTypeError(const char* path, FT_Error error) {
  Kanji_SetError("%s: FreeType cannot read it: %s", path, FreeTypeReason(error));
}

// FreeType's memory, so that running out of it can be told from a file
// FreeType cannot read: it tries every driver and reports the last one's
// complaint, which is then "unknown file format".
struct TrackedMemory {
  FT_MemoryRec_ memory;
  bool ranOut;
};

void* TrackedAlloc(FT_Memory memory, long size) {
  void* block = malloc(static_cast<size_t>(size));
  if (block == nullptr) static_cast<TrackedMemory*>(memory->user)->ranOut = true;
  return block;
}

void TrackedFree(FT_Memory, void* block) { free(block); }

void* TrackedRealloc(FT_Memory memory, long, long size, void* block) {
  void* grown = realloc(block, static_cast<size_t>(size));
  if (grown == nullptr) static_cast<TrackedMemory*>(memory->user)->ranOut = true;
  return grown;
}

struct OpenFace;
void Close(OpenFace* open);

// Closed however the load ends.
struct OpenFace {
  TrackedMemory memory{};
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~OpenFace() { Close(this); }
};

FT_Error OpenLibrary(OpenFace* open) {
  open->memory = TrackedMemory{{&open->memory, TrackedAlloc, TrackedFree, TrackedRealloc}, false};
  const FT_Error error = FT_New_Library(&open->memory.memory, &open->library);
  if (error != 0) return error;
  FT_Add_Default_Modules(open->library);
  FT_Set_Default_Properties(open->library);
  return 0;
}

// Face `faceIndex` of the font (-1: only its number of faces); false, with
// the reason recorded, when FreeType cannot read it.
bool Open(const FreeTypeSource& source, FT_Long faceIndex, OpenFace* open) {
  FT_Error error = OpenLibrary(open);
  if (error == 0)
    error = FT_New_Memory_Face(open->library, source.bytes, static_cast<FT_Long>(source.size),
                               faceIndex, &open->face);
  if (error == 0) return true;
  if (open->memory.ranOut || FT_ERROR_BASE(error) == FT_Err_Out_Of_Memory) {
    Kanji_SetError("%s: not enough memory for FreeType to read it", source.path);
  } else {
    SetFreeTypeError(source.path, error);
  }
  return false;
}

void Close(OpenFace* open) {
  if (open->face != nullptr) FT_Done_Face(open->face);
  if (open->library != nullptr) FT_Done_Library(open->library);
  open->face = nullptr;
  open->library = nullptr;
}

// The number of faces in the font, with face `faceIndex` open when it has
// it; -1 with the reason when FreeType cannot read the font, 0 when it lacks
// the face (nothing open then).
int OpenFaceOf(const FreeTypeSource& source, FT_Long faceIndex, OpenFace* open) {
  if (faceIndex == 0)  // every font has it: opened once
    return Open(source, 0, open)
               ? static_cast<int>(std::clamp<FT_Long>(open->face->num_faces, 1, INT_MAX))
               : -1;
  if (!Open(source, -1, open)) return -1;
  const int count = static_cast<int>(std::min<FT_Long>(open->face->num_faces, INT_MAX));
  Close(open);
  if (faceIndex >= count) {
    Kanji_SetError("%s: no face %ld; its faces are numbered from 0 to %d", source.path,
                   static_cast<long>(faceIndex), count - 1);
    return 0;
  }
  return Open(source, faceIndex, open) ? count : -1;
}

bool IsPcf(FT_Face face) {
  const char* format = FT_Get_Font_Format(face);
  return format != nullptr && strcmp(format, "PCF") == 0;
}

// The pixel size of a strike as FreeType matches it against a request.
int StrikeSize(const FT_Bitmap_Size& strike) { return static_cast<int>((strike.y_ppem + 32) >> 6); }

// "8, 12": the strikes of a bitmap-only font.
std::string StrikeList(FT_Face face) {
  std::string list;
  for (int i = 0; i < face->num_fixed_sizes; ++i)
    list += (i == 0 ? "" : ", ") + std::to_string(StrikeSize(face->available_sizes[i]));
  return list;
}

bool HasStrike(FT_Face face, int size) {
  for (int i = 0; i < face->num_fixed_sizes; ++i)
    if (StrikeSize(face->available_sizes[i]) == size) return true;
  return false;
}

int64_t FloorDivide(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// Rows from the cell's top to the baseline: size x A / (A - D), rounded half
// up, A and D the typographic ascender and descender (OS/2), else the face's.
int Baseline(FT_Face face, int size) {
  int64_t ascent = face->ascender, descent = face->descender;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 != nullptr && os2->version != 0xFFFF &&
      (os2->sTypoAscender != 0 || os2->sTypoDescender != 0)) {
    ascent = os2->sTypoAscender;
    descent = os2->sTypoDescender;
  }
  if (ascent - descent <= 0) return size;  // no usable metrics: glyphs stand on the bottom row
  return static_cast<int>(
      FloorDivide(2 * size * ascent + (ascent - descent), 2 * (ascent - descent)));
}

// ---- Placing rendered bitmaps -------------------------------------------------

// A mono line's `count` (up to 32) pixels from pixel `from`, the first in the
// highest bit; pixels outside the line's `bytes` bytes are blank.
uint32_t LineBits(const unsigned char* line, int64_t bytes, int64_t from, int count) {
  const int64_t firstByte = FloorDivide(from, 8);
  uint64_t gathered = 0;  // 40 pixels from firstByte's first
  for (int64_t b = firstByte; b < firstByte + 5; ++b)
    gathered = gathered << 8 | (b >= 0 && b < bytes ? line[b] : 0u);
  const int offset = static_cast<int>(from - firstByte * 8);
  const uint64_t mask = (uint64_t{1} << count) - 1;
  return static_cast<uint32_t>(gathered >> (40 - offset - count) & mask);
}

// Whether a mono line has ink in pixels `from` to `to` - 1 (within the line).
bool RangeHasInk(const unsigned char* line, int64_t from, int64_t to) {
  if (from >= to) return false;
  const int64_t first = from >> 3, last = (to - 1) >> 3;
  for (int64_t b = first; b <= last; ++b) {
    unsigned mask = 0xFFu;
    if (b == first) mask &= 0xFFu >> (from & 7);
    if (b == last) mask &= (0xFF00u >> (((to - 1) & 7) + 1)) & 0xFFu;
    if ((line[b] & mask) != 0) return true;
  }
  return false;
}

const unsigned char* BitmapLine(const FT_Bitmap& bitmap, unsigned k) {
  const int pitch = bitmap.pitch;
  return pitch >= 0 ? bitmap.buffer + static_cast<size_t>(k) * static_cast<size_t>(pitch)
                    : bitmap.buffer + (bitmap.rows - 1 - k) * static_cast<size_t>(-pitch);
}

// A mono line's pixels in the cell's columns, a row at a time; the CutSide
// bits of the ink left and right of them.
uint8_t PlaceMonoLine(const unsigned char* line, unsigned length, int left, int32_t* row,
                      int width) {
  const int64_t start = -int64_t{left};  // the line's pixel in column 0
  uint8_t sides = 0;
  if (RangeHasInk(line, 0, std::clamp<int64_t>(start, 0, length))) sides |= CutLeft;
  if (RangeHasInk(line, std::clamp<int64_t>(start + width, 0, length), length)) sides |= CutRight;
  if (row != nullptr) *row |= static_cast<int32_t>(LineBits(line, (length + 7) / 8, start, width));
  return sides;
}

// Gray strikes, rare, pixel by pixel: ink from half coverage.
uint8_t PlaceGrayLine(const unsigned char* line, unsigned length, int left, int32_t* row,
                      int width) {
  uint8_t sides = 0;
  for (unsigned c = 0; c < length; ++c) {
    if (line[c] < 128) continue;
    const int64_t column = int64_t{left} + c;
    if (column < 0) {
      sides |= CutLeft;
    } else if (column >= width) {
      sides |= CutRight;
    } else if (row != nullptr) {
      *row =
          static_cast<int32_t>(static_cast<uint32_t>(*row) | uint32_t{1} << (width - 1 - column));
    }
  }
  return sides;
}

// Copies a rendered bitmap into the target: its row k to row top + k, its
// pixel c to column left + c. Returns the CutSide bits of the ink outside.
uint8_t PlaceBitmap(const FT_Bitmap& bitmap, int64_t top, int left, const GlyphTarget& target) {
  const bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
  if (!mono && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return 0;
  uint8_t sides = 0;
  for (unsigned k = 0; k < bitmap.rows; ++k) {
    const int64_t row = top + k;
    const bool inside = row >= target.first && row < target.last;
    const unsigned char* line = BitmapLine(bitmap, k);
    int32_t rowBits = 0;
    uint8_t lineSides = mono ? PlaceMonoLine(line, bitmap.width, left, &rowBits, target.width)
                             : PlaceGrayLine(line, bitmap.width, left, &rowBits, target.width);
    if (inside) {
      target.rows[row] |= rowBits;
    } else if (rowBits != 0 || lineSides != 0) {
      lineSides |= row < target.first ? CutTop : CutBottom;
    }
    sides |= lineSides;
  }
  return sides;
}

// ---- Rendering outlines within reach of the cell -----------------------------

// Columns either side of the cell within which an outline is rendered whole.
constexpr int kSideRoom = 32;

struct PixelBox {
  int64_t top, bottom;  // cell rows, bottom exclusive
  int64_t left, right;  // cell columns, right exclusive
};

// The pixels an outline's control box can reach, a pixel wider on every side.
PixelBox ReachOf(const FT_Outline& outline, int baseline) {
  FT_BBox box;
  FT_Outline_Get_CBox(&outline, &box);
  return PixelBox{baseline - FloorDivide(box.yMax + 63, 64) - 1,
                  baseline - FloorDivide(box.yMin, 64) + 1, FloorDivide(box.xMin, 64) - 1,
                  FloorDivide(box.xMax + 63, 64) + 1};
}

bool Within(const PixelBox& reach, const PixelBox& window) {
  return reach.top >= window.top && reach.bottom <= window.bottom && reach.left >= window.left &&
         reach.right <= window.right;
}

// An outline reaching past the window is rendered only within it, into a
// bitmap the window's size; what lies beyond counts as cut.
uint8_t RenderClipped(FT_GlyphSlot glyph, int baseline, const PixelBox& window,
                      const PixelBox& reach, const GlyphTarget& target) {
  constexpr int kMaxRows = 3 * MaxCellSize, kPitch = (2 * kSideRoom + MaxCellSize) / 8;
  unsigned char buffer[kMaxRows * kPitch] = {};
  FT_Bitmap bitmap{};
  bitmap.rows = static_cast<unsigned>(std::min<int64_t>(window.bottom - window.top, kMaxRows));
  bitmap.width = static_cast<unsigned>(8 * kPitch);
  bitmap.pitch = kPitch;
  bitmap.buffer = buffer;
  bitmap.pixel_mode = FT_PIXEL_MODE_MONO;
  bitmap.num_grays = 2;
  // The bitmap's bottom-left corner is the outline's origin.
  FT_Outline_Translate(&glyph->outline, -window.left * 64,
                       -(baseline - window.top - static_cast<int64_t>(bitmap.rows)) * 64);
  uint8_t sides = 0;
  if (FT_Outline_Get_Bitmap(glyph->library, &glyph->outline, &bitmap) == 0)
    sides = PlaceBitmap(bitmap, window.top, static_cast<int>(window.left), target);
  if (reach.top < window.top) sides |= CutTop;
  if (reach.bottom > window.bottom) sides |= CutBottom;
  if (reach.left < window.left) sides |= CutLeft;
  if (reach.right > window.right) sides |= CutRight;
  return sides;
}

// ---- How outline glyphs become pixels ------------------------------------------

FT_Int32 LoadFlags(int rendering) {
  if (rendering == RenderAutohint) return FT_LOAD_FORCE_AUTOHINT | FT_LOAD_TARGET_MONO;
  if (rendering == RenderThreshold) return FT_LOAD_DEFAULT;
  return FT_LOAD_TARGET_MONO;
}

FT_Render_Mode RenderMode(int rendering) {
  return rendering == RenderThreshold ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
}

PixelBox WindowOf(const GlyphTarget& target) {
  return PixelBox{target.first, target.last, -kSideRoom, target.width + kSideRoom};
}

// An outline as FreeType renders it where it stays near the cell; rendering
// never costs more than the window around the cell, whatever the outline
// (beyond it, in one-bit rendering).
bool PlaceOutline(FT_GlyphSlot glyph, int baseline, int rendering, const GlyphTarget& target,
                  uint8_t* sides) {
  const PixelBox window = WindowOf(target);
  const PixelBox reach = ReachOf(glyph->outline, baseline);
  if (!Within(reach, window)) {
    *sides = RenderClipped(glyph, baseline, window, reach, target);
    return true;
  }
  if (FT_Render_Glyph(glyph, RenderMode(rendering)) != 0) return false;
  *sides =
      PlaceBitmap(glyph->bitmap, int64_t{baseline} - glyph->bitmap_top, glyph->bitmap_left, target);
  return true;
}

// ---- Latin in the half cell ---------------------------------------------------

bool PixelInked(const FT_Bitmap& bitmap, const unsigned char* line, unsigned c) {
  if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) return (line[c >> 3] & (0x80 >> (c & 7))) != 0;
  return bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && line[c] >= 128;
}

// The cell columns the rendered glyph inks, from `left` to `right`; false
// when it inks none.
bool InkSpan(const FT_GlyphSlot glyph, int* left, int* right) {
  const FT_Bitmap& bitmap = glyph->bitmap;
  int first = INT_MAX, last = -1;
  for (unsigned k = 0; k < bitmap.rows; ++k) {
    const unsigned char* line = BitmapLine(bitmap, k);
    for (unsigned c = 0; c < bitmap.width; ++c) {
      if (!PixelInked(bitmap, line, c)) continue;
      first = std::min(first, static_cast<int>(c));
      last = std::max(last, static_cast<int>(c));
    }
  }
  *left = glyph->bitmap_left + first;
  *right = glyph->bitmap_left + last;
  return last >= 0;
}

// Loads a glyph and renders it; false when FreeType fails.
bool RenderGlyph(FT_Face face, FT_UInt index, int rendering) {
  if (FT_Load_Glyph(face, index, LoadFlags(rendering)) != 0) return false;
  return face->glyph->format == FT_GLYPH_FORMAT_BITMAP ||
         FT_Render_Glyph(face->glyph, RenderMode(rendering)) == 0;
}

// The glyph rendered again, narrowed to `scale` (16.16) of its width.
bool RenderNarrowed(FT_Face face, FT_UInt index, int rendering, FT_Fixed scale) {
  FT_Matrix matrix{scale, 0, 0, 0x10000};
  FT_Set_Transform(face, &matrix, nullptr);
  const bool rendered = RenderGlyph(face, index, rendering);
  FT_Set_Transform(face, nullptr, nullptr);
  return rendered;
}

// Narrows a glyph whose ink is `inkWidth` columns until its ink is no wider
// than `width`: each try that still comes out too wide narrows it further.
// Where the fit comes out narrower than `width`, one wider try is kept if it
// fits too, so that the glyph loses no more width than it must.
bool Condense(FT_Face face, FT_UInt index, int rendering, int width, int inkWidth) {
  constexpr int kTries = 8;
  constexpr FT_Fixed kStep = 0x10000 / 128;
  FT_Fixed scale = FT_Fixed{0x10000} * width / inkWidth;
  for (int i = 0; i < kTries && scale > kStep; ++i) {
    if (!RenderNarrowed(face, index, rendering, scale)) return RenderGlyph(face, index, rendering);
    int left, right;
    if (!InkSpan(face->glyph, &left, &right)) return true;
    const int narrowed = right - left + 1;
    if (narrowed < width) {
      const bool widerFits = RenderNarrowed(face, index, rendering, scale * width / narrowed) &&
                             InkSpan(face->glyph, &left, &right) && right - left + 1 <= width;
      return widerFits || RenderNarrowed(face, index, rendering, scale);
    }
    if (narrowed == width) return true;
    scale = std::min(scale - kStep, scale * width / narrowed);
  }
  return true;
}

// The least move that puts ink from `left` to `right` within `width`
// columns; ink wider than that starts at column 0.
int MoveInto(int left, int right, int width) {
  if (left < 0 || right - left + 1 > width) return -left;
  return right >= width ? width - 1 - right : 0;
}

// A single-byte outline glyph, loaded, whose ink reaches past a side of the
// half cell moves into it, condensed first where its ink is wider. One that
// reaches far past the cell is placed as any outline is.
bool PlaceInHalfCell(FT_Face face, FT_UInt index, int rendering, int baseline,
                     const GlyphTarget& target, uint8_t* sides) {
  const FT_GlyphSlot glyph = face->glyph;
  if (!Within(ReachOf(glyph->outline, baseline), WindowOf(target)))
    return PlaceOutline(glyph, baseline, rendering, target, sides);
  if (FT_Render_Glyph(glyph, RenderMode(rendering)) != 0) return false;
  int left, right;
  if (InkSpan(glyph, &left, &right) && (left < 0 || right >= target.width)) {
    if (right - left + 1 > target.width &&
        !Condense(face, index, rendering, target.width, right - left + 1))
      return false;
    if (InkSpan(glyph, &left, &right)) glyph->bitmap_left += MoveInto(left, right, target.width);
  }
  *sides =
      PlaceBitmap(glyph->bitmap, int64_t{baseline} - glyph->bitmap_top, glyph->bitmap_left, target);
  return true;
}

// ---- sfnt ---------------------------------------------------------------------

// Sets the cell's size; false, with the reason recorded, when a bitmap-only
// font has no strike of it.
bool SizeSfnt(FT_Face face, const char* path, int size) {
  if (!FT_IS_SCALABLE(face) && !HasStrike(face, size)) {
    Kanji_SetError("%s: no %d-pixel strike; it has %s", path, size, StrikeList(face).c_str());
    return false;
  }
  const FT_Error error = FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size));
  if (error != 0) SetFreeTypeError(path, error);
  return error == 0;
}

// A glyph to render into an empty slot.
struct GlyphJob {
  int slot;
  FT_UInt index;
  int width;
  int jis;
  int codePoint;
};

constexpr FT_ULong kLastCodePoint = 0x10FFFF;

// Every Unicode character with a slot, in code point order: the first one
// for a slot wins, as in an ISO10646 BDF.
std::vector<GlyphJob> CollectJobs(const FontSet* font, FT_Face face, FontLoadReport* report) {
  std::vector<GlyphJob> jobs;
  std::vector<bool> taken(GlyphSlotCount);
  for (int slot = 0; slot < GlyphSlotCount; ++slot) taken[slot] = font->glyphs[slot] != nullptr;
  FT_UInt index = 0;
  // A cmap may run on past Unicode's last character, up to 2^32 codes: it
  // is left there.
  for (FT_ULong code = FT_Get_First_Char(face, &index); index != 0 && code <= kLastCodePoint;
       code = FT_Get_Next_Char(face, code, &index)) {
    const int jis = Kanji_UnicodeToJis(static_cast<int>(code));
    if (jis < 0) {
      ++report->codesSkipped;
      continue;
    }
    const int slot = Kanji_JisCodeSlot(jis);
    if (taken[slot]) continue;
    taken[slot] = true;
    jobs.push_back(
        {slot, index, jis < 256 ? font->halfWidth : font->size, jis, static_cast<int>(code)});
  }
  return jobs;
}

// Where glyphs stand: outlines on the baseline from the font's metrics,
// glyphs of an embedded strike on the strike's own.
struct Baselines {
  int outline;
  int strike;
};

// A strike's line metrics (EBLC, CBLC): its horizontal ascender, for the
// strike of `size` pixels, as FreeType picks it; -1 for none.
int StrikeAscender(FT_Face face, int size) {
  for (const FT_ULong tag : {TTAG_EBLC, TTAG_CBLC, TTAG_bloc}) {
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) != 0 || length < 8) continue;
    std::vector<unsigned char> table(length);
    if (FT_Load_Sfnt_Table(face, tag, 0, table.data(), &length) != 0) continue;
    const unsigned char* p = table.data();
    const uint64_t count = uint64_t{p[4]} << 24 | p[5] << 16 | p[6] << 8 | p[7];
    constexpr size_t kRecord = 48, kAscender = 16, kPpemY = 45;
    for (uint64_t i = 0; i < count && 8 + (i + 1) * kRecord <= length; ++i) {
      const unsigned char* record = p + 8 + i * kRecord;
      if (record[kPpemY] == size) return static_cast<signed char>(record[kAscender]);
    }
  }
  return -1;
}

Baselines BaselinesOf(FT_Face face, int size, int given) {
  if (given >= 0) return Baselines{given, given};
  const int outline = Baseline(face, size);
  const int strike = StrikeAscender(face, size);
  return Baselines{outline, strike >= 0 ? strike : outline};
}

// One job's glyph into its staged slot; false, the slot left empty, for a
// glyph FreeType cannot load or render. Strikes are taken as they are,
// whatever the options.
bool LoadJob(FT_Face face, GlyphStage* stage, FontSet* font, const GlyphJob& job,
             const Baselines& baselines, const FontLoadOptions& options, uint8_t* sides) {
  if (stage->slotRows[job.slot] == nullptr) return false;  // no memory was reserved for it
  if (FT_Load_Glyph(face, job.index, LoadFlags(options.rendering)) != 0) return false;
  const FT_GlyphSlot glyph = face->glyph;
  const GlyphTarget target = Kanji_StageSlot(stage, font, job.slot, job.width);
  bool placed = false;
  if (glyph->format == FT_GLYPH_FORMAT_OUTLINE && options.noCondense == 0 && job.jis < 256) {
    placed = PlaceInHalfCell(face, job.index, options.rendering, baselines.outline, target, sides);
  } else if (glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
    placed = PlaceOutline(glyph, baselines.outline, options.rendering, target, sides);
  } else if (glyph->format == FT_GLYPH_FORMAT_BITMAP) {
    *sides = PlaceBitmap(glyph->bitmap, int64_t{baselines.strike} - glyph->bitmap_top,
                         glyph->bitmap_left, target);
    placed = true;
  }
  if (!placed) font->glyphs[job.slot] = nullptr;
  return placed;
}

// What each job gave, written by the thread that did it: the CutSide bits
// it lost, or kJobFailed.
constexpr int16_t kJobFailed = -1;

// One share of the jobs (every `step`th from `first`), rendered with a face
// of its own: FreeType faces are not shared between threads.
struct JobShare {
  FontSet* font;
  GlyphStage* stage;
  FT_Face face;
  const std::vector<GlyphJob>* jobs;
  size_t first, step;
  Baselines baselines;
  int16_t* outcomes;
  FontLoadOptions options;
};

void RenderShare(JobShare* share) {
  const std::vector<GlyphJob>& jobs = *share->jobs;
  for (size_t i = share->first; i < jobs.size(); i += share->step) {
    uint8_t sides = 0;
    if (LoadJob(share->face, share->stage, share->font, jobs[i], share->baselines, share->options,
                &sides))
      share->outcomes[i] = sides;
  }
}

struct ShareThread {
  JobShare share;
  FreeTypeSource source;
  OpenFace open;
  pthread_t thread;
  bool started;
};

void* RunShareThread(void* argument) {
  auto* work = static_cast<ShareThread*>(argument);
  if (Open(work->source, work->share.options.face, &work->open) &&
      FT_Set_Pixel_Sizes(work->open.face, 0, static_cast<FT_UInt>(work->share.font->size)) == 0) {
    work->share.face = work->open.face;
    RenderShare(&work->share);
  }
  return nullptr;
}

// Rendering is most of the time an outline font takes, so the jobs are
// shared among threads where there are cores for them. Each slot is written
// by one thread only.
void RenderJobs(FontSet* font, FT_Face face, const FreeTypeSource& source,
                const std::vector<GlyphJob>& jobs, const FontLoadOptions& options,
                FontLoadReport* report, GlyphStage* stage) {
  constexpr size_t kMaxThreads = 4, kJobsPerThread = 512;
  const size_t count = std::clamp<size_t>(
      std::min<size_t>(static_cast<size_t>(ProcessorCount()), jobs.size() / kJobsPerThread), 1,
      kMaxThreads);
  const Baselines baselines = BaselinesOf(face, font->size, stage->givenBaseline);
  stage->baseline = HasStrike(face, font->size) ? baselines.strike : baselines.outline;
  std::vector<int16_t> outcomes(jobs.size(), kJobFailed);
  for (const GlyphJob& job : jobs) Kanji_ReserveSlot(stage, job.slot);
  ShareThread helpers[kMaxThreads - 1];
  for (size_t i = 1; i < count; ++i) {
    ShareThread& helper = helpers[i - 1];
    helper =
        ShareThread{{font, stage, nullptr, &jobs, i, count, baselines, outcomes.data(), options},
                    source,
                    {},
                    {},
                    false};
    helper.started = pthread_create(&helper.thread, nullptr, RunShareThread, &helper) == 0;
  }
  JobShare own{font, stage, face, &jobs, 0, count, baselines, outcomes.data(), options};
  RenderShare(&own);
  for (size_t i = 1; i < count; ++i) {
    ShareThread& helper = helpers[i - 1];
    if (helper.started) pthread_join(helper.thread, nullptr);
    if (helper.share.face != nullptr && helper.open.memory.ranOut)  // told by the load
      static_cast<TrackedMemory*>(face->memory->user)->ranOut = true;
    Close(&helper.open);
    if (helper.share.face == nullptr) {  // no thread or no face: this one does it
      helper.share.face = face;
      RenderShare(&helper.share);
    }
  }
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (outcomes[i] == kJobFailed) continue;
    ++report->glyphsLoaded;
    Kanji_StageGlyph(stage, jobs[i].slot, jobs[i].jis, static_cast<uint8_t>(outcomes[i]));
    Kanji_StageFallback(stage, font, jobs[i].codePoint, jobs[i].slot);
  }
}

int LoadSfnt(FontSet* font, FT_Face face, const FreeTypeSource& source,
             const FontLoadOptions& options, FontLoadReport* report, GlyphStage* stage) {
  report->charset = CharsetUnicode;
  snprintf(report->registry, sizeof report->registry, "ISO10646-1");
  if (!SizeSfnt(face, source.path, font->size)) return -1;
  stage->fittable = true;  // outlines, or a strike of the font's own size
  if (!FT_IS_SCALABLE(face) && face->num_fixed_sizes == 1) stage->namedSize = font->size;
  // A font without Unicode characters fills nothing; the caller says so.
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0)
    RenderJobs(font, face, source, CollectJobs(font, face, report), options, report, stage);
  return 0;
}

// ---- PCF ------------------------------------------------------------------------

// A string property, or null.
const char* AtomProperty(FT_Face face, const char* name) {
  BDF_PropertyRec property;
  if (FT_Get_BDF_Property(face, name, &property) != 0) return nullptr;
  return property.type == BDF_PROPERTY_TYPE_ATOM ? property.u.atom : nullptr;
}

// A number property; false when there is none.
bool NumberProperty(FT_Face face, const char* name, int* value) {
  BDF_PropertyRec property;
  if (FT_Get_BDF_Property(face, name, &property) != 0) return false;
  if (property.type == BDF_PROPERTY_TYPE_INTEGER) {
    *value = property.u.integer;
  } else if (property.type == BDF_PROPERTY_TYPE_CARDINAL) {
    *value = static_cast<int>(std::min<FT_UInt32>(property.u.cardinal, INT32_MAX));
  } else {
    return false;
  }
  return true;
}

// The font's bounding box as its BDF states it in FONTBOUNDINGBOX: the
// union of every glyph's box.
struct PcfBounds {
  int left, bottom, top;
};

PcfBounds BoundsOf(FT_Face face) {
  PcfBounds bounds{0, 0, 0};
  bool any = false;
  for (FT_Long index = 0; index < face->num_glyphs; ++index) {
    if (FT_Load_Glyph(face, static_cast<FT_UInt>(index), FT_LOAD_BITMAP_METRICS_ONLY) != 0)
      continue;
    const FT_GlyphSlot glyph = face->glyph;
    const int bottom = glyph->bitmap_top - static_cast<int>(glyph->bitmap.rows);
    if (!any) bounds = PcfBounds{glyph->bitmap_left, bottom, glyph->bitmap_top};
    any = true;
    bounds.left = std::min(bounds.left, glyph->bitmap_left);
    bounds.bottom = std::min(bounds.bottom, bottom);
    bounds.top = std::max(bounds.top, glyph->bitmap_top);
  }
  return bounds;
}

// FONT_ASCENT as a property, else as the font's metrics give it, which is
// what a BDF of the font states.
int PcfAscent(FT_Face face) {
  int ascent = 0;
  if (NumberProperty(face, "FONT_ASCENT", &ascent)) return ascent;
  return face->size != nullptr ? static_cast<int>(face->size->metrics.ascender >> 6) : 0;
}

struct CodedGlyph {
  FT_UInt index;
  FT_ULong code;
};

// The font's codes in glyph order, the order of the glyphs in its BDF, in
// which the first glyph for a slot wins. The font's one charmap holds its
// own codes: Unicode for ISO10646, JIS codes as they are for JIS X 0208.
std::vector<CodedGlyph> GlyphsInFileOrder(FT_Face face) {
  std::vector<CodedGlyph> glyphs;
  if (face->charmap == nullptr && face->num_charmaps > 0) FT_Set_Charmap(face, face->charmaps[0]);
  if (face->charmap == nullptr) return glyphs;
  FT_UInt index = 0;
  for (FT_ULong code = FT_Get_First_Char(face, &index); index != 0;
       code = FT_Get_Next_Char(face, code, &index))
    glyphs.push_back({index, code});
  std::sort(glyphs.begin(), glyphs.end(), [](const CodedGlyph& a, const CodedGlyph& b) {
    return a.index != b.index ? a.index < b.index : a.code < b.code;
  });
  return glyphs;
}

// The glyph's lines as a BDF states them, each Kanji_BoxLineBytes wide and
// `stride` bytes apart: FreeType's own rows where they hold that many bytes
// top down, else copied into `lines`.
const uint8_t* BdfLines(const FT_Bitmap& bitmap, int lineBytes, std::vector<uint8_t>* lines,
                        size_t* stride) {
  *stride = static_cast<size_t>(lineBytes);
  if (bitmap.pitch >= lineBytes && bitmap.buffer != nullptr) {
    *stride = static_cast<size_t>(bitmap.pitch);
    return bitmap.buffer;
  }
  lines->assign(static_cast<size_t>(bitmap.rows) * lineBytes, 0);
  const size_t pitch = static_cast<size_t>(bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch);
  const size_t taken = std::min(pitch, static_cast<size_t>(lineBytes));
  if (taken == 0 || bitmap.buffer == nullptr) return lines->data();  // no width, no buffer
  for (unsigned k = 0; k < bitmap.rows; ++k)
    memcpy(lines->data() + static_cast<size_t>(k) * lineBytes, bitmap.buffer + k * pitch, taken);
  return lines->data();
}

void LoadPcfGlyph(FontSet* font, FT_Face face, const CodedGlyph& coded, const CellPlacement& cell,
                  std::vector<uint8_t>* lines, FontLoadReport* report, GlyphStage* stage) {
  const int code = coded.code > INT32_MAX ? -1 : static_cast<int>(coded.code);
  const CodePlace place = Kanji_PlaceCode(report->charset, code);
  if (place.slot < 0) {
    ++report->codesSkipped;
    return;
  }
  const bool freeCode = Kanji_IsFreeJisCode(place.jis) && Kanji_ReadsFreeCodes(*report);
  if (!freeCode && font->glyphs[place.slot] != nullptr) return;
  if (FT_Load_Glyph(face, coded.index, FT_LOAD_DEFAULT) != 0) return;
  const FT_GlyphSlot glyph = face->glyph;
  if (glyph->format != FT_GLYPH_FORMAT_BITMAP || glyph->bitmap.pixel_mode != FT_PIXEL_MODE_MONO)
    return;
  const int rowCount = static_cast<int>(std::min<unsigned>(glyph->bitmap.rows, kMaxBoxValue));
  const GlyphBox box{static_cast<int>(std::min<unsigned>(glyph->bitmap.width, kMaxBoxValue)),
                     rowCount, std::clamp<int>(glyph->bitmap_left, -kMaxBoxValue, kMaxBoxValue),
                     std::clamp<int>(glyph->bitmap_top - rowCount, -kMaxBoxValue, kMaxBoxValue)};
  size_t stride;
  const uint8_t* bytes = BdfLines(glyph->bitmap, Kanji_BoxLineBytes(box.width), lines, &stride);
  if (freeCode) {
    const GlyphTarget scratch = Kanji_ScratchTarget(stage, font->size);
    Kanji_StageFreeCodeGlyph(stage, font, place.jis,
                             Kanji_PlaceGlyph(box, cell, bytes, rowCount, scratch, stride), report);
    return;
  }
  ++report->glyphsLoaded;
  const int width = place.halfWidth ? font->halfWidth : font->size;
  const GlyphTarget target = Kanji_StageSlot(stage, font, place.slot, width);
  Kanji_StageGlyph(stage, place.slot, place.jis,
                   Kanji_PlaceGlyph(box, cell, bytes, rowCount, target, stride));
  if (report->charset == CharsetUnicode) Kanji_StageFallback(stage, font, code, place.slot);
}

// The size a PCF names: its XLFD name's, else PIXEL_SIZE, else its box's height.
int PcfNamedSize(FT_Face face, const PcfBounds& bounds, FontSizeSource* source) {
  int size = Kanji_XlfdPixelSize(AtomProperty(face, "FONT"));
  *source = SizeFromFontName;
  if (size > 0) return size;
  *source = SizeFromPixelSize;
  if (NumberProperty(face, "PIXEL_SIZE", &size) && size > 0) return size;
  *source = SizeFromBox;
  return std::max(bounds.top - bounds.bottom, 0);
}

// What the fit needs to know of a PCF, as SettleStage finds it in a BDF.
// FONT_ASCENT + FONT_DESCENT or the bounding box's height, the most a PCF's
// own size may grow to.
int PcfSizeLimit(FT_Face face, int ascent, const PcfBounds& bounds) {
  int descent = 0;
  if (!NumberProperty(face, "FONT_DESCENT", &descent) && face->size != nullptr)
    descent = static_cast<int>(-face->size->metrics.descender >> 6);
  return std::clamp(std::max(ascent + descent, bounds.top - bounds.bottom), 0,
                    static_cast<int>(MaxCellSize));
}

void SettlePcfStage(FT_Face face, int ascent, GlyphStage* stage) {
  const PcfBounds bounds = BoundsOf(face);
  FontSizeSource source;
  stage->namedSize = PcfNamedSize(face, bounds, &source);
  stage->sizeLimit = PcfSizeLimit(face, ascent, bounds);
  stage->baseline = ascent;
  stage->fittable = stage->namedSize > 0 && stage->size >= stage->namedSize;
}

int LoadPcf(FontSet* font, FT_Face face, FontLoadReport* report, GlyphStage* stage) {
  const char* registry = nullptr;
  const char* encoding = nullptr;
  if (FT_Get_BDF_Charset_ID(face, &encoding, &registry) != 0) registry = encoding = nullptr;
  Kanji_SettleCharset(registry, encoding, AtomProperty(face, "FONT"), report);
  if (report->charset == CharsetRefused) return 0;
  if (face->num_fixed_sizes > 0) FT_Select_Size(face, 0);
  const int ascent = PcfAscent(face);
  SettlePcfStage(face, ascent, stage);
  const CellPlacement cell{stage->givenBaseline >= 0 ? stage->givenBaseline : ascent};
  std::vector<uint8_t> lines;
  for (const CodedGlyph& coded : GlyphsInFileOrder(face))
    LoadPcfGlyph(font, face, coded, cell, &lines, report, stage);
  return 0;
}

int PcfPixelSize(FT_Face face, const char* path, FontSizeSource* source, int* limit) {
  if (face->num_fixed_sizes > 0) FT_Select_Size(face, 0);
  const PcfBounds bounds = BoundsOf(face);
  *limit = PcfSizeLimit(face, PcfAscent(face), bounds);
  const int size = PcfNamedSize(face, bounds, source);
  if (size == 0) Kanji_SetError("%s names no size (neither PIXEL_SIZE nor a bounding box)", path);
  return size;
}

}  // namespace

int Kanji_LoadFreeTypeFont(FontSet* font, const FreeTypeSource& source,
                           const FontLoadOptions& options, FontLoadReport* report,
                           GlyphStage* stage) {
  OpenFace open;
  int result = -1;
  if (OpenFaceOf(source, options.face, &open) > 0 &&
      Kanji_StartStage(stage, font->size, stage->givenBaseline)) {
    if (IsPcf(open.face)) {
      result = LoadPcf(font, open.face, report, stage);
    } else {
      result = LoadSfnt(font, open.face, source, options, report, stage);
    }
    // Glyphs FreeType had no memory for would be missing without a word.
    if (result == 0 && open.memory.ranOut) {
      Kanji_SetError("%s: not enough memory for FreeType to render it", source.path);
      result = -1;
    }
    if (!Kanji_CommitStage(stage, font, report)) result = -1;
  }
  Close(&open);
  return result;
}

int Kanji_FreeTypePixelSize(const FreeTypeSource& font, FontSizeSource* from, int* limit) {
  OpenFace open;
  int size = -1;
  const char* path = font.path;
  if (Open(font, 0, &open)) {
    FT_Face face = open.face;
    if (IsPcf(face)) {
      size = PcfPixelSize(face, path, from, limit);
    } else if (FT_IS_SCALABLE(face)) {
      Kanji_SetError("%s is an outline font, which has no size of its own", path);
      size = 0;
    } else if (face->num_fixed_sizes == 1) {
      size = StrikeSize(face->available_sizes[0]);
      *from = SizeFromStrike;
    } else {
      Kanji_SetError("%s has strikes of %s pixels", path, StrikeList(face).c_str());
      size = 0;
    }
  }
  Close(&open);
  return size;
}

// Face 0, opened to count the faces, is named as it stands.
int Kanji_FreeTypeFaces(const FreeTypeSource& font, FontFaceName* faces, int room) {
  OpenFace open;
  const int count = OpenFaceOf(font, 0, &open);
  for (int i = 0; i < std::min(count, room); ++i) {
    faces[i] = FontFaceName{};
    if (i > 0 && !Open(font, i, &open)) return -1;
    snprintf(faces[i].family, sizeof faces[i].family, "%s",
             open.face->family_name != nullptr ? open.face->family_name : "");
    snprintf(faces[i].style, sizeof faces[i].style, "%s",
             open.face->style_name != nullptr ? open.face->style_name : "");
    Close(&open);
  }
  return count;
}
