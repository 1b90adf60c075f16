// SPDX-License-Identifier: MIT
// The built program in a real window on a virtual X server: while "完了" is
// shown, the window must hold exactly its two glyphs from the font being
// converted, black on white, titled "tavrest", and "失敗" when a file could
// not be written; an interrupt ends the final wait. The last captures are
// kept as PNGs in the build tree for a person to look at.
#include "run_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
constexpr int kWindowWidth = 444;
constexpr int kWindowHeight = 30;
// A font pair the run converts, and the codes of "完了" in its main font.
struct WindowFont {
  const char* mainFont;
  const char* secondFont;
  int cellSize;
  long doneCodes[2];
};
// "完了" is JIS 0x3430 0x4E3B; the run draws it from Shift-JIS 0x8A 0xAE 0x97 0xB9.
constexpr WindowFont kJisFont{"jiskan16", "8x16rk", 16, {0x3430, 0x4E3B}};

using Picture = std::vector<std::string>;  // '#' black, '.' white, '?' anything else

void Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Starts a program with its output in a log file and `env` added; -1 on failure.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& folder,
            const std::vector<std::pair<std::string, std::string>>& env, const std::string& log) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0 || chdir(folder.c_str()) != 0) _exit(127);
  dup2(fd, 1);
  dup2(fd, 2);
  for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

bool HasExited(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

std::string ReadText(const std::string& path) {
  std::vector<uint8_t> bytes = ReadFileOrEmpty(path);
  return std::string(bytes.begin(), bytes.end());
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

// Gives the program time to end by itself before stopping it.
void AwaitOrStop(pid_t pid, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 50) {
    if (HasExited(pid)) return;
    Pause(50);
  }
  Stop(pid);
}

struct XServer {
  pid_t pid = -1;
  std::string display;
  ~XServer() { Stop(pid); }
};

// The display number a server writes to `fd` once it accepts clients; ""
// when it ends first (or says nothing for a minute, so the test cannot hang).
std::string ReadDisplayNumber(int fd) {
  std::string number;
  pollfd ready{fd, POLLIN, 0};
  char c = 0;
  while (poll(&ready, 1, 60000) == 1 && read(fd, &c, 1) == 1 && c != '\n') number += c;
  return c == '\n' ? number : "";
}

// A server on a display it chooses itself (-displayfd), so that no other
// server on the machine can take the number between a probe and the start;
// a black root window, and without -noreset it would restart after each
// capture, refusing clients meanwhile.
bool StartXServer(XServer& server, const std::string& log) {
  // Xvfb makes its socket folder itself only when it runs as root.
  if (mkdir("/tmp/.X11-unix", 0777) == 0) chmod("/tmp/.X11-unix", 01777);
  int ends[2];
  if (pipe(ends) != 0) return false;
  server.pid = Spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(ends[1]), "-screen", "0",
                      "640x480x24", "-nolisten", "tcp", "-br", "-noreset"},
                     "/", {}, log);
  close(ends[1]);
  const std::string number = server.pid > 0 ? ReadDisplayNumber(ends[0]) : "";
  close(ends[0]);
  server.display = ":" + number;
  return !number.empty();
}

// The whole screen as RGB bytes, and the capture kept as `xwdFile`.
bool CaptureScreen(const std::string& display, const std::string& xwdFile,
                   std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> ignored;
  return RunProgram({"/usr/bin/xwd", "-root", "-silent", "-display", display, "-out", xwdFile},
                    ignored) &&
         RunProgram({ImageMagickConvert(), "xwd:" + xwdFile, "-depth", "8", "rgb:-"}, rgb) &&
         rgb.size() == static_cast<size_t>(kScreenWidth * kScreenHeight * 3);
}

// A 16-bit white window reaches a 24-bit screen as 248, 252, 248 through
// SDL 1.2 and as 255, 254, 255 through sdl12-compat: both lie above 0xF0.
bool IsWhite(const uint8_t* p) { return p[0] >= 0xF0 && p[1] >= 0xF0 && p[2] >= 0xF0; }
bool IsBlack(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }

