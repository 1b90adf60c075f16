// SPDX-License-Identifier: MIT
#include "app.h"
#include "output.h"
#include "platform.h"
#include "run_parts.h"
#include "sheet.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kSlotsPerStep = 64;

// Status messages in Shift-JIS, drawn with the font being converted.
constexpr char kMessageWritingFont[] =  // "フォントを書き出し中..."
    "\x83\x74\x83\x48\x83\x93\x83\x67\x82\xf0\x8f\x91\x82\xab\x8f\x6f\x82\xb5\x92\x86...";
constexpr char kMessageWritingImage[] =  // "ついでに画像ファイルも書き出し中..."
    "\x82\xc2\x82\xa2\x82\xc5\x82\xc9\x89\xe6\x91\x9c\x83\x74\x83\x40\x83\x43\x83\x8b"
    "\x82\xe0\x8f\x91\x82\xab\x8f\x6f\x82\xb5\x92\x86...";
constexpr char kMessageDone[] = "\x8a\xae\x97\xb9";    // "完了"
constexpr char kMessageFailed[] = "\x8e\xb8\x94\x73";  // "失敗"

// Draws every slot into its cell, each glyph through one reused surface;
// false when that surface cannot be made, since a sheet with glyphs silently
// missing must not be written.
bool FillSheet(GlyphSheet& sheet, const FontSet& font, RunWindow& window) {
  SDL_Surface* surface = CreateGlyphSurface(font);
  if (surface == nullptr) {
    Report("cannot create a surface for the glyphs (%s)", SDL_GetError());
    return false;
  }
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    if (RenderGlyphInto(font, slot, surface)) CopyToSheetCell(sheet, surface, font.size, slot);
    if (slot % kSlotsPerStep == 0) AdvanceProgress(window, slot / kSlotsPerStep);
  }
  SDL_FreeSurface(surface);
  return true;
}

bool WriteSheetImage(const GlyphSheet& sheet, const RunOptions& options, FileBatch& batch) {
  const std::string path = OutputPath(options.imageName);
  return options.image == ImageKind::Bmp ? WriteBmp(sheet, path.c_str(), batch)
                                         : WriteTga(sheet, path.c_str(), batch);
}

// False, after saying so, when the file could not be written.
bool Written(bool written, const std::string& name) {
  if (!written)
    Report("cannot write %s: %s", OutputName(name).c_str(),
           errno != 0 ? strerror(errno) : "nothing to write");
  return written;
}

struct FilesWritten {
  bool packed = false;
  bool image = false;
};

// Both files complete before either replaces its old one, so that the pair
// on disk is always one run's; after a failure nothing is replaced.
bool WriteBoth(RunWindow& window, const FontSet& font, const RunOptions& options,
               const GlyphSheet& sheet, const PackedGlyphs& packed, FilesWritten& files) {
  FileBatch batch;
  batch.sync = options.sync;
  errno = 0;
  const std::string packedPath = OutputPath(options.packedName);
  bool written = Written(WritePackedGlyphs(packed, packedPath.c_str(), batch), options.packedName);
  if (written && options.image != ImageKind::None) {
    ShowMessage(window, font, kMessageWritingImage, true);
    errno = 0;
    written = Written(WriteSheetImage(sheet, options, batch), options.imageName);
  }
  if (written && !PlaceFileBatch(batch)) {
    Report("cannot put the new files in place: %s", strerror(errno));
    written = false;
  }
  DropFileBatch(batch);
  files.packed = written;
  files.image = written && options.image != ImageKind::None;
  return written;
}

