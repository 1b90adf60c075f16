// SPDX-License-Identifier: MIT
// Running the built programs from tests: tavrest with its surroundings
// chosen, and the call recorder preloaded into it.
#pragma once

#include "test_support.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

std::string TavrestBinary();

struct RunResult {
  int exitStatus = -1;  // -1 when the program did not exit normally
  int signal = 0;
  std::string standardError;
  long maxRssKb = 0;  // the program's peak resident memory
};

// Runs the built tavrest in `dir` with SDL_VIDEODRIVER=dummy (unless `env`
// overrides it). fileSizeLimit > 0 sets RLIMIT_FSIZE with SIGXFSZ ignored.
RunResult RunTavrest(const std::string& dir, const std::map<std::string, std::string>& env = {},
                     long fileSizeLimit = 0);

// Writes "tavrest.ini" with the three lines, each ended by `eol`.
void WriteIni(const std::string& dir, const std::string& mainFont, const std::string& secondFont,
              const std::string& size, const std::string& eol = "\n");

struct TavrestCall {
  std::string dir;
  std::vector<std::string> args;
  std::map<std::string, std::string> env;  // set on top of the environment
  // As `env -i` from a service: nothing in the environment, no controlling
  // terminal, standard input from /dev/null. Otherwise SDL_VIDEODRIVER=dummy.
  bool emptyEnvironment = false;
  // As user and group 65534 (nobody) when run as root. The build tree may
  // lie where nobody cannot reach it (a clone under `mktemp -d`), so the
  // program and the recorder then run as copies from a folder under /tmp;
  // `dir` and the fonts must be reachable too (a TempDir under /tmp).
  bool unprivileged = false;
  int umask = -1;  // the child's umask, unless -1
  // Called with the child's id once it runs; the child's output is read after.
  std::function<void(int pid)> whileRunning;
};

struct CallResult {
  int exitStatus = -1;  // -1 when the program did not exit normally
  int signal = 0;
  std::string standardOutput;
  std::string standardError;
  std::vector<long> delays;  // the program's SDL_Delay calls, in milliseconds
  // Its fsync calls, "file" or "folder", and its renames ("rename"), in order.
  std::vector<std::string> syncs;
  // Why an unprivileged call was not made: nobody cannot reach the copies.
  std::string notRun;
};

// Runs the built tavrest with the call recorder preloaded.
CallResult CallTavrest(const TavrestCall& call);
// The test-only library that records calls (see call_recorder.cpp).
std::string CallRecorderLibrary();
// The calls recorded in a log, in milliseconds.
std::vector<long> ReadDelays(const std::string& log);
// Its lines, in order.
std::vector<std::string> ReadLines(const std::string& log);
// The names in a folder that look like temporary files of a write.
std::vector<std::string> TemporaryFiles(const std::string& dir);

// The two files of a plain run on jiskan16 + 8x16rk at 16, made once.
struct ConvertedFiles {
  std::vector<uint8_t> packed;
  std::vector<uint8_t> image;
};
std::string PlainIni();
const ConvertedFiles& PlainConversion();
