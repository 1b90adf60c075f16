// SPDX-License-Identifier: MIT
#include "output.h"
#include "platform.h"
#include "run_parts.h"

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

void EndOnInterrupts() { HandleInterrupts(AtomicFileRemovePending); }