// The window is the white box on the black root; empty when there is none
// of the window's size.
Picture WindowPicture(const std::vector<uint8_t>& rgb) {
  int left = kScreenWidth, top = kScreenHeight, right = -1, bottom = -1;
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int x = 0; x < kScreenWidth; ++x) {
      if (!IsWhite(&rgb[(static_cast<size_t>(y) * kScreenWidth + x) * 3])) continue;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  if (right - left + 1 != kWindowWidth || bottom - top + 1 != kWindowHeight) return {};
  Picture picture(kWindowHeight, std::string(kWindowWidth, '?'));
  for (int y = 0; y < kWindowHeight; ++y) {
    for (int x = 0; x < kWindowWidth; ++x) {
      const uint8_t* p = &rgb[(static_cast<size_t>(top + y) * kScreenWidth + left + x) * 3];
      picture[y][x] = IsBlack(p) ? '#' : IsWhite(p) ? '.' : '?';
    }
  }
  return picture;
}

// The two glyphs of a message side by side at the window's top left, from
// the BDF file.
Picture ExpectedMessage(const WindowFont& font, const long (&codes)[2]) {
  const int size = font.cellSize;
  Picture picture(kWindowHeight, std::string(kWindowWidth, '.'));
  int found = 0;
  for (const BdfGlyph& glyph : ReadBdfGlyphs(FontPath(font.mainFont))) {
    for (int index = 0; index < 2; ++index) {
      if (glyph.encoding != codes[index]) continue;
      ++found;
      auto cell = ExpectedCell(glyph, size, size);
      for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
          if (cell[y][x]) picture[y][index * size + x] = '#';
        }
      }
    }
  }
  return found == 2 ? picture : Picture{};
}

// Like HasExited, but leaves the ended program to be reaped.
bool Ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

// A run of tavrest on the server, in `dir`, its SDL_Delay calls recorded.
pid_t StartOnDisplay(const XServer& server, const TempDir& dir,
                     const std::vector<std::string>& args = {}, const WindowFont& font = kJisFont) {
  WriteIni(dir.path, FontPath(font.mainFont), FontPath(font.secondFont),
           std::to_string(font.cellSize));
  std::vector<std::string> argv = {TavrestBinary()};
  argv.insert(argv.end(), args.begin(), args.end());
  return Spawn(argv, dir.path,
               {{"DISPLAY", server.display},
                {"SDL_VIDEODRIVER", "x11"},
                {"LD_PRELOAD", CallRecorderLibrary()},
                {"TAVREST_DELAY_LOG", dir.File("delays")}},
               dir.File("tavrest.log"));
}

// True once the run has begun its final wait, the last message shown; false
// when it ends first or takes over half a minute.
bool AwaitFinalWait(pid_t pid, const TempDir& dir) {
  for (int tries = 0; tries < 600; ++tries) {
    if (!ReadDelays(dir.File("delays")).empty()) return true;
    if (Ended(pid)) return false;
    Pause(50);
  }
  return false;
}

struct Seen {
  bool captured = false;
  Picture picture;
  std::string windows;  // xwininfo's tree, with the windows' titles
};

// The window during the final wait, captured until it shows `expected` or
// the run has ended; the last capture is kept as `png`.
Seen WatchFinalMessage(const XServer& server, const TempDir& dir, pid_t tavrest,
                       const Picture& expected, const std::string& png) {
  Seen seen;
  if (!AwaitFinalWait(tavrest, dir)) return seen;
  std::vector<uint8_t> tree;
  RunProgram({"/usr/bin/xwininfo", "-root", "-tree", "-display", server.display}, tree);
  seen.windows.assign(tree.begin(), tree.end());
  const std::string xwdFile = dir.File("capture.xwd");
  for (int tries = 0; tries < 20 && seen.picture != expected && !Ended(tavrest); ++tries) {
    std::vector<uint8_t> rgb;
    if (CaptureScreen(server.display, xwdFile, rgb)) {
      seen.captured = true;
      seen.picture = WindowPicture(rgb);
    }
    if (seen.picture != expected) Pause(50);
  }
  std::vector<uint8_t> ignored;
  if (seen.captured) RunProgram({ImageMagickConvert(), "xwd:" + xwdFile, png}, ignored);
  return seen;
}

