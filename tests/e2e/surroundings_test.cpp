// SPDX-License-Identifier: MIT
// The built program where people run it and with the mistakes they make: no
// display or terminal, interrupts, links and permissions at the output names,
// files that are no BDF font, odd settings files.
#include "run_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kPrevious[] = "previous";
constexpr char kPcfFolder[] = "/usr/share/fonts/X11/misc";

void WritePrevious(const TempDir& dir) {
  WriteFileBytes(dir.File("tavrest.qpk"), kPrevious);
  WriteFileBytes(dir.File("tavrest.tga"), kPrevious);
}

bool Kept(const TempDir& dir, const std::string& name) {
  const Bytes bytes = ReadFileOrEmpty(dir.File(name));
  return std::string(bytes.begin(), bytes.end()) == kPrevious;
}

bool IsLink(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

struct stat StatOf(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info;
}

std::string Gunzipped(const std::string& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(RunProgram({"/bin/gzip", "-dc", path}, bytes)) << path;
  return std::string(bytes.begin(), bytes.end());
}

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

bool ProgramEnded(int pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

// What the program wrote into a FIFO, read until the program ends, so that a
// program that never opens it fails the test instead of hanging it.
Bytes fromFifo;
void ReadFifoUntilEnd(const std::string& fifo, int pid) {
  fromFifo.clear();
  const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  for (bool ended = false; fd >= 0;) {
    uint8_t block[65536];
    const ssize_t got = read(fd, block, sizeof block);
    if (got > 0) {
      fromFifo.insert(fromFifo.end(), block, block + got);
    } else if (ended) {
      break;
    } else if (!(ended = ProgramEnded(pid))) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  close(fd);
}

// Each file is synced before the renames and their folder once after them.
const std::vector<std::string> kBothSynced = {"file", "file", "rename", "rename", "folder"};

enum class Outcome { Converted, Kept, Checked };

struct Surrounding {
  const char* name;
  std::function<void(const TempDir&, TavrestCall&)> setUp;
  int exitStatus;
  std::vector<std::string> errorHas;  // each is found on standard error
  int errorLines;
  Outcome outcome;
  std::function<void(const TempDir&)> check = {};
  // Run as user nobody in a folder under /tmp, which nobody can reach
  // wherever the clone lies.
  bool asNobody = false;
  std::vector<std::string> syncs = kBothSynced;  // for Converted
};

void PrintTo(const Surrounding& c, std::ostream* out) { *out << c.name; }

void Plain(const TempDir& dir, TavrestCall&) {
  WriteFileBytes(dir.File("tavrest.ini"), PlainIni());
}

std::function<void(const TempDir&, TavrestCall&)> Ini(const std::string& text) {
  return [text](const TempDir& dir, TavrestCall&) {
    WritePrevious(dir);
    WriteFileBytes(dir.File("tavrest.ini"), text);
  };
}

std::vector<Surrounding> Surroundings() {
  const std::string pcfGz = std::string(kPcfFolder) + "/jiskan16.pcf.gz";
  const std::string pcfGz2 = std::string(kPcfFolder) + "/8x16rk.pcf.gz";
  const auto plain = Plain;
  const auto ini = Ini;
  return {
      {"env -i: no display, no terminal",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         call.emptyEnvironment = true;
       },
       0,
       {},
       0,
       Outcome::Converted},
      {"a driver the user names is used",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         call.emptyEnvironment = true;
         call.env["SDL_VIDEODRIVER"] = "x11";
       },
       0,
       {"SDL cannot start"},
       1,
       Outcome::Converted},
      {"a display that does not answer",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         call.emptyEnvironment = true;
         call.env["DISPLAY"] = ":999";
       },
       0,
       {"cannot use the display :999"},
       1,
       Outcome::Converted},
      {"links: a chain, and a dangling one",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         mkdir(dir.File("real").c_str(), 0777);
         WriteFileBytes(dir.File("real/a.qpk"), kPrevious);
         symlink("middle", dir.File("tavrest.qpk").c_str());
         symlink("real/a.qpk", dir.File("middle").c_str());
         symlink(dir.File("real/new.tga").c_str(), dir.File("tavrest.tga").c_str());
       },
       0,
       {},
       0,
       Outcome::Converted,
       [](const TempDir& dir) {
         EXPECT_TRUE(IsLink(dir.File("tavrest.qpk")) && IsLink(dir.File("middle")));
         EXPECT_TRUE(IsLink(dir.File("tavrest.tga")));
         EXPECT_TRUE(TemporaryFiles(dir.File("real")).empty());
       }},
      {"an existing file keeps its mode and group",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         WritePrevious(dir);
         chmod(dir.File("tavrest.qpk").c_str(), 0604);
         if (chown(dir.File("tavrest.qpk").c_str(), static_cast<uid_t>(-1), 65534) != 0) {
         }
       },
       0,
       {},
       0,
       Outcome::Converted,
       [](const TempDir& dir) {
         EXPECT_EQ(StatOf(dir.File("tavrest.qpk")).st_mode & 07777, 0604u);
         if (getuid() == 0) {
           EXPECT_EQ(StatOf(dir.File("tavrest.qpk")).st_gid, 65534u);
         }
       }},
      {"new files: 0666 less the umask",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         call.umask = 027;
       },
       0,
       {},
       0,
       Outcome::Converted,
       [](const TempDir& dir) {
         EXPECT_EQ(StatOf(dir.File("tavrest.qpk")).st_mode & 07777, 0640u);
         EXPECT_EQ(StatOf(dir.File("tavrest.tga")).st_mode & 07777, 0640u);
       }},
      {"an output this user may not write is refused",
       [=](const TempDir& dir, TavrestCall& call) {
         CopyFile(FontPath("jiskan16"), dir.File("j.bdf"), 0644);
         CopyFile(FontPath("8x16rk"), dir.File("r.bdf"), 0644);
         WriteFileBytes(dir.File("tavrest.ini"), "j.bdf\nr.bdf\n16\n");
         chmod(dir.path.c_str(), 0777);
         WriteFileBytes(dir.File("tavrest.qpk"), kPrevious);
         chmod(dir.File("tavrest.qpk").c_str(), 0444);
         call.unprivileged = true;
       },
       1,
       {"tavrest: cannot write tavrest.qpk: Permission denied\n"},
       1,
       Outcome::Checked,
       [](const TempDir& dir) {
         EXPECT_TRUE(Kept(dir, "tavrest.qpk"));
         EXPECT_EQ(StatOf(dir.File("tavrest.qpk")).st_mode & 07777, 0444u);
         EXPECT_FALSE(PathExists(dir.File("tavrest.tga")));  // the pair is one run's
       },
       true},
      {"a PCF font, and a BDF",
       [=](const TempDir& dir, TavrestCall&) {
         WriteFileBytes(dir.File("jiskan16.pcf"), Gunzipped(pcfGz));
         WriteFileBytes(dir.File("tavrest.ini"), "jiskan16.pcf\n" + FontPath("8x16rk") + "\n16\n");
       },
       0,
       {},
       0,
       Outcome::Converted},
      {"compressed PCF fonts", ini(pcfGz + "\n" + pcfGz2 + "\n16\n"), 0, {}, 0, Outcome::Converted},
      {"no font at all",
       ini("/bin/sh\n\n16\n"),
       1,
       {"tavrest: main font: /bin/sh: not a BDF, PCF, TrueType, OpenType or WOFF font\n"},
       1,
       Outcome::Kept},
      {"empty font files",
       [=](const TempDir& dir, TavrestCall& call) {
         ini("empty\nempty\n16\n")(dir, call);
         WriteFileBytes(dir.File("empty"), "");
       },
       1,
       {"no glyph in empty or empty"},
       1,
       Outcome::Kept},
      {"a text file as the main font",
       [=](const TempDir& dir, TavrestCall& call) {
         ini("notes.txt\n\n16\n")(dir, call);
         WriteFileBytes(dir.File("notes.txt"), "to do: nothing\n");
       },
       1,
       {"tavrest: no glyph in notes.txt; nothing written\n"},
       1,
       Outcome::Kept},
      {"a folder as the main font",
       ini("/tmp\n\n16\n"),
       1,
       {"tavrest: main font: /tmp: is a folder\n"},
       2,  // after the library's "cant open"
       Outcome::Kept},
      {"a gzip font that breaks off",
       [=](const TempDir& dir, TavrestCall& call) {
         ini("cut.bdf.gz\n\n16\n")(dir, call);
         Bytes whole;
         RunProgram({"/bin/gzip", "-c", FontPath("jiskan16")}, whole);
         WriteFileBytes(dir.File("cut.bdf.gz"), std::string(whole.begin(), whole.end() - 9000));
       },
       1,
       {"tavrest: main font: cut.bdf.gz: broken gzip data: unexpected end of file\n"},
       1,
       Outcome::Kept},
      {"an empty second font",
       [=](const TempDir& dir, TavrestCall&) {
         WriteFileBytes(dir.File("empty.bdf"), "");
         WriteFileBytes(dir.File("tavrest.ini"), FontPath("jiskan16") + "\nempty.bdf\n16\n");
       },
       0,
       {"tavrest: warning: no glyph from empty.bdf\n"},
       1,
       Outcome::Checked,
       [](const TempDir& dir) { EXPECT_FALSE(ReadFileOrEmpty(dir.File("tavrest.qpk")).empty()); }},
      {"a second font in a two-byte set other than JIS X 0208",
       [=](const TempDir& dir, TavrestCall&) {
         WriteFileBytes(dir.File("gb.bdf"),
                        "CHARSET_REGISTRY \"GB2312.1980\"\nCHARSET_ENCODING \"0\"\n"
                        "STARTCHAR a\nENCODING 12849\nBITMAP\nFFFF\nENDCHAR\n");
         WriteFileBytes(dir.File("tavrest.ini"), FontPath("jiskan16") + "\ngb.bdf\n16\n");
       },
       0,
       {"tavrest: gb.bdf not loaded: a two-byte character set other than JIS X 0208 "
        "(GB2312.1980-0)\n"},
       1,
       Outcome::Checked},
      {"a second font in a single-byte set with codes above 127",
       [=](const TempDir& dir, TavrestCall&) {
         WriteFileBytes(dir.File("latin.bdf"),
                        "CHARSET_REGISTRY \"ISO8859\"\nCHARSET_ENCODING \"1\"\n"
                        "STARTCHAR e\nENCODING 233\nBITMAP\n10\nENDCHAR\n");
         WriteFileBytes(dir.File("tavrest.ini"), FontPath("jiskan16") + "\nlatin.bdf\n16\n");
       },
       0,
       {"tavrest: warning: latin.bdf: codes 128-255 were skipped; the font's character set is "
        "ISO8859-1\n",
        "tavrest: warning: no glyph from latin.bdf\n"},
       2,
       Outcome::Checked},
      {"a byte order mark", ini("\xEF\xBB\xBF" + PlainIni()), 0, {}, 0, Outcome::Converted},
      {"a path of 200 characters",
       [=](const TempDir& dir, TavrestCall&) {
         const std::string folder(180, 'f'), path = folder + "/" + std::string(19, 'j');
         mkdir(dir.File(folder).c_str(), 0777);
         symlink(FontPath("jiskan16").c_str(), dir.File(path).c_str());
         WriteFileBytes(dir.File("tavrest.ini"), path + "\n" + FontPath("8x16rk") + "\n16\n");
       },
       0,
       {},
       0,
       Outcome::Converted},
      {"a line of 5000 characters",
       ini(std::string(5000, 'a') + "\nb\n16\n"),
       1,
       {"tavrest: line 1 of tavrest.ini is longer than 4095 characters; nothing converted\n"},
       1,
       Outcome::Kept},
      {"no tavrest.ini",
       [](const TempDir& dir, TavrestCall&) { WritePrevious(dir); },
       0,
       {"cannot read tavrest.ini: No such file or directory (looked up in "},
       1,
       Outcome::Kept},
      {"a size line that reads as 0",
       ini(FontPath("jiskan16") + "\nb\nsixteen\n"),
       0,
       {"the size line of tavrest.ini, \"sixteen\", reads as 0; nothing converted\n"},
       1,
       Outcome::Kept},
      {"a main font that is not there",
       ini("fonts/none.bdf\nb\n16\n"),
       1,
       {"cant open [fonts/none.bdf]\ntavrest: main font: cannot open fonts/none.bdf: No such "
        "file or directory (looked up in "},
       2,
       Outcome::Kept},
      {"outputs that are folders are refused before the fonts are read",
       [](const TempDir& dir, TavrestCall&) {
         WriteFileBytes(dir.File("tavrest.ini"), "none.bdf\n\n16\n");
         mkdir(dir.File("tavrest.qpk").c_str(), 0777);
         mkdir(dir.File("tavrest.tga").c_str(), 0777);
       },
       1,
       {"tavrest: cannot write tavrest.qpk: it is a folder\n",
        "tavrest: cannot write tavrest.tga: it is a folder\n"},
       2,
       Outcome::Checked},
      {"files that cannot be synced replace nothing",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         WritePrevious(dir);
         call.env["TAVREST_FAIL_FILE_SYNC"] = "1";
       },
       1,
       {"cannot write tavrest.qpk: Input/output error\n"},
       1,
       Outcome::Kept},
      {"--no-sync: replaced whole, nothing synced",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         call.args = {"--no-sync"};
       },
       0,
       {},
       0,
       Outcome::Converted,
       {},
       false,
       {"rename", "rename"}},
      {"a FIFO is written into",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         mkfifo(dir.File("tavrest.qpk").c_str(), 0640);
         call.whileRunning = [fifo = dir.File("tavrest.qpk")](int pid) {
           ReadFifoUntilEnd(fifo, pid);
         };
       },
       0,
       {},
       0,
       Outcome::Checked,
       [](const TempDir& dir) {
         EXPECT_TRUE(fromFifo == PlainConversion().packed);
         EXPECT_TRUE(S_ISFIFO(StatOf(dir.File("tavrest.qpk")).st_mode));
         EXPECT_EQ(ReadFileOrEmpty(dir.File("tavrest.tga")), PlainConversion().image);
       }},
      {"a character device is written into, its mode kept",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         if (mknod(dir.File("tavrest.tga").c_str(), S_IFCHR | 0604, makedev(1, 3)) != 0)
           GTEST_SKIP() << "making a device node (as /dev/null is) needs root";
       },
       0,
       {},
       0,
       Outcome::Checked,
       [](const TempDir& dir) {
         const struct stat info = StatOf(dir.File("tavrest.tga"));
         EXPECT_TRUE(S_ISCHR(info.st_mode) && info.st_rdev == makedev(1, 3));
         EXPECT_EQ(info.st_mode & 07777, 0604u);
         EXPECT_EQ(ReadFileOrEmpty(dir.File("tavrest.qpk")), PlainConversion().packed);
       }},
      {"a link another user left in a sticky shared folder is not followed",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         WriteFileBytes(dir.File("victim"), kPrevious);
         mkdir(dir.File("shared").c_str(), 0777);
         chmod(dir.File("shared").c_str(), 01777);
         symlink("../victim", dir.File("shared/x.qpk").c_str());
         if (lchown(dir.File("shared/x.qpk").c_str(), 65534, 65534) != 0)
           GTEST_SKIP() << "giving a link to another user needs root";
         call.args = {"-o", "shared/x.qpk"};
       },
       1,
       {"tavrest: cannot write shared/x.qpk: it is a link another user left in a shared "
        "folder\n"},
       1,
       Outcome::Checked,
       [](const TempDir& dir) { EXPECT_TRUE(Kept(dir, "victim")); }},
      {"a file of another owner loses its set-id bits",
       [=](const TempDir& dir, TavrestCall& call) {
         plain(dir, call);
         WritePrevious(dir);
         if (chown(dir.File("tavrest.qpk").c_str(), 65534, 65534) != 0)
           GTEST_SKIP() << "giving a file to another user needs root";
         chmod(dir.File("tavrest.qpk").c_str(), 06755);
       },
       0,
       {},
       0,
       Outcome::Converted,
       [](const TempDir& dir) {
         EXPECT_EQ(StatOf(dir.File("tavrest.qpk")).st_mode & 07777, 0755u);
       }},
      {"a folder named tavrest.ini",
       [](const TempDir& dir, TavrestCall&) {
         WritePrevious(dir);
         mkdir(dir.File("tavrest.ini").c_str(), 0777);
       },
       1,
       {"tavrest: tavrest.ini is a folder, not a settings file; nothing converted\n"},
       1,
       Outcome::Kept},
      {"a NUL byte in a settings line",
       ini(FontPath("jiskan16") + std::string("\0.bdf\n\n16\n", 9)),
       1,
       {"tavrest: line 1 of tavrest.ini holds a NUL byte; nothing converted\n"},
       1,
       Outcome::Kept},
  };
}

