// SPDX-License-Identifier: MIT
#include "app.h"
#include "platform.h"

#include <cstdio>
#include <new>

// The libraries turn running out of memory into results; this catches what
// the driver's own strings and vectors may still throw.
int main(int argc, char** argv) {
  PrepareProcess(argc, argv);
  try {
    return TavrestMain(argc, argv);
  } catch (const std::bad_alloc&) {
    fputs("tavrest: not enough memory\n", stderr);
    return 1;
  }
}
