// Loading the run's fonts, and telling the user what they gave.
#include "run_parts.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace {

// A main font that cannot be opened ends the run; a second one does not.
void ReportOpenFailure(const FontLoad& load, bool fatal) {
  ReportOrWarn(fatal, "%s: %s%s", load.what, Kanji_GetError(), FontLookedUpIn(load.path).c_str());
}

// One line for each thing a user would want to know about a font that opened.
void ReportFontFindings(const FontLoad& load, int cellSize) {
  const char* path = load.path.c_str();
  const FontLoadReport& report = load.report;
  if (report.charset == CharsetRefused) {
    Warn("%s not loaded: a two-byte character set other than JIS X 0208 (%s)", path,
         report.registry);
    return;
  }
  if (report.charset == CharsetSingleByte && report.codesSkipped > 0)
    Warn("warning: %s: codes 128-255 were skipped; the font's character set is %s", path,
         report.registry);
  if (report.glyphsCut > 0)
    Warn("warning: %s: %d glyphs cut by the %d-pixel cell", path, report.glyphsCut, cellSize);
  if (report.glyphsLoaded == 0) Warn("warning: no glyph from %s", path);
}

bool LoadFont(FontSet* font, FontLoad& load, bool fatal) {
  load.opened = Kanji_LoadBdfWithReport(font, load.path.c_str(), &load.report) == 0;
  if (load.opened) {
    ReportFontFindings(load, font->size);
  } else {
    ReportOpenFailure(load, fatal);
  }
  return load.opened;
}

}  // namespace

std::string FontLookedUpIn(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? "" : LookedUpIn(path);
}

FontSet* LoadFonts(const RunConfig& config, FontLoad (&loads)[2]) {
  loads[0] = FontLoad{"main font", config.mainFont, false, {}};
  loads[1] = FontLoad{"second font", config.secondFont, false, {}};
  FontSet* font = Kanji_CreateEmptyFontSet(config.cellSize);
  if (font == nullptr) {
    Report("not enough memory for the font set");
    return nullptr;
  }
  if (!LoadFont(font, loads[0], true)) {
    Kanji_DestroyFontSet(font);
    return nullptr;
  }
  if (!config.secondFont.empty()) LoadFont(font, loads[1], false);
  if (loads[0].report.glyphsLoaded + loads[1].report.glyphsLoaded > 0) return font;
  if (config.secondFont.empty())
    Report("no glyph in %s; nothing written", config.mainFont.c_str());
  else
    Report("no glyph in %s or %s; nothing written", config.mainFont.c_str(),
           config.secondFont.c_str());
  Kanji_DestroyFontSet(font);
  return nullptr;
}