class Window : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ImageMagickConvert().empty()) << "ImageMagick is not installed";
    ASSERT_TRUE(PathExists(CallRecorderLibrary())) << CallRecorderLibrary();
    ASSERT_TRUE(StartXServer(server, dir.File("xvfb.log"))) << "Xvfb does not start:\n"
                                                            << ReadText(dir.File("xvfb.log"));
  }

  // The last message in a window titled "tavrest", then the final wait.
  void ExpectLastMessage(const long (&codes)[2], const std::string& png) {
    ExpectLastMessageIn(dir, kJisFont, codes, png);
  }

  void ExpectLastMessageIn(const TempDir& run, const WindowFont& font, const long (&codes)[2],
                           const std::string& png) {
    const Picture expected = ExpectedMessage(font, codes);
    ASSERT_FALSE(expected.empty()) << font.mainFont << " lacks the glyphs of the message";
    pid_t tavrest = StartOnDisplay(server, run, {}, font);
    ASSERT_GT(tavrest, 0);
    const Seen seen = WatchFinalMessage(server, run, tavrest, expected, png);
    AwaitOrStop(tavrest, 10000);
    const std::string log = ReadText(run.File("tavrest.log"));
    ASSERT_TRUE(seen.captured) << "no screen capture; tavrest said:\n" << log;
    EXPECT_EQ(seen.picture, expected) << "capture kept as " << png << "; tavrest said:\n" << log;
    EXPECT_NE(seen.windows.find("\"tavrest\": (\"tavrest\" \"tavrest\")"), std::string::npos)
        << seen.windows;
    EXPECT_EQ(ReadDelays(run.File("delays")), std::vector<long>{2000});
  }

  TempDir dir;
  XServer server;
};

TEST_F(Window, ShowsTheDoneMessageInTheConvertedFont) {
  ExpectLastMessage(kJisFont.doneCodes, std::string(TAVREST_BUILD_DIR) + "/window-capture.png");
}

// Unicode fonts: the message's Shift-JIS codes reach glyphs placed by their
// JIS meaning, "完" at U+5B8C and "了" at U+4E86.
TEST_F(Window, ShowsTheDoneMessageInUnicodeFonts) {
  for (const WindowFont& font : {WindowFont{"18x18ja", "18x18ja", 18, {0x5B8C, 0x4E86}},
                                 WindowFont{"12x13ja", "12x13ja", 13, {0x5B8C, 0x4E86}}}) {
    SCOPED_TRACE(font.mainFont);
    TempDir run;
    ExpectLastMessageIn(
        run, font, font.doneCodes,
        std::string(TAVREST_BUILD_DIR) + "/window-capture-" + font.mainFont + ".png");
  }
}

// "失敗" (JIS 0x3C3A 0x4754, Shift-JIS 0x8E 0xB8 0x94 0x73) when a file could
// not be written.
TEST_F(Window, ShowsFailureWhenAWriteFails) {
  symlink("no/such/folder/tavrest.qpk", dir.File("tavrest.qpk").c_str());
  ExpectLastMessage({0x3C3A, 0x4754}, std::string(TAVREST_BUILD_DIR) + "/window-failure.png");
  EXPECT_NE(ReadText(dir.File("tavrest.log")).find("cannot write tavrest.qpk"), std::string::npos);
}

// An interrupt during the final wait ends the run by that signal at once;
// the files were complete before it began.
TEST_F(Window, InterruptsEndTheFinalWait) {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signalNumber));
    TempDir run;
    pid_t tavrest = StartOnDisplay(server, run);
    ASSERT_GT(tavrest, 0);
    ASSERT_TRUE(AwaitFinalWait(tavrest, run)) << ReadText(run.File("tavrest.log"));
    kill(tavrest, signalNumber);
    int status = 0;
    for (int tries = 0; tries < 100 && waitpid(tavrest, &status, WNOHANG) == 0; ++tries) Pause(20);
    Stop(tavrest);  // when it did not end, so that the test does not hang
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << status;
    EXPECT_TRUE(ReadFileOrEmpty(run.File("tavrest.qpk")) == PlainConversion().packed);
    EXPECT_TRUE(ReadFileOrEmpty(run.File("tavrest.tga")) == PlainConversion().image);
    EXPECT_TRUE(TemporaryFiles(run.path).empty());
  }
}

// --batch on a display: no wait (no SDL_Delay call at all), the same files.
TEST_F(Window, BatchRunNeverWaits) {
  pid_t tavrest = StartOnDisplay(server, dir, {"--batch"});
  ASSERT_GT(tavrest, 0);
  int status = -1;
  for (int tries = 0; tries < 600 && waitpid(tavrest, &status, WNOHANG) == 0; ++tries) Pause(50);
  Stop(tavrest);  // when it did not end, so that the test does not hang
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadText(dir.File("tavrest.log"));
  EXPECT_EQ(ReadDelays(dir.File("delays")), std::vector<long>{});
  EXPECT_TRUE(ReadFileOrEmpty(dir.File("tavrest.qpk")) == PlainConversion().packed);
  EXPECT_TRUE(ReadFileOrEmpty(dir.File("tavrest.tga")) == PlainConversion().image);
}

}  // namespace