class PeopleRunIt : public testing::TestWithParam<Surrounding> {};

TEST_P(PeopleRunIt, WhereAndHow) {
  ASSERT_TRUE(PathExists(CallRecorderLibrary())) << CallRecorderLibrary();
  const Surrounding& c = GetParam();
  TempDir dir(c.asNobody ? "/tmp" : "");
  TavrestCall call;
  call.dir = dir.path;
  c.setUp(dir, call);
  if (IsSkipped()) return;
  const CallResult run = CallTavrest(call);
  if (!run.notRun.empty()) GTEST_SKIP() << run.notRun;
  EXPECT_EQ(run.exitStatus, c.exitStatus) << run.standardError;
  EXPECT_EQ(run.standardOutput, "");
  for (const std::string& text : c.errorHas)
    EXPECT_NE(run.standardError.find(text), std::string::npos) << run.standardError;
  EXPECT_EQ(Lines(run.standardError), c.errorLines) << run.standardError;
  EXPECT_TRUE(run.delays.empty()) << "waited without a window to show";
  EXPECT_TRUE(TemporaryFiles(dir.path).empty());
  if (c.outcome == Outcome::Converted) {
    EXPECT_TRUE(ReadFileOrEmpty(dir.File("tavrest.qpk")) == PlainConversion().packed);
    EXPECT_TRUE(ReadFileOrEmpty(dir.File("tavrest.tga")) == PlainConversion().image);
    EXPECT_EQ(run.syncs, c.syncs);
  }
  if (c.outcome == Outcome::Kept) {
    EXPECT_TRUE(Kept(dir, "tavrest.qpk") && Kept(dir, "tavrest.tga"));
    EXPECT_EQ(std::count(run.syncs.begin(), run.syncs.end(), "rename"), 0);
  }
  if (c.check) c.check(dir);
}

