// The cell size a font names for itself, for runs that give none.
#include "kanji_internal.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

bool IsProperty(const char* line, const char* name) {
  const size_t length = strlen(name);
  return strncmp(line, name, length) == 0 && (line[length] == ' ' || line[length] == '\t');
}

// PIXEL_SIZE, else the FONTBOUNDINGBOX height, from the lines before the
// first glyph.
int BdfPixelSize(gzFile file, const char* path) {
  auto reader = std::make_unique<BdfLineReader>();
  Kanji_InitLineReader(reader.get(), file);
  int pixelSize = 0, boxHeight = 0;
  while (Kanji_NextLine(reader.get())) {
    const char* line = reader->line;
    if (IsProperty(line, "STARTCHAR") || IsProperty(line, "ENCODING")) break;
    if (IsProperty(line, "PIXEL_SIZE")) pixelSize = Kanji_ParseDecimal(line + 10);
    if (IsProperty(line, "FONTBOUNDINGBOX")) {
      char* after = nullptr;
      strtol(line + 15, &after, 10);  // the width
      boxHeight = Kanji_ParseDecimal(after);
    }
  }
  if (pixelSize > 0) return pixelSize;
  if (boxHeight > 0) return boxHeight;
  Kanji_SetError("%s names no size (neither PIXEL_SIZE nor FONTBOUNDINGBOX)", path);
  return 0;
}

// The size the file names, or 0 or -1 as Kanji_FontPixelSize gives them.
int NamedPixelSize(const char* path) {
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
    Kanji_SetError("%s: not a BDF, PCF, TrueType, OpenType or WOFF font", path);
  } else if (kind == FontFileBdf || kind == FontFileBdfGzip) {
    size = gzrewind(file) == 0 ? BdfPixelSize(file, path) : -1;
    if (size < 0) Kanji_SetError("cannot read %s again: it is a pipe", path);
  } else {
    gzclose(file);
    return Kanji_FreeTypePixelSize(path);
  }
  gzclose(file);
  return size;
}

}  // namespace

int Kanji_FontPixelSize(const char* path) {
  const int size = NamedPixelSize(path);
  if (size <= MaxCellSize) return size;
  Kanji_SetError("%s is %d pixels, more than the largest cell (%d)", path, size, MaxCellSize);
  return 0;
}
