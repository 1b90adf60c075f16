// Loading the run's fonts, and telling the user what they gave.
#include "run_parts.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A main font that cannot be opened ends the run; a second one does not.
void ReportOpenFailure(const FontLoad& load, bool fatal) {
  ReportOrWarn(fatal, "%s: %s%s", load.what, Kanji_GetError(), FontLookedUpIn(load.path).c_str());
}

// One line for each thing a user would want to know about a font that opened.
void ReportFontFindings(const FontLoad& load, int cellSize) {
  const char* path = load.path.c_str();
  const FontLoadReport& report = load.report;
  if (report.propertiesRegistry[0] != '\0')
    Warn("warning: %s: its name says %s, its properties %s; read as %s", path, report.registry,
         report.propertiesRegistry, report.registry);
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

// True when the run goes on: the font opened, or a second font failed.
bool LoadFont(FontSet* font, FontLoad& load, const FontLoadOptions& options, bool fatal) {
  const FontCoverage before = CountCoverage(*font);
  load.opened = Kanji_LoadFont(font, load.path.c_str(), &options, &load.report) == 0;
  load.coverage = CoverageGained(before, CountCoverage(*font));
  if (load.opened) {
    ReportFontFindings(load, font->size);
    return true;
  }
  // A face the font lacks ends the run for either font: the user meant another.
  const bool faceMissing = FaceMissing(load.path, options.face);
  ReportOpenFailure(load, fatal || faceMissing);
  if (faceMissing) ReportFaces(load.path);
  return !faceMissing && !fatal;
}

// A character as UTF-8; nothing for none, or for a control character.
std::string Utf8Character(int codePoint) {
  std::string text;
  if (codePoint < 0x20 || codePoint == 0x7F || codePoint > 0x10FFFF) return text;
  if (codePoint < 0x80) return std::string(1, static_cast<char>(codePoint));
  static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  const int extra = codePoint < 0x800 ? 1 : codePoint < 0x10000 ? 2 : 3;
  text += static_cast<char>(kLead[extra] | (codePoint >> (6 * extra)));
  for (int i = extra - 1; i >= 0; --i)
    text += static_cast<char>(0x80 | ((codePoint >> (6 * i)) & 0x3F));
  return text;
}

}  // namespace

std::string FontLookedUpIn(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? "" : LookedUpIn(path);
}

std::string NameCutGlyphs(const FontLoadReport& report) {
  std::string names;
  const int named = std::min(report.glyphsCut, static_cast<int>(ReportedCutGlyphs));
  for (int i = 0; i < named; ++i) {
    char code[16];
    snprintf(code, sizeof code, report.cutCodes[i] < 256 ? "0x%02X" : "0x%04X",
             static_cast<unsigned>(report.cutCodes[i]));
    const std::string character = Utf8Character(report.cutCharacters[i]);
    names += (i == 0 ? "" : ", ") + std::string(code) + (character.empty() ? "" : " " + character);
  }
  return names;
}

bool FaceMissing(const std::string& path, int face) {
  const int count = face > 0 ? Kanji_ListFontFaces(path.c_str(), nullptr, 0) : -1;
  return count >= 0 && face >= count;
}

void ReportFaces(const std::string& path) {
  constexpr int kListed = 256;
  std::vector<FontFaceName> faces(kListed);
  const int count = Kanji_ListFontFaces(path.c_str(), faces.data(), kListed);
  for (int i = 0; i < std::min(count, kListed); ++i)
    Report("face %d: %s, %s", i, faces[i].family, faces[i].style);
}

FontSet* LoadFonts(const RunConfig& config, const RunOptions& options, FontLoad (&loads)[2]) {
  loads[0] = FontLoad{"main font", config.mainFont, false, {}};
  loads[1] = FontLoad{"second font", config.secondFont, false, {}};
  FontSet* font = Kanji_CreateEmptyFontSet(config.cellSize);
  if (font == nullptr) {
    Report("not enough memory for the font set");
    return nullptr;
  }
  const FontLoadOptions mainOptions{config.mainFace, options.mainRender, options.noCondense};
  const FontLoadOptions secondOptions{config.secondFace, options.secondRender, options.noCondense};
  if (!LoadFont(font, loads[0], mainOptions, true)) {
    Kanji_DestroyFontSet(font);
    return nullptr;
  }
  if (!config.secondFont.empty() && !LoadFont(font, loads[1], secondOptions, false)) {
    Kanji_DestroyFontSet(font);
    return nullptr;
  }
  if (loads[0].report.glyphsLoaded + loads[1].report.glyphsLoaded > 0) return font;
  if (config.secondFont.empty())
    Report("no glyph in %s; nothing written", config.mainFont.c_str());
  else
    Report("no glyph in %s or %s; nothing written", config.mainFont.c_str(),
           config.secondFont.c_str());
  Kanji_DestroyFontSet(font);
  return nullptr;
}
