#include "test_support.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

std::string FontPath(const std::string& name) {
  return std::string(TAVREST_FONT_DIR) + "/" + name + ".bdf";
}

std::string TavrestBinary() { return TAVREST_BINARY; }

void PrintTo(const FontPair& pair, std::ostream* out) {
  *out << pair.mainFont << " + " << pair.secondFont;
}

TempDir::TempDir() {
  std::string base = std::string(TAVREST_BUILD_DIR) + "/test-tmp";
  mkdir(base.c_str(), 0777);
  std::string pattern = base + "/t-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) abort();
  path = buffer.data();
}

TempDir::~TempDir() {
  std::string command = "rm -rf '" + path + "'";
  if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path.c_str());
}

SmallDisk::SmallDisk(long bytes) {
  path = dir.File("disk");
  mkdir(path.c_str(), 0777);
  std::string options = "size=" + std::to_string(bytes);
  if (mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0) {
    mounted = true;
  } else {
    reason = std::string("cannot mount a small tmpfs here: ") + strerror(errno);
  }
}

SmallDisk::~SmallDisk() {
  if (mounted) umount2(path.c_str(), MNT_DETACH);
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::vector<uint8_t> ReadFileOrEmpty(const std::string& path) {
  std::vector<uint8_t> bytes;
  ReadFileBytes(path, bytes);
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

bool PathExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

void ExpectNoTemporaries(const std::string& folder) {
  for (const std::string& name : ListDir(folder))
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

namespace {

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

}  // namespace

RunResult RunTavrest(const std::string& dir, const std::map<std::string, std::string>& env,
                     long fileSizeLimit) {
  RunResult result;
  int errPipe[2];
  if (pipe(errPipe) != 0) return result;
  pid_t pid = fork();
  if (pid == 0) {
    close(errPipe[0]);
    dup2(errPipe[1], 2);
    if (chdir(dir.c_str()) != 0) _exit(127);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    if (fileSizeLimit > 0) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::string binary = TavrestBinary();
    execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(errPipe[1]);
  result.standardError = ReadAll(errPipe[0]);
  close(errPipe[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  result.maxRssKb = usage.ru_maxrss;
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

ChildResult RunInChild(const std::function<int()>& body) {
  ChildResult result;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  result.maxRssKb = usage.ru_maxrss;
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  return result;
}

void WriteIni(const std::string& dir, const std::string& mainFont, const std::string& secondFont,
              const std::string& size, const std::string& eol) {
  WriteFileBytes(dir + "/tavrest.ini", mainFont + eol + secondFont + eol + size + eol);
}

bool DecodePackedFile(const std::vector<uint8_t>& file, int32_t& cellSize,
                      std::vector<uint8_t>& stream) {
  if (file.size() < 4) return false;
  cellSize = static_cast<int32_t>(file[0] | file[1] << 8 | file[2] << 16 |
                                  static_cast<uint32_t>(file[3]) << 24);
  stream.clear();
  size_t p = 4;
  while (p < file.size()) {
    uint8_t header = file[p++];
    if (header >= 0x80) {
      if (p >= file.size()) return false;
      stream.insert(stream.end(), static_cast<size_t>(header - 0x80) + 1, file[p++]);
    } else {
      size_t n = static_cast<size_t>(header) + 1;
      if (p + n > file.size()) return false;
      stream.insert(stream.end(), file.begin() + static_cast<long>(p),
                    file.begin() + static_cast<long>(p + n));
      p += n;
    }
  }
  return true;
}

std::vector<BdfGlyph> ReadBdfGlyphs(const std::string& path) {
  std::vector<BdfGlyph> glyphs;
  std::ifstream in(path);
  std::string line;
  BdfGlyph glyph;
  bool inBitmap = false;
  while (std::getline(in, line)) {
    if (line.rfind("STARTCHAR", 0) == 0) {
      glyph = BdfGlyph();
      inBitmap = false;
    } else if (line.rfind("ENCODING ", 0) == 0) {
      glyph.encoding = std::stol(line.substr(9));
    } else if (line.rfind("BITMAP", 0) == 0) {
      inBitmap = true;
    } else if (line.rfind("ENDCHAR", 0) == 0) {
      glyphs.push_back(glyph);
      inBitmap = false;
    } else if (inBitmap) {
      glyph.hexDigits = static_cast<int>(line.size());
      glyph.rows.push_back(static_cast<uint32_t>(std::stoul(line, nullptr, 16)));
    }
  }
  return glyphs;
}

std::vector<std::vector<bool>> ExpectedCell(const BdfGlyph& glyph, int size, int width) {
  std::vector<std::vector<bool>> cell(static_cast<size_t>(size), std::vector<bool>(size, false));
  int bitsPerRow = glyph.hexDigits * 4;
  for (int i = 0; i < size && i < static_cast<int>(glyph.rows.size()); ++i) {
    for (int j = 0; j < width && j < bitsPerRow; ++j) {
      bool ink = (glyph.rows[static_cast<size_t>(i)] >> (bitsPerRow - 1 - j)) & 1u;
      cell[static_cast<size_t>(i)][static_cast<size_t>(size - width + j)] = ink;
    }
  }
  return cell;
}

std::vector<std::vector<bool>> PackedCell(const std::vector<uint8_t>& stream, int size, int slot) {
  int rowBytes = (size + 7) / 8;
  size_t cellStart = static_cast<size_t>(slot) * static_cast<size_t>(size * rowBytes);
  std::vector<std::vector<bool>> cell(static_cast<size_t>(size), std::vector<bool>(size, false));
  for (int k = 0; k < size; ++k) {  // stream rows run bottom-up
    int y = size - 1 - k;
    for (int x = 0; x < size; ++x) {
      uint8_t byte = stream.at(cellStart + static_cast<size_t>(k * rowBytes + x / 8));
      cell[static_cast<size_t>(y)][static_cast<size_t>(x)] = (byte >> (7 - x % 8)) & 1;
    }
  }
  return cell;
}

// ---- Sheet images -----------------------------------------------------------

#include "kanji.h"
#include "sheet.h"

bool MakeFontSheet(GlyphSheet& sheet, const std::string& mainFont, const std::string& secondFont,
                   int size) {
  FontSet* font = Kanji_CreateFontSet(mainFont.c_str(), size);
  if (font == nullptr) return false;
  Kanji_LoadBdf(font, secondFont.c_str());
  bool made = CreateGlyphSheet(sheet, size);
  for (int slot = 0; made && slot < GlyphSlotCount; ++slot) {
    SDL_Surface* surface = RenderGlyphSlot(*font, slot);
    if (surface == nullptr) continue;
    CopyToSheetCell(sheet, surface, size, slot);
    SDL_FreeSurface(surface);
  }
  Kanji_DestroyFontSet(font);
  return made;
}

std::string ImageMagickConvert() {
  // The packaged program itself, not any wrapper earlier on the path.
  for (const char* path : {"/usr/bin/convert", "/usr/local/bin/convert"})
    if (access(path, X_OK) == 0) return path;
  return "";
}

bool RunProgram(const std::vector<std::string>& argv, std::vector<uint8_t>& standardOutput) {
  standardOutput.clear();
  int outPipe[2];
  if (argv.empty() || pipe(outPipe) != 0) return false;
  pid_t pid = fork();
  if (pid == 0) {
    close(outPipe[0]);
    dup2(outPipe[1], 1);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(outPipe[1]);
  std::string text = ReadAll(outPipe[0]);
  close(outPipe[0]);
  standardOutput.assign(text.begin(), text.end());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ---- Runs with their surroundings chosen ------------------------------------------

#include <poll.h>

std::string DelayRecorderLibrary() {
  std::string binary = TavrestBinary();
  return binary.substr(0, binary.rfind('/')) + "/libdelay_recorder.so";
}

std::vector<long> ReadDelays(const std::string& log) {
  std::vector<long> delays;
  std::ifstream in(log);
  for (long delay; in >> delay;) delays.push_back(delay);
  return delays;
}

std::vector<std::string> TemporaryFiles(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& name : ListDir(dir))
    if (name.find(".tmp") != std::string::npos) found.push_back(name);
  return found;
}

namespace {

[[noreturn]] void ExecTavrest(const TavrestCall& call, const std::string& delayLog) {
  if (call.emptyEnvironment) {
    clearenv();
    setsid();  // no controlling terminal
    int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
  } else {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
  }
  for (const auto& [name, value] : call.env) setenv(name.c_str(), value.c_str(), 1);
  setenv("LD_PRELOAD", DelayRecorderLibrary().c_str(), 1);
  setenv("TAVREST_DELAY_LOG", delayLog.c_str(), 1);
  if (call.umask >= 0) umask(static_cast<mode_t>(call.umask));
  if (call.unprivileged && getuid() == 0 &&
      (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
    _exit(126);
  if (chdir(call.dir.c_str()) != 0) _exit(127);
  std::vector<std::string> argv = {TavrestBinary()};
  argv.insert(argv.end(), call.args.begin(), call.args.end());
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

// Both pipes at once, so that a program filling one is never stuck.
void ReadBoth(int outFd, int errFd, std::string& out, std::string& err) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* texts[2] = {&out, &err};
  int open = 2;
  while (open > 0 && poll(fds, 2, -1) > 0) {
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        texts[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

}  // namespace

CallResult CallTavrest(const TavrestCall& call) {
  CallResult result;
  TempDir logs;
  chmod(logs.path.c_str(), 0777);  // for an unprivileged child
  const std::string delayLog = logs.File("delays");
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]), close(outPipe[1]), close(errPipe[0]), close(errPipe[1]);
    ExecTavrest(call, delayLog);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (call.whileRunning) call.whileRunning(pid);
  ReadBoth(outPipe[0], errPipe[0], result.standardOutput, result.standardError);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.delays = ReadDelays(delayLog);
  return result;
}

std::string PlainIni() { return FontPath("jiskan16") + "\n" + FontPath("8x16rk") + "\n16\n"; }

const ConvertedFiles& PlainConversion() {
  static const ConvertedFiles files = [] {
    TempDir dir;
    WriteFileBytes(dir.File("tavrest.ini"), PlainIni());
    if (RunTavrest(dir.path).exitStatus != 0) return ConvertedFiles{};
    return ConvertedFiles{ReadFileOrEmpty(dir.File("tavrest.qpk")),
                          ReadFileOrEmpty(dir.File("tavrest.tga"))};
  }();
  return files;
}
