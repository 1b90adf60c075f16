// SPDX-License-Identifier: MIT
// The packed glyph file decoder: each refusal rule shown by a file only that
// rule refuses, read from a file and through a pipe. The font library reads
// the same cases in tests/kanji.
#include "packed_cases.h"
#include "qpk.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

using namespace packed_cases;

// Hands `bytes` to whoever opens the FIFO at `path`, from another thread.
struct PipeFeeder {
  std::thread writer;
  PipeFeeder(const std::string& path, const Bytes& bytes) {
    signal(SIGPIPE, SIG_IGN);  // a reader that refuses early closes its end
    mkfifo(path.c_str(), 0600);
    writer = std::thread([path, bytes] {
      const int fd = open(path.c_str(), O_WRONLY);
      for (size_t done = 0; fd >= 0 && done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      if (fd >= 0) close(fd);
    });
  }
  ~PipeFeeder() { writer.join(); }
};

void CheckRead(const DecoderCase& c, const std::string& path) {
  int32_t cellSize = 7;
  Bytes stream = {1, 2, 3};
  const PackedRefusal reason = DecodePackedGlyphPath(path.c_str(), cellSize, stream);
  EXPECT_EQ(reason, c.reason) << PackedRefusalText(reason);
  if (reason != PackedRefusal::None) {
    EXPECT_EQ(cellSize, 7);
    EXPECT_EQ(stream, Bytes({1, 2, 3}));
    return;
  }
  int32_t size = 0;
  Bytes expected;
  ASSERT_TRUE(DecodePackedFile(c.file, size, expected));  // the independent decoder
  EXPECT_EQ(cellSize, size);
  EXPECT_EQ(stream, expected);
}

TEST(PackedDecoder, EachRuleRefusesItsOwnCase) {
  TempDir dir;
  for (const DecoderCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    CheckRead(c, CaseFile(dir, c));
  }
}

TEST(PackedDecoder, ReadsPipes) {
  TempDir dir;
  for (const DecoderCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("pipe");
    unlink(path.c_str());
    PipeFeeder feeder(path, c.file);
    CheckRead(c, path);
  }
}

TEST(PackedDecoder, FilesThatCannotBeRead) {
  TempDir dir;
  const std::pair<std::string, PackedRefusal> cases[] = {
      {dir.File("missing.qpk"), PackedRefusal::CannotOpen},
      {dir.path, PackedRefusal::ReadFailed},  // a folder opens, but reads fail
  };
  for (const auto& [path, expected] : cases) {
    int32_t cellSize = 7;
    Bytes stream = {1};
    EXPECT_EQ(DecodePackedGlyphPath(path.c_str(), cellSize, stream), expected) << path;
    EXPECT_EQ(stream, Bytes{1});
  }
}

}  // namespace
