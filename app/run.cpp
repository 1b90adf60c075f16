#include "app.h"
#include "output.h"
#include "run_parts.h"
#include "sheet.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr char kConfigName[] = "tavrest.ini";
constexpr char kPackedName[] = "tavrest.qpk";
constexpr char kImageName[] = "tavrest.tga";

constexpr int kSlotsPerStep = 64;

// Status messages in Shift-JIS, drawn with the font being converted.
constexpr char kMessageWritingFont[] =  // "フォントを書き出し中..."
    "\x83\x74\x83\x48\x83\x93\x83\x67\x82\xf0\x8f\x91\x82\xab\x8f\x6f\x82\xb5\x92\x86...";
constexpr char kMessageWritingImage[] =  // "ついでに画像ファイルも書き出し中..."
    "\x82\xc2\x82\xa2\x82\xc5\x82\xc9\x89\xe6\x91\x9c\x83\x74\x83\x40\x83\x43\x83\x8b"
    "\x82\xe0\x8f\x91\x82\xab\x8f\x6f\x82\xb5\x92\x86...";
constexpr char kMessageDone[] = "\x8a\xae\x97\xb9";    // "完了"
constexpr char kMessageFailed[] = "\x8e\xb8\x94\x73";  // "失敗"

std::string WorkingFolder() {
  char folder[PATH_MAX];
  return getcwd(folder, sizeof folder) != nullptr ? folder : "the working folder";
}

// Where a path that could not be opened was looked for, for the message:
// a relative path depends on the working folder, which the user may not
// have in mind.
std::string LookedUpIn(const std::string& path) {
  if (path.starts_with('/')) return "";
  const size_t slash = path.rfind('/');
  const std::string folder = WorkingFolder();
  return " (looked up in " + (slash == std::string::npos ? folder : folder + "/" + path.substr(0, slash)) + ")";
}

// Why a font could not be opened, asked again of the system: the library
// reports only that it could not. A folder opens, but is no font.
int OpenFailure(const std::string& path) {
  FILE* file = fopen(path.c_str(), "r");
  if (file == nullptr) return errno;
  struct stat info;
  const bool folder = fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
  fclose(file);
  return folder ? EISDIR : EIO;
}

void ReportOpenFailure(const char* what, const std::string& path) {
  Report("cannot open the %s %s: %s%s", what, path.c_str(), strerror(OpenFailure(path)),
         LookedUpIn(path).c_str());
}

// ---- Settings ----------------------------------------------------------------

// False when the run ends here, with its exit status in `status`.
bool ReadSettings(const char* name, RunConfig& config, int& status) {
  status = 0;
  if (!ReadConfig(name, config)) {
    const int error = errno;
    Report("cannot read %s in %s: %s; nothing converted", name, WorkingFolder().c_str(),
           strerror(error));
    return false;
  }
  if (config.longLine != 0) {
    Report("line %d of %s is longer than %zu characters; nothing converted", config.longLine,
           name, ConfigLineMax);
    status = 1;
    return false;
  }
  if (config.cellSize == 0) {
    Report("the size line of %s, \"%s\", reads as 0; nothing converted", name,
           config.sizeLine.c_str());
    return false;
  }
  if (config.cellSize < 1 || config.cellSize > MaxCellSize) {
    Report("the cell size %d in %s is out of range (1 to %d)", config.cellSize, name, MaxCellSize);
    status = 1;
    return false;
  }
  return true;
}

// ---- Fonts ---------------------------------------------------------------------

struct FontLoad {
  const char* what;  // "main font", "second font"
  const std::string* path;
  bool opened;
  FontLoadReport report;
};

// One line for each thing a user would want to know about a font that opened.
void ReportFontFindings(const FontLoad& load) {
  const char* path = load.path->c_str();
  const FontLoadReport& report = load.report;
  if (report.charset == CharsetRefused) {
    Report("%s not loaded: a two-byte character set other than JIS X 0208 (%s)", path,
           report.registry);
    return;
  }
  if (report.charset == CharsetSingleByte && report.codesSkipped > 0)
    Report("warning: %s: codes 128-255 were skipped; the font's character set is %s", path,
           report.registry);
  if (report.glyphsLoaded > 0) return;
  if (report.fileKind == FontFilePcf)
    Report("warning: no glyph from %s: it is a PCF font, not BDF; convert it with pcf2bdf", path);
  else if (report.fileKind == FontFileGzip)
    Report("warning: no glyph from %s: it is gzip data; gunzip it first", path);
  else
    Report("warning: no glyph from %s", path);
}