INSTANTIATE_TEST_SUITE_P(Surroundings, PeopleRunIt, testing::ValuesIn(Surroundings()),
                         [](const auto& info) { return CaseName(info.param.name); });
// Opens a FIFO for writing once the program has opened it for reading;
// -1 when it never does.
int OpenWhenRead(const std::string& fifo, int pid) {
  for (int tries = 0; tries < 1000; ++tries) {
    int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) return fd;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  return -1;
}

// Waits up to ten seconds for the program to end (leaving it to be reaped),
// then kills it, so that a run that ignores a signal fails instead of hanging.
void AwaitEndOrKill(int pid) {
  for (int tries = 0; tries < 1000; ++tries) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid)
      return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
}

// An interrupt ends the run at once, by that signal, leaving the previous
// files as they were. The run is held at a FIFO: the settings file, or the
// font part way through.
TEST(Surroundings, InterruptsEndTheRun) {
  const Bytes font = ReadFileOrEmpty(FontPath("jiskan16"));
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    for (const char* fifo : {"tavrest.ini", "font.bdf"}) {
      SCOPED_TRACE(std::string(strsignal(signalNumber)) + " while reading " + fifo);
      TempDir dir;
      WritePrevious(dir);
      if (std::string(fifo) == "font.bdf") WriteIni(dir.path, "font.bdf", FontPath("8x16rk"), "16");
      ASSERT_EQ(mkfifo(dir.File(fifo).c_str(), 0666), 0);
      int writer = -1;
      TavrestCall call;
      call.dir = dir.path;
      call.whileRunning = [&](int pid) {
        writer = OpenWhenRead(dir.File(fifo), pid);
        if (writer >= 0 && std::string(fifo) == "font.bdf") {
          if (write(writer, font.data(), 16384) != 16384) ADD_FAILURE() << "short write";
        }
        kill(pid, signalNumber);
        AwaitEndOrKill(pid);
      };
      const CallResult run = CallTavrest(call);
      if (writer >= 0) close(writer);
      EXPECT_EQ(run.signal, signalNumber) << run.standardError;
      EXPECT_EQ(run.standardOutput, "");
      EXPECT_TRUE(Kept(dir, "tavrest.qpk") && Kept(dir, "tavrest.tga"));
      EXPECT_TRUE(TemporaryFiles(dir.path).empty());
    }
  }
}

