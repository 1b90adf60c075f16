// SPDX-License-Identifier: MIT
// The cell size a font names for itself, for runs that give none.
#include "kanji_internal.h"
#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

bool IsProperty(const char* line, const char* name) {
  const size_t length = strlen(name);
  return strncmp(line, name, length) == 0 && (line[length] == ' ' || line[length] == '\t');
}

// The pixel size of the XLFD FONT name, else PIXEL_SIZE, else the
// FONTBOUNDINGBOX height, from the lines before the first glyph.
int BdfPixelSize(BdfLineReader* reader, const char* path, FontSizeSource* source, int* limit) {
  int nameSize = 0, pixelSize = 0, boxHeight = 0, ascent = 0, descent = 0;
  while (Kanji_NextLine(reader)) {
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
  if (Kanji_ReadFailed(reader, path)) return -1;
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

// The size the font names, or 0 or -1 as Kanji_FontPixelSize gives them;
// opened as a load opens it, so that a pipe is read once.
int NamedPixelSize(const char* path, BdfLineReader* reader, FontSizeSource* source, int* limit) {
  OpenedFont opened;
  bool openFailed;
  if (!Kanji_OpenFont(path, reader, &opened, &openFailed)) return -1;
  int size = -1;
  FontBytes bytes;
  if (opened.kind == FontFileUnknown) {
    Kanji_SetError(kNotAFontReason, path);
  } else if (opened.kind == FontFileBdf || opened.kind == FontFileBdfGzip) {
    size = BdfPixelSize(reader, path, source, limit);
  } else if (Kanji_TakeFontBytes(reader, opened, path, &bytes)) {
    size = Kanji_FreeTypePixelSize(Kanji_FreeTypeSourceOf(bytes, path), source, limit);
  }
  Kanji_CloseFont(reader);
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
  if (Kanji_LoadStaged(font, path, FontLoadOptions{}, &load, &stage) == 0) {
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
  if (path == nullptr) {
    Kanji_SetError("no path to read");
    return -1;
  }
  // Asking a pipe first would leave nothing for the load: it is not opened.
  FileFacts info;
  if (FactsOfPath(path, info) && info.kind != FileKind::Missing && info.kind != FileKind::Regular &&
      info.kind != FileKind::Folder) {
    Kanji_SetError("%s is not a plain file but a pipe or a device, read only once", path);
    return 0;
  }
  FontSizeSource source = SizeFromBox;
  int limit = 0, named = -1;
  BdfLineReader* reader = nullptr;
  try {
    reader = new BdfLineReader;
    Kanji_InitLineReader(reader, nullptr);
    named = NamedPixelSize(path, reader, &source, &limit);
  } catch (const std::bad_alloc&) {
    if (reader != nullptr) Kanji_CloseFont(reader);
    Kanji_SetError("%s: not enough memory to read it", path);
  }
  delete reader;
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