bool LoadFont(FontSet* font, FontLoad& load) {
  load.opened = Kanji_LoadBdfWithReport(font, load.path->c_str(), &load.report) == 0;
  if (load.opened) {
    ReportFontFindings(load);
  } else {
    ReportOpenFailure(load.what, *load.path);
  }
  return load.opened;
}

// The main font, then the second where one is named; null when the run must
// end, after saying why.
FontSet* LoadFonts(const RunConfig& config, FontLoad (&loads)[2]) {
  FontSet* font = Kanji_CreateEmptyFontSet(config.cellSize);
  if (font == nullptr) {
    Report("not enough memory for the font set");
    return nullptr;
  }
  loads[0] = FontLoad{"main font", &config.mainFont, false, {}};
  loads[1] = FontLoad{"second font", &config.secondFont, false, {}};
  if (!LoadFont(font, loads[0])) {
    Kanji_DestroyFontSet(font);
    return nullptr;
  }
  if (!config.secondFont.empty()) LoadFont(font, loads[1]);
  if (loads[0].report.glyphsLoaded + loads[1].report.glyphsLoaded > 0) return font;
  if (config.secondFont.empty())
    Report("no glyph in %s; nothing written", config.mainFont.c_str());
  else
    Report("no glyph in %s or %s; nothing written", config.mainFont.c_str(),
           config.secondFont.c_str());
  Kanji_DestroyFontSet(font);
  return nullptr;
}

// ---- Conversion ------------------------------------------------------------------

// Draws every slot into its cell; false when a glyph surface cannot be made,
// since a sheet with glyphs silently missing must not be written.
bool FillSheet(GlyphSheet& sheet, const FontSet& font, RunWindow& window) {
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    if (font.glyphs[slot] != nullptr) {
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

// The writer is chosen by the name's last three characters. True when the
// image was written or no writer fits the name.
bool WriteSheetImage(const GlyphSheet& sheet, const char* name) {
  size_t length = strlen(name);
  const char* ending = length >= 3 ? name + length - 3 : name;
  bool attempted = false;
  bool written = false;
  if (strncmp(ending, "tga", 3) == 0) {
    attempted = true;
    written = WriteTga(sheet, name);
  }
  if (!written && strncmp(ending, "bmp", 3) == 0) {
    attempted = true;
    written = WriteBmp(sheet, name);
  }
  return written || !attempted;
}

void ReportWriteFailure(const char* name) {
  Report("cannot write %s: %s", name, errno != 0 ? strerror(errno) : "nothing to write");
}

// Sheet, packed file, image and the three messages; returns the exit status.
int ConvertAndShow(RunWindow& window, const FontSet& font, GlyphSheet& sheet,
                   PackedGlyphs& packed) {
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
  int status = 0;
  errno = 0;
  if (!WritePackedGlyphs(packed, kPackedName)) {
    ReportWriteFailure(kPackedName);
    status = 1;
  }

  ShowMessage(window, font, kMessageWritingImage, true);
  errno = 0;
  if (!WriteSheetImage(sheet, kImageName)) {
    ReportWriteFailure(kImageName);
    status = 1;
  }

  ShowMessage(window, font, status == 0 ? kMessageDone : kMessageFailed, true);
  FinalWait(window);
  return status;
}

}  // namespace

int RunConversion() {
  EndOnInterrupts();
  RunConfig config;
  int status = 0;
  if (!ReadSettings(kConfigName, config, status)) return status;

  RunWindow window = OpenWindow();
  FontLoad loads[2];
  FontSet* font = LoadFonts(config, loads);
  if (font == nullptr) {
    CloseWindow(window);
    return 1;
  }
  Kanji_SetEncoding(font, EncodingShiftJis);
  CreateProgressSurface(window);
  GlyphSheet sheet{0, 0, {}};
  PackedGlyphs packed{0, {}};
  status = ConvertAndShow(window, *font, sheet, packed);
  CloseWindow(window);

  Kanji_DestroyFontSet(font);
  std::vector<uint8_t>().swap(packed.bytes);
  SheetPixels().swap(sheet.pixels);
  return status;
}
