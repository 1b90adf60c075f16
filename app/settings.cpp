// The three settings of a run: from the command line, from the settings
// file, or both.
#include "app.h"
#include "kanji.h"
#include "run_parts.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr char kDefaultConfig[] = "tavrest.ini";

std::string WorkingFolder() {
  char folder[PATH_MAX];
  return getcwd(folder, sizeof folder) != nullptr ? folder : "the working folder";
}

std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Relative font paths in a settings file named with -c are taken from the
// file's folder, so that the file works from anywhere.
void TakePathsFromFolderOf(const std::string& configPath, RunConfig& config) {
  const std::string folder = FolderPart(configPath);
  for (std::string* path : {&config.mainFont, &config.secondFont})
    if (!path->empty() && !path->starts_with('/')) *path = folder + *path;
}

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
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
  return true;
}

// -f without -s: the size the main font names; false when the run ends here.
bool TakeSizeFromFont(RunConfig& config, int& status) {
  const int size = Kanji_FontPixelSize(config.mainFont.c_str());
  if (size < 0) {
    Report("main font: %s%s", Kanji_GetError(), FontLookedUpIn(config.mainFont).c_str());
    status = 1;
    return false;
  }
  if (size > 0) {
    config.cellSize = size;
    return true;
  }
  status =
      ReportUsageError((std::string(Kanji_GetError()) + "; give the cell size with -s").c_str());
  return false;
}

}  // namespace

std::string LookedUpIn(const std::string& path) {
  if (path.starts_with('/')) return "";
  const std::string folder = FolderPart(path);
  return " (looked up in " + WorkingFolder() +
         (folder.empty() ? "" : "/" + folder.substr(0, folder.size() - 1)) + ")";
}

bool GatherSettings(const RunOptions& options, RunConfig& config, int& status) {
  status = 0;
  const char* name = options.configPath.empty() ? kDefaultConfig : options.configPath.c_str();
  if (!options.mainFont.empty()) {
    config = RunConfig{options.mainFont,
                       options.secondFont,
                       "",
                       options.cellSize,
                       0,
                       std::max(options.mainFace, 0),
                       std::max(options.secondFace, 0)};
    return config.cellSize != 0 || TakeSizeFromFont(config, status);
  }
  if (!ReadSettingsFile(options, name, config, status)) return false;
  if (!options.configPath.empty()) TakePathsFromFolderOf(options.configPath, config);
  TakeFaceSuffix(config.mainFont, config.mainFace);
  TakeFaceSuffix(config.secondFont, config.secondFace);
  if (!options.secondFont.empty()) config.secondFont = options.secondFont, config.secondFace = 0;
  if (options.mainFace >= 0) config.mainFace = options.mainFace;
  if (options.secondFace >= 0) config.secondFace = options.secondFace;
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
