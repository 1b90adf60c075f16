// The packed glyph file decoder: each refusal rule shown by a file only that
// rule refuses, read from a file and through a pipe, by the output layer and
// by the font library.
#include "kanji.h"
#include "output.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kInk = 0x80;  // at size 1, the cell's one pixel

Bytes Header(int32_t size) {
  const uint32_t v = static_cast<uint32_t>(size);
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

// Run packets of the longest kind covering `count` bytes of `value`.
Bytes Runs(size_t count, uint8_t value = kInk) {
  Bytes out;
  for (; count >= 2; count -= std::min<size_t>(count, 128)) {
    out.push_back(static_cast<uint8_t>(0x7F + std::min<size_t>(count, 128)));
    out.push_back(value);
  }
  if (count == 1) out.insert(out.end(), {0x00, value});
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes RawOf(size_t count, uint8_t value) {
  Bytes out(count + 1, value);
  out[0] = static_cast<uint8_t>(count - 1);
  return out;
}

constexpr size_t kFull = 9472;  // the stream at size 1
constexpr size_t kAllButOne = kFull - 128;

struct DecoderCase {
  const char* name;
  Bytes file;
  PackedRefusal reason;
};

std::vector<DecoderCase> Cases() {
  return {
      {"runs of 128", Cat({Header(1), Runs(kFull)}), PackedRefusal::None},
      {"a raw packet of 128", Cat({Header(1), RawOf(128, kInk), Runs(kAllButOne)}),
       PackedRefusal::None},
      {"size 32", Cat({Header(32), Runs(kFull * 32 * 4, 0x01)}), PackedRefusal::None},
      {"size 0", Cat({Header(0), Runs(kFull)}), PackedRefusal::BadCellSize},
      {"size 33", Cat({Header(33), Runs(kFull * 33 * 5)}), PackedRefusal::BadCellSize},
      {"size -1", Cat({Header(-1), Runs(kFull)}), PackedRefusal::BadCellSize},
      {"three bytes", {1, 0, 0}, PackedRefusal::BadCellSize},
      {"empty", {}, PackedRefusal::BadCellSize},
      // As a run of one the stream would be complete.
      {"header 0x80", Cat({Header(1), {0x80, kInk}, Runs(kFull - 1)}), PackedRefusal::BadPacket},
      {"a packet short", Cat({Header(1), Runs(kAllButOne)}), PackedRefusal::StreamShort},
      {"header only", Header(1), PackedRefusal::StreamShort},
      {"inside a raw packet", Cat({Header(1), Runs(kAllButOne), {0x7F, 1, 2, 3}}),
       PackedRefusal::StreamShort},
      {"a run without its byte", Cat({Header(1), Runs(kAllButOne), {0xFF}}),
       PackedRefusal::StreamShort},
      {"a run past the end", Cat({Header(1), Runs(kFull - 2), {0x82, kInk}}),
       PackedRefusal::StreamOverrun},
      {"a raw packet past the end", Cat({Header(1), Runs(kFull - 1), {0x01, kInk, kInk}}),
       PackedRefusal::StreamOverrun},
      {"one byte more", Cat({Header(1), Runs(kFull), {0x00}}), PackedRefusal::TrailingBytes},
      {"a packet more", Cat({Header(1), Runs(kFull), Runs(2)}), PackedRefusal::TrailingBytes},
      // Bits past the one pixel of each row, and in the last byte of size 12's two.
      {"padding bits set", Cat({Header(1), RawOf(128, 0x7F), Runs(kAllButOne)}),
       PackedRefusal::PaddingSet},
      {"padding bits set at size 12",
       Cat({Header(12), Runs(kFull * 12 * 2 - 1, 0xF0), {0x00, 0x08}}), PackedRefusal::PaddingSet},
  };
}

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
  PackedGlyphs packed{7, {1, 2, 3}};
  PackedRefusal reason = PackedRefusal::None;
  const bool accepted = ReadPackedGlyphs(packed, path.c_str(), reason);
  EXPECT_EQ(reason, c.reason) << PackedRefusalText(reason);
  EXPECT_EQ(accepted, c.reason == PackedRefusal::None);
  if (!accepted) {
    EXPECT_EQ(packed.cellSize, 7);
    EXPECT_EQ(packed.bytes, Bytes({1, 2, 3}));
    return;
  }
  int32_t size = 0;
  Bytes expected;
  ASSERT_TRUE(DecodePackedFile(c.file, size, expected));  // the independent decoder
  EXPECT_EQ(packed.cellSize, size);
  EXPECT_EQ(packed.bytes, expected);
}

std::string CaseFile(const TempDir& dir, const DecoderCase& c) {
  const std::string path = dir.File("case.qpk");
  EXPECT_TRUE(WriteFileBytes(path, std::string(c.file.begin(), c.file.end())));
  return path;
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
    PackedGlyphs packed{7, {1}};
    PackedRefusal reason = PackedRefusal::None;
    EXPECT_FALSE(ReadPackedGlyphs(packed, path.c_str(), reason));
    EXPECT_EQ(reason, expected) << path;
    EXPECT_EQ(packed.bytes, Bytes{1});
  }
}

// The font library: one line naming the file for a refused file; for an
// accepted one, a glyph in every slot whose cell has ink.
TEST(PackedFont, RefusesWithOneLineAndFillsInkedSlots) {
  TempDir dir;
  for (const DecoderCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string path = CaseFile(dir, c);
    testing::internal::CaptureStderr();
    FontSet* font = Kanji_CreateFontSetFromPacked(path.c_str());
    const std::string message = testing::internal::GetCapturedStderr();
    if (c.reason != PackedRefusal::None) {
      EXPECT_EQ(font, nullptr);
      EXPECT_EQ(message, path + ": " + PackedRefusalText(c.reason) + "\n");
      continue;
    }
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(message, "");
    EXPECT_EQ(font->halfWidth, font->size / 2);
    int inked = 0;
    for (const int32_t* rows : font->glyphs) inked += rows != nullptr;
    EXPECT_EQ(inked, GlyphSlotCount);
    EXPECT_EQ(font->glyphs[GlyphSlotCount - 1][0], font->size == 1 ? 1 : 0x01010101);  // bytes 01
    Kanji_DestroyFontSet(font);
  }
}

}  // namespace
