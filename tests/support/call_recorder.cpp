// SPDX-License-Identifier: MIT
// Test-only, preloaded into the program: records calls so that a test can
// tell what a run did without timing it. Each SDL_Delay goes to the file
// named by TAVREST_DELAY_LOG, its milliseconds on a line, before it is made;
// each fsync ("file" or "folder") and rename to TAVREST_SYNC_LOG. With
// TAVREST_FAIL_FILE_SYNC set, syncing a file fails with EIO; with
// TAVREST_TERM_AT_RENAME set, SIGTERM is raised at the first rename.
#include <SDL.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

void Record(const char* variable, const char* line) {
  const char* log = getenv(variable);
  if (log == nullptr) return;
  const int saved = errno;
  const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd >= 0) {
    dprintf(fd, "%s", line);
    close(fd);
  }
  errno = saved;
}

template <class Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" void SDL_Delay(Uint32 milliseconds) {
  char line[16];
  snprintf(line, sizeof line, "%u\n", static_cast<unsigned>(milliseconds));
  Record("TAVREST_DELAY_LOG", line);
  if (auto next = Next<void (*)(Uint32)>("SDL_Delay")) next(milliseconds);
}

extern "C" int fsync(int fd) {
  struct stat info;
  const bool folder = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  Record("TAVREST_SYNC_LOG", folder ? "folder\n" : "file\n");
  if (!folder && getenv("TAVREST_FAIL_FILE_SYNC") != nullptr) {
    errno = EIO;
    return -1;
  }
  auto next = Next<int (*)(int)>("fsync");
  return next != nullptr ? next(fd) : 0;
}

extern "C" int rename(const char* from, const char* to) {
  Record("TAVREST_SYNC_LOG", "rename\n");
  static bool raised = false;
  if (!raised && getenv("TAVREST_TERM_AT_RENAME") != nullptr) {
    raised = true;
    raise(SIGTERM);
  }
  auto next = Next<int (*)(const char*, const char*)>("rename");
  if (next != nullptr) return next(from, to);
  errno = ENOSYS;
  return -1;
}
