#include "app.h"
#include "output.h"
#include "run_parts.h"
#include "sheet.h"

#include <sys/stat.h>

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

// Draws every slot into its cell; false when a glyph surface cannot be made,
// since a sheet with glyphs silently missing must not be written.
bool FillSheet(GlyphSheet& sheet, const FontSet& font, RunWindow& window) {
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    if (Kanji_GlyphRows(&font, slot) != nullptr) {
      SDL_Surface* surface = RenderGlyphSlot(font, slot);
      if (surface == nullptr) {
        Report("cannot create a surface for glyph slot %d (%s)", slot, SDL_GetError());
        return false;
      }
      CopyToSheetCell(sheet, surface, font.size, slot);
      SDL_FreeSurface(surface);
    }
    if (slot % kSlotsPerStep == 0) AdvanceProgress(window, slot / kSlotsPerStep);
  }
  return true;
}

bool WriteSheetImage(const GlyphSheet& sheet, const RunOptions& options) {
  const char* name = options.imageName.c_str();
  return options.image == ImageKind::Bmp ? WriteBmp(sheet, name) : WriteTga(sheet, name);
}

// False, after saying so, when the file could not be written.
bool Written(bool written, const std::string& name) {
  if (!written)
    Report("cannot write %s: %s", name.c_str(), errno != 0 ? strerror(errno) : "nothing to write");
  return written;
}

struct FilesWritten {
  bool packed = false;
  bool image = false;
};

// Sheet, packed file, image and the messages; returns the exit status.
int ConvertAndShow(RunWindow& window, const FontSet& font, const RunOptions& options,
                   GlyphSheet& sheet, PackedGlyphs& packed, FilesWritten& files) {
  if (!CreateGlyphSheet(sheet, font.size)) {
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
  errno = 0;
  files.packed = Written(WritePackedGlyphs(packed, options.packedName.c_str()), options.packedName);
  bool written = files.packed;
  if (options.image != ImageKind::None) {
    ShowMessage(window, font, kMessageWritingImage, true);
    errno = 0;
    files.image = Written(WriteSheetImage(sheet, options), options.imageName);
    written = written && files.image;
  }

  ShowMessage(window, font, written ? kMessageDone : kMessageFailed, true);
  FinalWait(window);
  return written ? 0 : 1;
}

long long FileBytes(const std::string& name) {
  struct stat info;
  return stat(name.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

// -v: what each font gave and what was written.
void ReportWhatWasDone(const FontLoad (&loads)[2], int cellSize, const RunOptions& options,
                       const FilesWritten& files) {
  for (const FontLoad& load : loads) {
    if (!load.opened) continue;
    Report("%s: %d glyphs loaded, %d cut by the %d-pixel cell", load.path.c_str(),
           load.report.glyphsLoaded, load.report.glyphsCut, cellSize);
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
  if (files.packed)
    Report("wrote %s: %lld bytes", options.packedName.c_str(), FileBytes(options.packedName));
  if (files.image)
    Report("wrote %s: %lld bytes", options.imageName.c_str(), FileBytes(options.imageName));
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
  if (options.verbose) ReportWhatWasDone(loads, config.cellSize, options, files);

  Kanji_DestroyFontSet(font);
  std::vector<uint8_t>().swap(packed.bytes);
  SheetPixels().swap(sheet.pixels);
  return status;
}
