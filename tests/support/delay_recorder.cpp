// Test-only, preloaded into the program: records every SDL_Delay call in the
// file named by TAVREST_DELAY_LOG before making it, so that a test can tell
// whether a run waited without timing it.
#include <SDL.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

extern "C" void SDL_Delay(Uint32 milliseconds) {
  if (const char* log = getenv("TAVREST_DELAY_LOG")) {
    int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) {
      dprintf(fd, "%u\n", static_cast<unsigned>(milliseconds));
      close(fd);
    }
  }
  using Delay = void (*)(Uint32);
  if (auto next = reinterpret_cast<Delay>(dlsym(RTLD_NEXT, "SDL_Delay"))) next(milliseconds);
}
