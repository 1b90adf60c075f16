// SPDX-License-Identifier: MIT
// The cell size a font names for itself, for runs that give none.
#include "kanji_internal.h"
#include "platform.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

namespace {

bool IsProperty(const char* line, const char* name) {
  const size_t length = strlen(name);
  return strncmp(line, name, length) == 0 && (line[length] == ' ' || line[length] == '\t');
}

// PIXEL_SIZE, else the FONTBOUNDINGBOX height, from the lines before the
// first glyph.
int BdfPixelSize(BdfLineReader* reader, const char* path) {
  int pixelSize = 0, boxHeight = 0;
  while (Kanji_NextLine(reader)) {
    const char* line = reader->line;
    if (IsProperty(line, "STARTCHAR") || IsProperty(line, "ENCODING")) break;
    if (IsProperty(line, "PIXEL_SIZE")) pixelSize = Kanji_ParseDecimal(line + 10);
    if (IsProperty(line, "FONTBOUNDINGBOX")) {
      char* after = nullptr;
      strtol(line + 15, &after, 10);  // the width
      boxHeight = Kanji_ParseDecimal(after);
    }
  }
  if (Kanji_ReadFailed(reader, path)) return -1;
  if (pixelSize > 0) return pixelSize;
  if (boxHeight > 0) return boxHeight;
  Kanji_SetError("%s names no size (neither PIXEL_SIZE nor FONTBOUNDINGBOX)", path);
  return 0;
}

// The size the font names, or 0 or -1 as Kanji_FontPixelSize gives them;
// opened as a load opens it, so that a pipe is read once.
int NamedPixelSize(const char* path, BdfLineReader* reader) {
  OpenedFont opened;
  bool openFailed;
  if (!Kanji_OpenFont(path, reader, &opened, &openFailed)) return -1;
  int size = -1;
  FontBytes bytes;
  if (opened.kind == FontFileUnknown) {
    Kanji_SetError("%s: not a BDF, PCF, TrueType or OpenType font", path);
  } else if (opened.kind == FontFileBdf || opened.kind == FontFileBdfGzip) {
    size = BdfPixelSize(reader, path);
  } else if (Kanji_TakeFontBytes(reader, opened, path, &bytes)) {
    size = Kanji_FreeTypePixelSize(Kanji_FreeTypeSourceOf(bytes, path));
  }
  Kanji_CloseFont(reader);
  return size;
}

}  // namespace

int Kanji_FontPixelSize(const char* path) {
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
  int size = -1;
  BdfLineReader* reader = nullptr;
  try {
    reader = new BdfLineReader;
    Kanji_InitLineReader(reader, nullptr);
    size = NamedPixelSize(path, reader);
  } catch (const std::bad_alloc&) {
    if (reader != nullptr) Kanji_CloseFont(reader);
    Kanji_SetError("%s: not enough memory to read it", path);
  }
  delete reader;
  if (size <= MaxCellSize) return size;
  Kanji_SetError("%s is %d pixels, more than the largest cell (%d)", path, size, MaxCellSize);
  return 0;
}
