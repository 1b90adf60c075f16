// SPDX-License-Identifier: MIT
// The three settings of a run: from the command line, from the settings
// file, or both.
#include "app.h"
#include "kanji.h"
#include "platform.h"
#include "run_parts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr char kDefaultConfig[] = "tavrest.ini";

std::string WorkingFolder() {
  const std::string folder = CurrentFolder();
  return folder.empty() ? "the working folder" : folder;
}

// The folder part with its separator; empty for a bare name.
std::string FolderPart(const std::string& path) {
  return path.substr(0, path.size() - BaseNameOf(path).size());
}

// Relative font paths in a settings file named with -c are taken from the
// file's folder, so that the file works from anywhere.
void TakePathsFromFolderOf(const std::string& configPath, RunConfig& config) {
  const std::string folder = FolderPart(configPath);
  for (std::string* path : {&config.mainFont, &config.secondFont})
    if (!path->empty() && !IsAbsolutePath(*path)) *path = folder + *path;
}

bool IsFile(const std::string& path) {
  FileFacts facts;
  return FactsOfPath(path.c_str(), facts) && facts.kind != FileKind::Missing;
}

// "FONT:N" is face N of FONT only where no file has the whole name and FONT
// is a file, so that every name that works keeps its meaning.
void TakeFaceSuffix(std::string& path, int& face) {
  const size_t colon = path.rfind(':');
  if (colon == std::string::npos || colon + 1 == path.size() || colon + 7 < path.size()) return;
  if (path.find_first_not_of("0123456789", colon + 1) != std::string::npos) return;
  const std::string font = path.substr(0, colon);
  if (IsFile(path) || !IsFile(font)) return;
  face = std::stoi(path.substr(colon + 1));
  path = font;
}

// Missing settings are an error when the command line gave some, and
// otherwise mean there is nothing to do.
bool EndWithoutSettings(const RunOptions& options, int& status) {
  status = options.settingsRequired ? 1 : 0;
  return false;
}

// Reads the file; false when the run ends here.
bool ReadSettingsFile(const RunOptions& options, const char* name, RunConfig& config, int& status) {
  if (!ReadConfig(name, config)) {
    const int error = errno;
    if (error == EISDIR) {
      Report("%s is a folder, not a settings file; nothing converted", name);
      status = 1;
      return false;
    }
    ReportOrWarn(options.settingsRequired, "cannot read %s: %s%s; nothing converted", name,
                 strerror(error), LookedUpIn(name).c_str());
    return EndWithoutSettings(options, status);
  }
  if (config.longLine != 0) {
    Report("line %d of %s is longer than %zu characters; nothing converted", config.longLine, name,
           ConfigLineMax);
    status = 1;
    return false;
  }
  if (config.nulLine != 0) {
    Report("line %d of %s holds a NUL byte; nothing converted", config.nulLine, name);
    status = 1;
    return false;
  }
  return true;
}

const char* SizeSourceName(int source) {
  switch (source) {
    case SizeFromFontName:
      return "the pixel size in its name";
    case SizeFromPixelSize:
      return "its PIXEL_SIZE";
    case SizeFromStrike:
      return "its strike";
    default:
      return "the height of its FONTBOUNDINGBOX";
  }
}

// -v's sentence on a size taken from the main font.
std::string SizeNote(const FontSizeReport& report) {
  char note[256];
  if (report.raised)
    snprintf(note, sizeof note,
             "cell size %d: %s says %d, at which %d of its %d two-byte glyphs lose ink at the top "
             "or bottom",
             report.size, SizeSourceName(report.source), report.named, report.cutAtNamed,
             report.considered);
  else
    snprintf(note, sizeof note, "cell size %d: %s", report.size, SizeSourceName(report.source));
  return note;
}

// -f without -s: the size the main font names; false when the run ends here.
bool TakeSizeFromFont(RunConfig& config, int& status) {
  FontSizeReport report;
  const int size = Kanji_FontPixelSizeWithReport(config.mainFont.c_str(), &report);
  if (size < 0) {
    Report("main font: %s%s", Kanji_GetError(), FontLookedUpIn(config.mainFont).c_str());
    status = 1;
    return false;
  }
  if (size > 0) {
    config.cellSize = size;
    config.sizeNote = SizeNote(report);
    return true;
  }
  status =
      ReportUsageError((std::string(Kanji_GetError()) + "; give the cell size with -s").c_str());
  return false;
}

}  // namespace

std::string LookedUpIn(const std::string& path) {
  if (IsAbsolutePath(path)) return "";
  const std::string folder = FolderPart(path);
  return " (looked up in " + WorkingFolder() +
         (folder.empty() ? "" : "/" + folder.substr(0, folder.size() - 1)) + ")";
}

static bool GatherSizeAndFonts(const RunOptions& options, RunConfig& config, int& status) {
  status = 0;
  const char* name = options.configPath.empty() ? kDefaultConfig : options.configPath.c_str();
  if (!options.mainFont.empty()) {
    config = RunConfig{options.mainFont,
                       options.secondFont,
                       "",
                       options.cellSize,
                       0,
                       0,
                       {-1, -1},
                       "",
                       std::max(options.mainFace, 0),
                       std::max(options.secondFace, 0)};
    if (!OutputsAllowed(options, config, nullptr, status)) return false;
    return config.cellSize != 0 || TakeSizeFromFont(config, status);
  }
  if (!ReadSettingsFile(options, name, config, status)) return false;
  if (!options.configPath.empty()) TakePathsFromFolderOf(options.configPath, config);
  TakeFaceSuffix(config.mainFont, config.mainFace);
  TakeFaceSuffix(config.secondFont, config.secondFace);
  if (!options.secondFont.empty()) config.secondFont = options.secondFont, config.secondFace = 0;
  if (options.mainFace >= 0) config.mainFace = options.mainFace;
  if (options.secondFace >= 0) config.secondFace = options.secondFace;
  if (!OutputsAllowed(options, config, name, status)) return false;
  if (options.cellSize != 0) config.cellSize = options.cellSize;
  if (config.cellSize == 0) {
    ReportOrWarn(options.settingsRequired,
                 "the size line of %s, \"%s\", reads as 0; nothing converted", name,
                 config.sizeLine.c_str());
    return EndWithoutSettings(options, status);
  }
  if (config.cellSize < 1 || config.cellSize > MaxCellSize) {
    Report("the cell size %d in %s is out of range (1 to %d)", config.cellSize, name, MaxCellSize);
    status = 1;
    return false;
  }
  return true;
}

// A baseline below the cell is a usage error, known once the size is.
static bool TakeBaselines(const RunOptions& options, RunConfig& config, int& status) {
  const int given[2] = {options.baseline, options.secondBaseline};
  const char* names[2] = {"--baseline", "--second-baseline"};
  for (int i = 0; i < 2; ++i) {
    if (given[i] > config.cellSize) {
      status = ReportUsageError((std::string(names[i]) + " " + std::to_string(given[i]) +
                                 " lies below the " + std::to_string(config.cellSize) +
                                 "-pixel cell (0 to " + std::to_string(config.cellSize) + ")")
                                    .c_str());
      return false;
    }
    config.baselines[i] = given[i];
  }
  return true;
}

bool GatherSettings(const RunOptions& options, RunConfig& config, int& status) {
  return GatherSizeAndFonts(options, config, status) && TakeBaselines(options, config, status);
}
