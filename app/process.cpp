#include "output.h"
#include "run_parts.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>

namespace {

bool warningsWanted = true;

void Say(const char* format, va_list args) {
  fputs("tavrest: ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
}

}  // namespace

void Report(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Say(format, args);
  va_end(args);
}

void Warn(const char* format, ...) {
  if (!warningsWanted) return;
  va_list args;
  va_start(args, format);
  Say(format, args);
  va_end(args);
}

void ReportOrWarn(bool error, const char* format, ...) {
  if (!error && !warningsWanted) return;
  va_list args;
  va_start(args, format);
  Say(format, args);
  va_end(args);
}

void SetWarningsWanted(bool wanted) { warningsWanted = wanted; }

namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void EndOnSignal(int signalNumber) {
  AtomicFileRemovePending();
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);  // delivered as this handler returns
}

}  // namespace

void EndOnInterrupts() {
  struct sigaction action {};
  action.sa_handler = EndOnSignal;
  sigemptyset(&action.sa_mask);
  for (int interrupt : kInterrupts) sigaddset(&action.sa_mask, interrupt);
  for (int interrupt : kInterrupts) {
    struct sigaction current {};
    sigaction(interrupt, nullptr, &current);
    if (current.sa_handler == SIG_IGN) continue;  // as nohup leaves SIGHUP: keep it so
    sigaction(interrupt, &action, nullptr);
  }
}
