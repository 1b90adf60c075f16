// SPDX-License-Identifier: MIT
// Writes ended part way by a signal, shared by the output tests and the
// run's own interrupt handling in the app tests.
#pragma once

#include "output_internal.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

using OpenFunction = bool (*)(AtomicFile&, const char*);

// A child that sets up its signal handling with `prepare`, starts a write of
// 1 MiB and then raises `signalNumber`; its signal, or minus its exit status.
inline int SignalOfWriteEndedBy(const std::string& path, OpenFunction openFile, int signalNumber,
                                void (*prepare)()) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    prepare();
    AtomicFile file;
    if (!openFile(file, path.c_str())) _exit(1);
    std::vector<uint8_t> block(1 << 20, 0x5A);
    AtomicFileWrite(file, block.data(), block.size());
    fflush(file.stream);
    raise(signalNumber);
    _exit(2);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
}