// Sheet, packed file, image and the messages; returns the exit status.
int ConvertAndShow(RunWindow& window, const FontSet& font, const RunOptions& options,
                   GlyphSheet& sheet, PackedGlyphs& packed, FilesWritten& files) {
  if (!CreateGlyphSheet(sheet, font.size) || !TrackFilledCells(sheet)) {
    Report("not enough memory for the glyph sheet of cell size %d", font.size);
    return 1;
  }
  if (!FillSheet(sheet, font, window)) return 1;
  FreeProgressSurface(window);

  ShowMessage(window, font, kMessageWritingFont, false);
  if (!PackGlyphSheet(packed, sheet, font.size)) {
    Report("not enough memory to pack the glyph sheet");
    return 1;
  }
  const bool written = WriteBoth(window, font, options, sheet, packed, files);
  ShowMessage(window, font, written ? kMessageDone : kMessageFailed, true);
  FinalWait(window);
  return written ? 0 : 1;
}

// -v's line on a file written; a stream has no length to tell.
void ReportWritten(const std::string& name) {
  FileFacts facts;
  if (FactsOfPath(OutputPath(name).c_str(), facts) && facts.kind == FileKind::Regular &&
      name != "-")
    Report("wrote %s: %lld bytes", name.c_str(), static_cast<long long>(facts.size));
  else
    Report("wrote %s", OutputName(name).c_str());
}

// -v: what each font gave and what was written.
void ReportWhatWasDone(const FontLoad (&loads)[2], const RunConfig& config,
                       const RunOptions& options, const FilesWritten& files) {
  if (!config.sizeNote.empty()) Report("%s: %s", config.mainFont.c_str(), config.sizeNote.c_str());
  for (const FontLoad& load : loads) {
    if (!load.opened) continue;
    const FontLoadReport& report = load.report;
    const std::string sides = report.glyphsCut > 0 ? " (" + CutSides(report) + ")" : "";
    const std::string baseline = BaselineNote(report);
    Report("%s: %s, %d cut by the %d-pixel cell%s%s%s", load.path.c_str(),
           GlyphCount(report.glyphsLoaded, "loaded").c_str(), report.glyphsCut, config.cellSize,
           sides.c_str(), baseline.empty() ? "" : "; ", baseline.c_str());
    if (load.report.glyphsCut > ReportedCutGlyphs)
      Report("%s: the first %d cut: %s", load.path.c_str(), static_cast<int>(ReportedCutGlyphs),
             NameCutGlyphs(load.report).c_str());
    else if (load.report.glyphsCut > 0)
      Report("%s: cut: %s", load.path.c_str(), NameCutGlyphs(load.report).c_str());
    if (load.coverage.jisX0208 + load.coverage.jisX0213 > 0) ReportCoverage(load);
    if (load.report.glyphsMoved + load.report.glyphsSkipped > 0)
      Report(
          "%s: %d glyphs at codes JIS X 0208 leaves free moved to their characters' slots, "
          "%d skipped",
          load.path.c_str(), load.report.glyphsMoved, load.report.glyphsSkipped);
  }
  if (files.packed) ReportWritten(options.packedName);
  if (files.image) ReportWritten(options.imageName);
}

}  // namespace

int RunConversion(const RunOptions& options) {
  EndOnInterrupts();
  SetWarningsWanted(!options.quiet);
  RunConfig config;
  int status = 0;
  if (!GatherSettings(options, config, status)) return status;

  RunWindow window = options.batch ? NoWindow() : OpenWindow();
  FontLoad loads[2];
  FontSet* font = LoadFonts(config, options, loads);
  if (font == nullptr) {
    CloseWindow(window);
    return 1;
  }
  Kanji_SetEncoding(font, EncodingShiftJis);
  CreateProgressSurface(window);
  GlyphSheet sheet{0, 0, {}};
  PackedGlyphs packed{0, {}};
  FilesWritten files;
  status = ConvertAndShow(window, *font, options, sheet, packed, files);
  CloseWindow(window);
  if (options.verbose) ReportWhatWasDone(loads, config, options, files);

  Kanji_DestroyFontSet(font);
  std::vector<uint8_t>().swap(packed.bytes);
  SheetPixels().swap(sheet.pixels);
  return status;
}
