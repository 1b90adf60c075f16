// SPDX-License-Identifier: MIT
// The run's interrupt handling: a write in progress leaves no temporary file
// and the previous file as it was, and the run ends by the signal.
#include "../output/ended_write.h"
#include "run_parts.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(EndOnInterrupts, RemovesThePendingFileAndEndsBySignal) {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signalNumber));
    TempDir dir;
    WriteFileBytes(dir.File("out"), "previous");
    EXPECT_EQ(
        SignalOfWriteEndedBy(dir.File("out"), AtomicFileOpenNamed, signalNumber, EndOnInterrupts),
        signalNumber);
    EXPECT_EQ(ListDir(dir.path), std::vector<std::string>{"out"});
    EXPECT_EQ(ReadFileOrEmpty(dir.File("out")),
              (std::vector<uint8_t>{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
  }
}

}  // namespace
