// SPDX-License-Identifier: MIT
#include "run_support.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

std::string TavrestBinary() { return TAVREST_BINARY; }

std::string CallRecorderLibrary() { return TAVREST_CALL_RECORDER; }

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

void WriteIni(const std::string& dir, const std::string& mainFont, const std::string& secondFont,
              const std::string& size, const std::string& eol) {
  WriteFileBytes(dir + "/tavrest.ini", mainFont + eol + secondFont + eol + size + eol);
}

std::vector<long> ReadDelays(const std::string& log) {
  std::vector<long> delays;
  std::ifstream in(log);
  for (long delay; in >> delay;) delays.push_back(delay);
  return delays;
}

std::vector<std::string> ReadLines(const std::string& log) {
  std::vector<std::string> lines;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> TemporaryFiles(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& name : ListDir(dir))
    if (name.find(".tmp") != std::string::npos) found.push_back(name);
  return found;
}

namespace {

// What the child runs, and where its calls are recorded.
struct Programs {
  std::string binary;
  std::string recorder;
  std::string logs;
};

bool DropToNobody() {
  return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

// Copies of the program and the recorder in `folder` (under /tmp), and a
// log folder anyone may write; "" when user nobody can reach them and
// `dir`, otherwise why not.
std::string CopyForNobody(const TempDir& folder, const std::string& dir, Programs& programs) {
  programs = {folder.File("tavrest"), folder.File("libcall_recorder.so"), folder.File("logs")};
  const bool copied =
      chmod(folder.path.c_str(), 0755) == 0 && CopyFile(TavrestBinary(), programs.binary, 0755) &&
      CopyFile(CallRecorderLibrary(), programs.recorder, 0644) &&
      mkdir(programs.logs.c_str(), 0777) == 0 && chmod(programs.logs.c_str(), 0777) == 0;
  if (!copied) return "cannot copy the program into " + folder.path;
  const int reached = RunInChild([&] {
                        return DropToNobody() && access(programs.binary.c_str(), X_OK) == 0 &&
                                       access(programs.recorder.c_str(), R_OK) == 0 &&
                                       access(programs.logs.c_str(), W_OK | X_OK) == 0 &&
                                       access(dir.c_str(), X_OK) == 0
                                   ? 0
                                   : 1;
                      }).exitStatus;
  if (reached == 0) return "";
  return "user nobody cannot run " + programs.binary + " in " + dir;
}

[[noreturn]] void ExecTavrest(const TavrestCall& call, const Programs& programs) {
  if (call.emptyEnvironment) {
    clearenv();
    setsid();  // no controlling terminal
    int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
  } else {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
  }
  for (const auto& [name, value] : call.env) setenv(name.c_str(), value.c_str(), 1);
  setenv("LD_PRELOAD", programs.recorder.c_str(), 1);
  setenv("TAVREST_DELAY_LOG", (programs.logs + "/delays").c_str(), 1);
  setenv("TAVREST_SYNC_LOG", (programs.logs + "/syncs").c_str(), 1);
  if (call.umask >= 0) umask(static_cast<mode_t>(call.umask));
  if (call.unprivileged && getuid() == 0 && !DropToNobody()) _exit(126);
  if (chdir(call.dir.c_str()) != 0) _exit(127);
  std::vector<std::string> argv = {programs.binary};
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
  Programs programs{TavrestBinary(), CallRecorderLibrary(), logs.path};
  std::unique_ptr<TempDir> copies;
  if (call.unprivileged && getuid() == 0) {
    copies = std::make_unique<TempDir>("/tmp");
    result.notRun = CopyForNobody(*copies, call.dir, programs);
    if (!result.notRun.empty()) return result;
  }
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]), close(outPipe[1]), close(errPipe[0]), close(errPipe[1]);
    ExecTavrest(call, programs);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (call.whileRunning) call.whileRunning(pid);
  ReadBoth(outPipe[0], errPipe[0], result.standardOutput, result.standardError);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.delays = ReadDelays(programs.logs + "/delays");
  result.syncs = ReadLines(programs.logs + "/syncs");
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