// An interrupt at the first rename ends the run only after the second: the
// pair is one run's. (A full disk at the image: RunImage.UnwritableImage.)
TEST(Surroundings, InterruptBetweenTheRenamesWaitsForTheSecond) {
  TempDir dir;
  WritePrevious(dir);
  WriteFileBytes(dir.File("tavrest.ini"), PlainIni());
  const RunResult run = RunTavrest(
      dir.path, {{"LD_PRELOAD", CallRecorderLibrary()}, {"TAVREST_TERM_AT_RENAME", "1"}});
  EXPECT_EQ(run.signal, SIGTERM) << run.standardError;
  EXPECT_TRUE(ReadFileOrEmpty(dir.File("tavrest.qpk")) == PlainConversion().packed);
  EXPECT_TRUE(ReadFileOrEmpty(dir.File("tavrest.tga")) == PlainConversion().image);
  EXPECT_TRUE(TemporaryFiles(dir.path).empty());
}

// True once the program waits for a flock (the kernel lists waiters with
// "->"); false when it ends without.
bool AwaitLockWait(int pid) {
  const std::string waiter = " " + std::to_string(pid) + " ";
  for (int tries = 0; tries < 2000 && !ProgramEnded(pid); ++tries) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
      if (line.find("-> FLOCK") != std::string::npos && line.find(waiter) != std::string::npos)
        return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// A run waits while another holds the output folder, replacing nothing.
TEST(Surroundings, RunsOnOneFolderWaitForEachOther) {
  TempDir dir;
  WritePrevious(dir);
  WriteFileBytes(dir.File("tavrest.ini"), PlainIni());
  const int folder = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(folder, LOCK_EX), 0);
  bool waited = false, keptMeanwhile = false;
  TavrestCall call;
  call.dir = dir.path;
  call.args = {"-b"};
  call.whileRunning = [&](int pid) {
    waited = AwaitLockWait(pid);
    keptMeanwhile = Kept(dir, "tavrest.qpk") && Kept(dir, "tavrest.tga");
    flock(folder, LOCK_UN);
  };
  const CallResult run = CallTavrest(call);
  close(folder);
  EXPECT_TRUE(waited && keptMeanwhile);
  EXPECT_EQ(run.exitStatus, 0) << run.standardError;
  EXPECT_TRUE(ReadFileOrEmpty(dir.File("tavrest.tga")) == PlainConversion().image);
}

}  // namespace
