// The cell size a font names for itself, for runs that give none.
#include "kanji_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace {

bool IsProperty(const char* line, const char* name) {
  const size_t length = strlen(name);
  return strncmp(line, name, length) == 0 && (line[length] == ' ' || line[length] == '\t');
}

// The pixel size of the XLFD FONT name, else PIXEL_SIZE, else the
// FONTBOUNDINGBOX height, from the lines before the first glyph.
int BdfPixelSize(gzFile file, const char* path, FontSizeSource* source, int* limit) {
  auto reader = std::make_unique<BdfLineReader>();
  Kanji_InitLineReader(reader.get(), file);
  int nameSize = 0, pixelSize = 0, boxHeight = 0, ascent = 0, descent = 0;
  while (Kanji_NextLine(reader.get())) {
    const char* line = reader->line;
    if (IsProperty(line, "STARTCHAR") || IsProperty(line, "ENCODING")) break;
    if (IsProperty(line, "FONT")) {
      const char* name = line + 5;
      while (*name == ' ' || *name == '\t') ++name;
      nameSize = Kanji_XlfdPixelSize(name);
    }
    if (IsProperty(line, "PIXEL_SIZE")) pixelSize = Kanji_ParseDecimal(line + 10);
    if (IsProperty(line, "FONT_ASCENT")) ascent = Kanji_ParseDecimal(line + 11);
    if (IsProperty(line, "FONT_DESCENT")) descent = Kanji_ParseDecimal(line + 12);
    if (IsProperty(line, "FONTBOUNDINGBOX")) {
      char* after = nullptr;
      strtol(line + 15, &after, 10);  // the width
      boxHeight = Kanji_ParseDecimal(after);
    }
  }
  *limit =
      std::max(static_cast<int>(std::clamp<int64_t>(int64_t{ascent} + descent, 0, MaxCellSize)),
               std::clamp(boxHeight, 0, static_cast<int>(MaxCellSize)));
  const int sizes[] = {nameSize, pixelSize, boxHeight};
  const FontSizeSource sources[] = {SizeFromFontName, SizeFromPixelSize, SizeFromBox};
  for (int i = 0; i < 3; ++i) {
    *source = sources[i];
    if (sizes[i] > 0) return sizes[i];
  }
  Kanji_SetError("%s names no size (neither PIXEL_SIZE nor FONTBOUNDINGBOX)", path);
  return 0;
}

// The size the file names, or 0 or -1 as Kanji_FontPixelSize gives them.
int NamedPixelSize(const char* path, FontSizeSource* source, int* limit) {
  gzFile file = gzopen(path, "rb");
  if (file == nullptr) {
    Kanji_SetError("cannot open %s: %s", path, strerror(errno != 0 ? errno : ENOMEM));
    return -1;
  }
  unsigned char start[4096];
  const int got = gzread(file, start, sizeof start);
  const FontFileKind kind =
      Kanji_FileKindOf(start, got > 0 ? static_cast<size_t>(got) : 0, gzdirect(file) == 0);
  int size = -1;
  int zlibError = Z_OK;
  const char* reason = gzerror(file, &zlibError);
  if (got <= 0 && zlibError != Z_OK) {
    Kanji_SetError("%s: broken gzip data: %s", path, reason);
  } else if (kind == FontFileUnknown) {
    Kanji_SetError("%s: not a BDF, PCF, TrueType or OpenType font", path);
  } else if (kind == FontFileBdf || kind == FontFileBdfGzip) {
    size = gzrewind(file) == 0 ? BdfPixelSize(file, path, source, limit) : -1;
    if (size < 0) Kanji_SetError("cannot read %s again: it is a pipe", path);
  } else {
    gzclose(file);
    return Kanji_FreeTypePixelSize(path, source, limit);
  }
  gzclose(file);
  return size;
}

// A bitmap font at its named size: where too many of its glyphs lose ink at
// the top or bottom even after the fit, the smallest larger size up to its
// extent at which few enough do. Glyphs keep their rows whatever the cell's
// height, so one load tells every size.
void RaiseToFit(const char* path, FontSizeReport* report) {
  FontSet* font = Kanji_CreateEmptyFontSet(report->named);
  if (font == nullptr) return;
  GlyphStage stage;
  FontLoadReport load;
  if (Kanji_LoadStaged(font, path, -1, &load, &stage) == 0) {
    report->cutAtNamed = Kanji_LeastVerticalCut(&stage, report->named, &report->considered);
    const bool anyTwoByte = std::any_of(stage.glyphs.begin(), stage.glyphs.end(),
                                        [](const StagedGlyph& glyph) { return glyph.jis > 255; });
    int cut = report->cutAtNamed, considered = report->considered;
    for (int size = report->named + 1;
         anyTwoByte && int64_t{cut} * 50 > considered && size <= stage.sizeLimit; ++size) {
      cut = Kanji_LeastVerticalCut(&stage, size, &considered);
      if (int64_t{cut} * 50 <= considered) report->size = size;
    }
  }
  Kanji_DestroyFontSet(font);
}

}  // namespace

int Kanji_FontPixelSizeWithReport(const char* path, FontSizeReport* report) {
  FontSizeReport ignored;
  if (report == nullptr) report = &ignored;
  *report = FontSizeReport{};
  FontSizeSource source = SizeFromBox;
  int limit = 0;
  const int named = NamedPixelSize(path, &source, &limit);
  report->size = report->named = named;
  report->source = source;
  if (named > MaxCellSize) {
    Kanji_SetError("%s is %d pixels, more than the largest cell (%d)", path, named, MaxCellSize);
    report->size = 0;
    return 0;
  }
  if (named > 0 && named < limit) {  // only a font that may grow is loaded to see whether it must
    const std::string error = Kanji_GetError();  // a success leaves the last reason alone
    RaiseToFit(path, report);
    Kanji_SetError("%s", error.c_str());
  }
  report->raised = report->size > named;
  return report->size;
}

int Kanji_FontPixelSize(const char* path) { return Kanji_FontPixelSizeWithReport(path, nullptr); }
