// SPDX-License-Identifier: MIT
// Whole-file writes where the process ends part way: killed outright, or
// interrupted with a named temporary file on disk.
#include "ended_write.h"
#include "output_internal.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace {

bool UnnamedFilesHere(const std::string& folder) {
  int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// What a program does on an interrupt: removes the pending temporary
// file, then ends by the signal.
extern "C" void RemovePendingAndEnd(int signalNumber) {
  AtomicFileRemovePending();
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void RemovePendingOnInterrupts() {
  for (int interrupt : {SIGINT, SIGTERM, SIGHUP}) signal(interrupt, RemovePendingAndEnd);
}

TEST(AtomicFile, EndedWritesLeaveThePreviousFileAndNoTemporary) {
  struct Case {
    const char* name;
    OpenFunction openFile;
    int signalNumber;
    bool needsUnnamedFiles;
  };
  const Case cases[] = {
      {"killed", AtomicFileOpen, SIGKILL, true},
      {"interrupted", AtomicFileOpen, SIGINT, false},
      {"interrupted, named", AtomicFileOpenNamed, SIGTERM, false},
      {"hung up, named", AtomicFileOpenNamed, SIGHUP, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (c.needsUnnamedFiles && !UnnamedFilesHere(dir.path)) {
      printf("skipped %s: no unnamed temporary files on this file system\n", c.name);
      continue;
    }
    WriteFileBytes(dir.File("out"), "previous");
    EXPECT_EQ(SignalOfWriteEndedBy(dir.File("out"), c.openFile, c.signalNumber,
                                   RemovePendingOnInterrupts),
              c.signalNumber)
        << c.name;
    EXPECT_EQ(ListDir(dir.path), std::vector<std::string>{"out"}) << c.name;
    EXPECT_EQ(ReadFileOrEmpty(dir.File("out")),
              (std::vector<uint8_t>{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}))
        << c.name;
  }
}

// Both ways of opening keep a link and the mode of the file it leads to.
TEST(AtomicFile, LinksAndModesKept) {
  for (OpenFunction openFile : {AtomicFileOpen, AtomicFileOpenNamed}) {
    TempDir dir;
    WriteFileBytes(dir.File("target"), "previous");
    chmod(dir.File("target").c_str(), 0600);
    symlink("target", dir.File("link").c_str());
    AtomicFile file;
    ASSERT_TRUE(openFile(file, dir.File("link").c_str()));
    AtomicFileWrite(file, "new", 3);
    ASSERT_TRUE(AtomicFileCommit(file));
    struct stat info;
    ASSERT_EQ(lstat(dir.File("link").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(stat(dir.File("target").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadFileOrEmpty(dir.File("target")), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(ListDir(dir.path).size(), 2u);
  }
}

}  // namespace
