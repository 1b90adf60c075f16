// Fonts read through FreeType: PCF (plain or gzip), TrueType, OpenType,
// collections and bitmap-only sfnt. PCF glyphs go through the placement of
// BDF glyphs, so a PCF gives what its BDF gives; sfnt glyphs are rendered at
// the cell size and placed under a baseline taken from the font's metrics.
#include "kanji_internal.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BDF_H
#include FT_FONT_FORMATS_H
#include FT_TRUETYPE_TABLES_H

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
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

struct OpenFace {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
};

// Face `faceIndex` of the file; false, with the reason recorded, when
// FreeType cannot read it.
bool Open(const char* path, FT_Long faceIndex, OpenFace* open) {
  FT_Error error = FT_Init_FreeType(&open->library);
  if (error == 0) error = FT_New_Face(open->library, path, faceIndex, &open->face);
  if (error == 0) return true;
  SetFreeTypeError(path, error);
  return false;
}

void Close(OpenFace* open) {
  if (open->face != nullptr) FT_Done_Face(open->face);
  if (open->library != nullptr) FT_Done_FreeType(open->library);
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

bool PixelInked(const FT_Bitmap& bitmap, const unsigned char* line, unsigned c) {
  if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) return (line[c >> 3] & (0x80 >> (c & 7))) != 0;
  if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) return line[c] >= 128;
  return false;
}

// Copies a rendered bitmap into zeroed rows of a cell `size` high and `width`
// wide: its row k to row top + k, its pixel c to column left + c. True when
// ink fell outside the cell.
bool PlaceBitmap(const FT_Bitmap& bitmap, int top, int left, int32_t* rows, int size, int width) {
  bool cut = false;
  const int pitch = bitmap.pitch;
  for (unsigned k = 0; k < bitmap.rows; ++k) {
    const unsigned char* line = pitch >= 0 ? bitmap.buffer + static_cast<size_t>(k) * pitch
                                           : bitmap.buffer + (bitmap.rows - 1 - k) * size_t(-pitch);
    const int64_t row = int64_t{top} + k;
    for (unsigned c = 0; c < bitmap.width; ++c) {
      if (!PixelInked(bitmap, line, c)) continue;
      const int64_t column = int64_t{left} + c;
      if (row < 0 || row >= size || column < 0 || column >= width) {
        cut = true;
        continue;
      }
      rows[row] = static_cast<int32_t>(static_cast<uint32_t>(rows[row]) |
                                       uint32_t{1} << (width - 1 - column));
    }
  }
  return cut;
}

// The number of faces in the file, and face `faceIndex` opened when it has
// it; -1 with the reason when FreeType cannot read the file, 0 when it
// lacks the face (nothing open then).
int OpenFaceOf(const char* path, FT_Long faceIndex, OpenFace* open) {
  if (!Open(path, -1, open)) return -1;
  const int count = static_cast<int>(std::min<FT_Long>(open->face->num_faces, INT_MAX));
  Close(open);
  *open = OpenFace{};
  if (faceIndex >= count) {
    Kanji_SetError("%s: no face %ld; its faces are numbered from 0 to %d", path,
                   static_cast<long>(faceIndex), count - 1);
    return 0;
  }
  return Open(path, faceIndex, open) ? count : -1;
}

