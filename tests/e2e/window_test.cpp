// The built program in a real window on a virtual X server: while "完了" is
// shown, the window must hold exactly its two glyphs from the font being
// converted, black on white. The last capture is kept as a PNG in the build
// tree for a person to look at.
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
constexpr int kWindowWidth = 444;
constexpr int kWindowHeight = 30;
constexpr int kCellSize = 16;
// "完了" is JIS 0x3430 0x4E3B; the run draws it from Shift-JIS 0x8A 0xAE 0x97 0xB9.
constexpr long kDoneCodes[] = {0x3430, 0x4E3B};

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

bool Answers(const std::string& display) {
  std::vector<uint8_t> ignored;
  return RunProgram({"/usr/bin/xwd", "-root", "-silent", "-display", display}, ignored);
}

// Waits until the server answers; false when it died (its display was taken).
bool WaitForServer(const XServer& server, const std::string& socket) {
  for (int tries = 0; tries < 200; ++tries) {
    if (HasExited(server.pid)) return false;
    if (PathExists(socket) && Answers(server.display)) return true;
    Pause(50);
  }
  return false;
}

// A server on the first free display from :50, with a black root window;
// without -noreset it restarts after each capture, refusing clients meanwhile.
bool StartXServer(XServer& server, const std::string& log) {
  // Xvfb makes its socket folder itself only when it runs as root.
  if (mkdir("/tmp/.X11-unix", 0777) == 0) chmod("/tmp/.X11-unix", 01777);
  for (int number = 50; number < 150; ++number) {
    std::string name = std::to_string(number);
    std::string socket = "/tmp/.X11-unix/X" + name;
    if (PathExists(socket) || PathExists("/tmp/.X" + name + "-lock")) continue;
    server.display = ":" + name;
    server.pid = Spawn({"/usr/bin/Xvfb", server.display, "-screen", "0", "640x480x24",
                        "-nolisten", "tcp", "-br", "-noreset"},
                       "/", {}, log);
    if (server.pid > 0 && WaitForServer(server, socket)) return true;
    Stop(server.pid);
    server.pid = -1;
  }
  return false;
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

// The two glyphs side by side at the window's top left, from the BDF file.
Picture ExpectedDoneMessage() {
  Picture picture(kWindowHeight, std::string(kWindowWidth, '.'));
  int found = 0;
  for (const BdfGlyph& glyph : ReadBdfGlyphs(FontPath("jiskan16"))) {
    for (int index = 0; index < 2; ++index) {
      if (glyph.encoding != kDoneCodes[index]) continue;
      ++found;
      auto cell = ExpectedCell(glyph, kCellSize, kCellSize);
      for (int y = 0; y < kCellSize; ++y) {
        for (int x = 0; x < kCellSize; ++x) {
          if (cell[y][x]) picture[y][index * kCellSize + x] = '#';
        }
      }
    }
  }
  return found == 2 ? picture : Picture{};
}

TEST(Window, ShowsTheDoneMessageInTheConvertedFont) {
  const Picture expected = ExpectedDoneMessage();
  ASSERT_FALSE(expected.empty()) << "jiskan16 lacks the glyphs of the message";
  ASSERT_FALSE(ImageMagickConvert().empty()) << "ImageMagick is not installed";

  TempDir dir;
  XServer server;
  ASSERT_TRUE(StartXServer(server, dir.File("xvfb.log")))
      << "Xvfb does not start:\n" << ReadText(dir.File("xvfb.log"));

  WriteIni(dir.path, FontPath("jiskan16"), FontPath("8x16rk"), std::to_string(kCellSize));
  pid_t tavrest = Spawn({TavrestBinary()}, dir.path,
                        {{"DISPLAY", server.display}, {"SDL_VIDEODRIVER", "x11"}},
                        dir.File("tavrest.log"));
  ASSERT_GT(tavrest, 0);

  // The message stays up for two seconds after the image is written; look
  // every few tenths of a second until it is seen or the program has ended.
  const std::string xwdFile = dir.File("capture.xwd");
  Picture seen;
  bool captured = false;
  bool running = true;
  for (int tries = 0; tries < 600 && running && seen != expected; ++tries) {
    running = !HasExited(tavrest);
    if (!PathExists(dir.File("tavrest.qpk"))) {
      Pause(50);
      continue;
    }
    std::vector<uint8_t> rgb;
    if (CaptureScreen(server.display, xwdFile, rgb)) {
      captured = true;
      seen = WindowPicture(rgb);
    }
    if (seen != expected) Pause(200);
  }
  if (running) AwaitOrStop(tavrest, 10000);

  std::vector<uint8_t> ignored;
  const std::string png = std::string(TAVREST_BUILD_DIR) + "/window-capture.png";
  if (captured) RunProgram({ImageMagickConvert(), "xwd:" + xwdFile, png}, ignored);
  const std::string log = ReadText(dir.File("tavrest.log"));
  ASSERT_TRUE(captured) << "no screen capture; tavrest said:\n" << log;
  EXPECT_EQ(seen, expected) << "capture kept as " << png << "; tavrest said:\n" << log;
}

}  // namespace
