// SPDX-License-Identifier: MIT
// Loading the run's fonts, and telling the user what they gave.
#include "platform.h"
#include "run_parts.h"

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
    Warn("warning: %s: %s by the %d-pixel cell (%s)", path,
         GlyphCount(report.glyphsCut, "cut").c_str(), cellSize, CutSides(report).c_str());
}

// A font without glyphs is worth a warning only where the run goes on; where
// it ends, its one line says so.
void WarnOfEmptyFonts(const FontLoad (&loads)[2]) {
  for (const FontLoad& load : loads)
    if (load.opened && load.report.glyphsLoaded == 0 && load.report.charset != CharsetRefused)
      Warn("warning: no glyph from %s", load.path.c_str());
}

FontLoadOptions LoadOptions(int face, int rendering, bool noCondense, int baseline) {
  FontLoadOptions options{};
  options.face = face;
  options.rendering = rendering;
  options.noCondense = noCondense;
  options.baselineGiven = baseline >= 0;
  options.baseline = baseline;
  return options;
}

// True when the run goes on: the font opened, or a second font failed. The
// coverage takes two passes over the slots; only -v prints it.
bool LoadFont(FontSet* font, FontLoad& load, const FontLoadOptions& options, bool fatal,
              bool countCoverage) {
  const FontCoverage before = countCoverage ? CountCoverage(*font) : FontCoverage{};
  load.opened = Kanji_LoadFont(font, load.path.c_str(), &options, &load.report) == 0;
  if (countCoverage) load.coverage = CoverageGained(before, CountCoverage(*font));
  if (load.opened) {
    ReportFontFindings(load, font->size);
    return true;
  }
  // A face the font lacks ends the run for either font: the user meant another.
  constexpr int kListed = 256;
  std::vector<FontFaceName> faces(options.face > 0 ? kListed : 0);
  const int count =
      options.face > 0 ? Kanji_ListFontFaces(load.path.c_str(), faces.data(), kListed) : -1;
  const bool faceMissing = count >= 0 && options.face >= count;
  ReportOpenFailure(load, fatal || faceMissing);
  for (int i = 0; faceMissing && i < std::min(count, kListed); ++i)
    Report("face %d: %s, %s", i, faces[i].family, faces[i].style);
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
  FileFacts facts;
  return FactsOfPath(path.c_str(), facts) && facts.kind != FileKind::Missing ? ""
                                                                             : LookedUpIn(path);
}

std::string GlyphCount(int count, const char* what) {
  return std::to_string(count) + (count == 1 ? " glyph " : " glyphs ") + what;
}

std::string CutSides(const FontLoadReport& report) {
  const int counts[] = {report.cutTop, report.cutBottom, report.cutLeft, report.cutRight};
  const char* sides[] = {"at the top", "at the bottom", "on the left", "on the right"};
  std::string text;
  for (int i = 0; i < 4; ++i)
    if (counts[i] > 0)
      text += (text.empty() ? "" : ", ") + std::to_string(counts[i]) + " " + sides[i];
  return text;
}

std::string BaselineNote(const FontLoadReport& report) {
  if (report.baseline < 0) return "";
  std::string note = "baseline at row " + std::to_string(report.baseline);
  if (report.baselineGiven) return note + ", as given";
  if (!report.fitted) return note + ", not fitted";
  const int rows = report.fitShift < 0 ? -report.fitShift : report.fitShift;
  return note + ", fitted " + std::to_string(rows) + (rows == 1 ? " row " : " rows ") +
         (report.fitShift < 0 ? "up" : "down");
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

FontSet* LoadFonts(const RunConfig& config, const RunOptions& options, FontLoad (&loads)[2]) {
  loads[0] = FontLoad{"main font", config.mainFont, false, {}};
  loads[1] = FontLoad{"second font", config.secondFont, false, {}};
  FontSet* font = Kanji_CreateEmptyFontSet(config.cellSize);
  if (font == nullptr) {
    Report("not enough memory for the font set");
    return nullptr;
  }
  const bool verbose = options.verbose;
  const FontLoadOptions mainOptions =
      LoadOptions(config.mainFace, options.mainRender, options.noCondense, config.baselines[0]);
  const FontLoadOptions secondOptions =
      LoadOptions(config.secondFace, options.secondRender, options.noCondense, config.baselines[1]);
  if (!LoadFont(font, loads[0], mainOptions, true, verbose)) {
    Kanji_DestroyFontSet(font);
    return nullptr;
  }
  if (!config.secondFont.empty() && !LoadFont(font, loads[1], secondOptions, false, verbose)) {
    Kanji_DestroyFontSet(font);
    return nullptr;
  }
  if (loads[0].report.glyphsLoaded + loads[1].report.glyphsLoaded > 0) {
    WarnOfEmptyFonts(loads);
    return font;
  }
  if (config.secondFont.empty())
    Report("no glyph in %s; nothing written", config.mainFont.c_str());
  else
    Report("no glyph in %s or %s; nothing written", config.mainFont.c_str(),
           config.secondFont.c_str());
  Kanji_DestroyFontSet(font);
  return nullptr;
}