int32_t* TakeSlot(FontSet* font, int slot) {
  int32_t* rows = font->rowPool + static_cast<size_t>(slot) * static_cast<size_t>(font->size);
  std::fill(rows, rows + font->size, 0);
  font->glyphs[slot] = rows;
  return rows;
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

// ---- How outline glyphs become pixels ------------------------------------------

FT_Int32 LoadFlags(int rendering) {
  if (rendering == RenderAutohint) return FT_LOAD_FORCE_AUTOHINT | FT_LOAD_TARGET_MONO;
  if (rendering == RenderThreshold) return FT_LOAD_DEFAULT;
  return FT_LOAD_TARGET_MONO;
}

FT_Render_Mode RenderMode(int rendering) {
  return rendering == RenderThreshold ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
}

// Loads a glyph and renders its outline, telling whether it had one; a
// strike's bitmap is taken as it is. The bitmap is face->glyph's; false when
// FreeType fails.
bool RenderGlyph(FT_Face face, FT_UInt index, int rendering, bool* outline = nullptr) {
  if (FT_Load_Glyph(face, index, LoadFlags(rendering)) != 0) return false;
  const bool bitmap = face->glyph->format == FT_GLYPH_FORMAT_BITMAP;
  if (outline != nullptr) *outline = !bitmap;
  return bitmap || FT_Render_Glyph(face->glyph, RenderMode(rendering)) == 0;
}

// The columns of the cell the rendered glyph inks, from `left` to `right`;
// false when it inks none.
bool InkSpan(const FT_GlyphSlot glyph, int* left, int* right) {
  const FT_Bitmap& bitmap = glyph->bitmap;
  const size_t pitch = static_cast<size_t>(bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch);
  int first = INT_MAX, last = -1;
  for (unsigned k = 0; k < bitmap.rows; ++k)
    for (unsigned c = 0; c < bitmap.width; ++c)
      if (PixelInked(bitmap, bitmap.buffer + k * pitch, c)) {
        first = std::min(first, static_cast<int>(c));
        last = std::max(last, static_cast<int>(c));
      }
  *left = glyph->bitmap_left + first;
  *right = glyph->bitmap_left + last;
  return last >= 0;
}

// The least move that puts ink from `left` to `right` within `width`
// columns; ink wider than that starts at column 0.
int MoveInto(int left, int right, int width) {
  if (left < 0 || right - left + 1 > width) return -left;
  return right >= width ? width - 1 - right : 0;
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

// A rendered outline glyph whose ink reaches past a side of the half cell
// moves into it, condensed first where its ink is wider; `move` is the
// columns to add to its left edge.
bool FitHalfCell(FT_Face face, FT_UInt index, int rendering, int width, int* move) {
  *move = 0;
  int left, right;
  if (!InkSpan(face->glyph, &left, &right) || (left >= 0 && right < width)) return true;
  if (right - left + 1 > width) {
    if (!Condense(face, index, rendering, width, right - left + 1)) return false;
    if (!InkSpan(face->glyph, &left, &right)) return true;
  }
  *move = MoveInto(left, right, width);
  return true;
}

// A glyph to render into an empty slot.
struct GlyphJob {
  int slot;
  FT_UInt index;
  int width;
  int jis;
  int codePoint;
};

// Every Unicode character with a slot, in code point order: the first one
// for a slot wins, as in an ISO10646 BDF.
std::vector<GlyphJob> CollectJobs(const FontSet* font, FT_Face face, FontLoadReport* report) {
  std::vector<GlyphJob> jobs;
  std::vector<bool> taken(GlyphSlotCount);
  for (int slot = 0; slot < GlyphSlotCount; ++slot) taken[slot] = font->glyphs[slot] != nullptr;
  FT_UInt index = 0;
  for (FT_ULong code = FT_Get_First_Char(face, &index); index != 0;
       code = FT_Get_Next_Char(face, code, &index)) {
    const int jis = code > 0x10FFFF ? -1 : Kanji_UnicodeToJis(static_cast<int>(code));
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

// One share of the jobs (every `step`th from `first`), rendered with a face
// of its own: FreeType faces are not shared between threads.
// What each job gave, written by the thread that did it.
enum JobOutcome : char { JobFailed, JobLoaded, JobCut };

struct JobShare {
  FontSet* font;
  FT_Face face;
  const std::vector<GlyphJob>* jobs;
  size_t first, step;
  int baseline;
  JobOutcome* outcomes;
  FontLoadOptions options;
};

// A job's glyph rendered as the options ask; `move` shifts it sideways.
// Single-byte outline glyphs are fitted to the half cell; strikes cannot be.
bool RenderJob(FT_Face face, const GlyphJob& job, const FontLoadOptions& options, int halfWidth,
               int* move) {
  *move = 0;
  bool outline = false;
  if (!RenderGlyph(face, job.index, options.rendering, &outline)) return false;
  const bool fit = outline && options.noCondense == 0 && job.jis < 256;
  return !fit || FitHalfCell(face, job.index, options.rendering, halfWidth, move);
}

void RenderShare(JobShare* share) {
  FontSet* font = share->font;
  const std::vector<GlyphJob>& jobs = *share->jobs;
  for (size_t i = share->first; i < jobs.size(); i += share->step) {
    int move;
    if (!RenderJob(share->face, jobs[i], share->options, font->halfWidth, &move))
      continue;  // a broken glyph leaves its slot empty
    const FT_GlyphSlot glyph = share->face->glyph;
    int32_t* rows = TakeSlot(font, jobs[i].slot);
    const bool cut = PlaceBitmap(glyph->bitmap, share->baseline - glyph->bitmap_top,
                                 glyph->bitmap_left + move, rows, font->size, jobs[i].width);
    share->outcomes[i] = cut ? JobCut : JobLoaded;
  }
}

struct ShareThread {
  JobShare share;
  const char* path;
  FT_Long faceIndex;
  OpenFace open;
  pthread_t thread;
  bool started;
};

void* RunShareThread(void* argument) {
  auto* work = static_cast<ShareThread*>(argument);
  if (Open(work->path, work->faceIndex, &work->open) &&
      FT_Set_Pixel_Sizes(work->open.face, 0, static_cast<FT_UInt>(work->share.font->size)) == 0) {
    work->share.face = work->open.face;
    RenderShare(&work->share);
  }
  return nullptr;
}

// Rendering is most of the time an outline font takes, so the jobs are
// shared among threads where there are cores for them. Each slot is written
// by one thread only.
void RenderJobs(FontSet* font, FT_Face face, const char* path, const std::vector<GlyphJob>& jobs,
                const FontLoadOptions& options, FontLoadReport* report) {
  constexpr size_t kMaxThreads = 4, kJobsPerThread = 512;
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  const size_t count = std::clamp<size_t>(
      std::min<size_t>(cores > 0 ? static_cast<size_t>(cores) : 1, jobs.size() / kJobsPerThread), 1,
      kMaxThreads);
  const int baseline = Baseline(face, font->size);
  std::vector<JobOutcome> outcomes(jobs.size(), JobFailed);
  ShareThread helpers[kMaxThreads - 1];
  for (size_t i = 1; i < count; ++i) {
    ShareThread& helper = helpers[i - 1];
    helper = ShareThread{{font, nullptr, &jobs, i, count, baseline, outcomes.data(), options},
                         path,
                         face->face_index,
                         {},
                         {},
                         false};
    helper.started = pthread_create(&helper.thread, nullptr, RunShareThread, &helper) == 0;
  }
  JobShare own{font, face, &jobs, 0, count, baseline, outcomes.data(), options};
  RenderShare(&own);
  for (size_t i = 1; i < count; ++i) {
    ShareThread& helper = helpers[i - 1];
    if (helper.started) pthread_join(helper.thread, nullptr);
    Close(&helper.open);
    if (helper.share.face == nullptr) {  // no thread or no face: this one does it
      helper.share.face = face;
      RenderShare(&helper.share);
    }
  }
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (outcomes[i] == JobFailed) continue;
    ++report->glyphsLoaded;
    if (outcomes[i] == JobCut) Kanji_NoteCut(report, jobs[i].jis);
    Kanji_FillFallbackSlot(font, jobs[i].codePoint, jobs[i].slot);
  }
}

int LoadSfnt(FontSet* font, FT_Face face, const char* path, const FontLoadOptions& options,
             FontLoadReport* report) {
  report->charset = CharsetUnicode;
  snprintf(report->registry, sizeof report->registry, "ISO10646-1");
  if (!SizeSfnt(face, path, font->size)) return -1;
  // A font without Unicode characters fills nothing; the caller says so.
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0)
    RenderJobs(font, face, path, CollectJobs(font, face, report), options, report);
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

// The glyph's lines as a BDF states them, each Kanji_BoxLineBytes wide.
void BdfLines(const FT_Bitmap& bitmap, int lineBytes, std::vector<uint8_t>* lines) {
  lines->assign(static_cast<size_t>(bitmap.rows) * lineBytes, 0);
  const size_t pitch = static_cast<size_t>(bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch);
  const size_t taken = std::min(pitch, static_cast<size_t>(lineBytes));
  for (unsigned k = 0; k < bitmap.rows; ++k)
    memcpy(lines->data() + static_cast<size_t>(k) * lineBytes, bitmap.buffer + k * pitch, taken);
}

// Where a PCF glyph goes; its lines are read for those of free codes.
struct PcfLoad {
  const CellPlacement* cell;
  std::vector<uint8_t>* lines;
  std::vector<HeldGlyph>* held;
  bool freeCodes;
};

void LoadPcfGlyph(FontSet* font, FT_Face face, const CodedGlyph& coded, const PcfLoad& load,
                  FontLoadReport* report) {
  const int code = coded.code > INT32_MAX ? -1 : static_cast<int>(coded.code);
  const CodePlace place = Kanji_PlaceCode(report->charset, code);
  if (place.slot < 0) {
    ++report->codesSkipped;
    return;
  }
  const bool freeCode = load.freeCodes && Kanji_IsFreeJisCode(place.jis);
  if (!freeCode && font->glyphs[place.slot] != nullptr) return;
  if (FT_Load_Glyph(face, coded.index, FT_LOAD_DEFAULT) != 0) return;
  const FT_GlyphSlot glyph = face->glyph;
  if (glyph->format != FT_GLYPH_FORMAT_BITMAP || glyph->bitmap.pixel_mode != FT_PIXEL_MODE_MONO)
    return;
  const int rowCount = static_cast<int>(std::min<unsigned>(glyph->bitmap.rows, kMaxBoxValue));
  const GlyphBox box{static_cast<int>(std::min<unsigned>(glyph->bitmap.width, kMaxBoxValue)),
                     rowCount, std::clamp<int>(glyph->bitmap_left, -kMaxBoxValue, kMaxBoxValue),
                     std::clamp<int>(glyph->bitmap_top - rowCount, -kMaxBoxValue, kMaxBoxValue)};
  std::vector<uint8_t>* lines = load.lines;
  BdfLines(glyph->bitmap, Kanji_BoxLineBytes(box.width), lines);
  if (freeCode) {
    std::vector<int32_t> rows(static_cast<size_t>(font->size));
    const bool cut = Kanji_PlaceGlyph(box, *load.cell, lines->data(), rowCount, rows.data(),
                                      font->size, font->size);
    Kanji_TakeFreeCodeGlyph(font, place.jis, rows.data(), cut, load.held, report);
    return;
  }
  int32_t* rows = TakeSlot(font, place.slot);
  ++report->glyphsLoaded;
  const int width = place.halfWidth ? font->halfWidth : font->size;
  if (Kanji_PlaceGlyph(box, *load.cell, lines->data(), rowCount, rows, font->size, width))
    Kanji_NoteCut(report, place.jis);
  if (report->charset == CharsetUnicode) Kanji_FillFallbackSlot(font, code, place.slot);
}

int LoadPcf(FontSet* font, FT_Face face, FontLoadReport* report) {
  const char* registry = nullptr;
  const char* encoding = nullptr;
  if (FT_Get_BDF_Charset_ID(face, &encoding, &registry) != 0) registry = encoding = nullptr;
  Kanji_SettleCharset(registry, encoding, AtomProperty(face, "FONT"), report);
  if (report->charset == CharsetRefused) return 0;
  if (face->num_fixed_sizes > 0) FT_Select_Size(face, 0);
  const CellPlacement cell{PcfAscent(face), BoundsOf(face).left};
  std::vector<uint8_t> lines;
  std::vector<HeldGlyph> held;
  const PcfLoad load{&cell, &lines, &held, Kanji_ReadsFreeCodes(*report)};
  for (const CodedGlyph& coded : GlyphsInFileOrder(face))
    LoadPcfGlyph(font, face, coded, load, report);
  Kanji_PlaceHeldGlyphs(font, held, report);
  return 0;
}

// PIXEL_SIZE, else the height of the font's bounding box.
int PcfPixelSize(FT_Face face, const char* path) {
  int size = 0;
  if (NumberProperty(face, "PIXEL_SIZE", &size) && size > 0) return size;
  const PcfBounds bounds = BoundsOf(face);
  if (bounds.top - bounds.bottom > 0) return bounds.top - bounds.bottom;
  Kanji_SetError("%s names no size (neither PIXEL_SIZE nor a bounding box)", path);
  return 0;
}

}  // namespace

int Kanji_LoadFreeTypeFont(FontSet* font, const char* path, const FontLoadOptions& options,
                           FontLoadReport* report) {
  OpenFace open;
  int result = -1;
  if (OpenFaceOf(path, options.face, &open) > 0) {
    if (IsPcf(open.face)) {
      result = LoadPcf(font, open.face, report);
    } else {
      result = LoadSfnt(font, open.face, path, options, report);
    }
  }
  Close(&open);
  return result;
}

int Kanji_FreeTypePixelSize(const char* path) {
  OpenFace open;
  int size = -1;
  if (Open(path, 0, &open)) {
    FT_Face face = open.face;
    if (IsPcf(face)) {
      size = PcfPixelSize(face, path);
    } else if (FT_IS_SCALABLE(face)) {
      Kanji_SetError("%s is an outline font, which has no size of its own", path);
      size = 0;
    } else if (face->num_fixed_sizes == 1) {
      size = StrikeSize(face->available_sizes[0]);
    } else {
      Kanji_SetError("%s has strikes of %s pixels", path, StrikeList(face).c_str());
      size = 0;
    }
  }
  Close(&open);
  return size;
}

int Kanji_FreeTypeFaces(const char* path, FontFaceName* faces, int room) {
  OpenFace open;
  const int count = OpenFaceOf(path, 0, &open);
  Close(&open);
  for (int i = 0; i < std::min(count, room); ++i) {
    faces[i] = FontFaceName{};
    open = OpenFace{};
    if (!Open(path, i, &open)) {
      Close(&open);
      return -1;
    }
    snprintf(faces[i].family, sizeof faces[i].family, "%s",
             open.face->family_name != nullptr ? open.face->family_name : "");
    snprintf(faces[i].style, sizeof faces[i].style, "%s",
             open.face->style_name != nullptr ? open.face->style_name : "");
    Close(&open);
  }
  return count;
}
