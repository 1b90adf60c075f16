// SPDX-License-Identifier: MIT
// The reason for the library's last failure, kept for the caller to read.
#include "kanji_internal.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Long enough for two paths of ordinary length and a reason; longer texts
// are cut, never overrun.
thread_local char lastError[1024];

}  // namespace

void Kanji_SetError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(lastError, sizeof lastError, format, args);
  va_end(args);
}

const char* Kanji_GetError(void) { return lastError; }

void Kanji_ClearError(void) { lastError[0] = '\0'; }
