// SPDX-License-Identifier: MIT
// Every writer where it cannot write, and the image writers refusing sheets
// they cannot store: false, errno saying why, no partial or temporary file,
// the old file intact.
#include "output.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <tuple>

namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kOld = {'o', 'l', 'd'};

// Varied pixels and bytes: every file is over 64 KiB, whatever its coding.
const GlyphSheet& NoisySheet() {
  static const GlyphSheet sheet = [] {
    GlyphSheet made{256, 128, {}};
    uint32_t seed = 3;
    for (int k = 0; k < 256 * 128; ++k) {
      seed = seed * 1103515245 + 12345;
      made.pixels.push_back(SheetPixel{static_cast<uint8_t>(seed >> 16),
                                       static_cast<uint8_t>(seed >> 8),
                                       static_cast<uint8_t>(seed >> 24), 255});
    }
    return made;
  }();
  return sheet;
}

const PackedGlyphs& NoisyPacked() {
  static const PackedGlyphs packed = [] {
    PackedGlyphs made{16, Bytes(PackedStreamLength(16))};
    for (size_t i = 0; i < made.bytes.size(); ++i)
      made.bytes[i] = static_cast<uint8_t>(i * 7 + i / 3);
    return made;
  }();
  return packed;
}

struct Writer {
  const char* name;
  bool (*write)(const char* path);
};

const Writer kWriters[] = {
    {"Qpk", [](const char* path) { return WritePackedGlyphs(NoisyPacked(), path); }},
    {"Tga", [](const char* path) { return WriteTga(NoisySheet(), path); }},
    {"Bmp", [](const char* path) { return WriteBmp(NoisySheet(), path); }},
};

void PrintTo(const Writer& writer, std::ostream* out) { *out << writer.name; }

enum class Place { FolderInTheWay, MissingFolder, FileSizeLimit, FullDisk };

struct Fault {
  const char* name;
  Place place;
  int error;
};

const Fault kFaults[] = {
    {"FolderInTheWay", Place::FolderInTheWay, EISDIR},
    {"MissingFolder", Place::MissingFolder, ENOENT},
    {"FileSizeLimit", Place::FileSizeLimit, EFBIG},  // RLIMIT_FSIZE with SIGXFSZ ignored
    {"FullDisk", Place::FullDisk, ENOSPC},           // a 64 KiB tmpfs
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

// Writes in a child, which may have a file-size limit. Its exit status is
// the errno of the failed write; 255 when the write succeeded.
int FailedWriteErrno(const Writer& writer, const std::string& path, bool limitFileSize) {
  return RunInChild([&] {
           if (limitFileSize) {
             signal(SIGXFSZ, SIG_IGN);
             rlimit limit{20000, 20000};
             setrlimit(RLIMIT_FSIZE, &limit);
           }
           errno = 0;
           return writer.write(path.c_str()) ? 255 : errno;
         })
      .exitStatus;
}

class WriterFaults : public testing::TestWithParam<std::tuple<Writer, Fault>> {};

TEST_P(WriterFaults, FalseWithErrnoAndNothingLeftBehind) {
  const auto& [writer, fault] = GetParam();
  TempDir dir;
  std::unique_ptr<SmallDisk> disk;
  std::string folder = dir.path;
  if (fault.place == Place::FullDisk) {
    disk = std::make_unique<SmallDisk>(64 * 1024);
    if (!disk->mounted) GTEST_SKIP() << disk->reason;
    folder = disk->path;
  }
  std::string path = folder + "/out";
  if (fault.place == Place::FolderInTheWay) {
    mkdir(path.c_str(), 0777);
  } else if (fault.place == Place::MissingFolder) {
    path = folder + "/no/such/out";
  } else {
    WriteFileBytes(path, "old");
  }
  const int error = FailedWriteErrno(writer, path, fault.place == Place::FileSizeLimit);
  EXPECT_EQ(error, fault.error) << strerror(error);
  const auto left = fault.place == Place::MissingFolder ? std::vector<std::string>{}
                                                        : std::vector<std::string>{"out"};
  EXPECT_EQ(ListDir(folder), left);
  if (fault.place == Place::FolderInTheWay) {
    EXPECT_TRUE(ListDir(path).empty());
  } else if (fault.place != Place::MissingFolder) {
    EXPECT_EQ(ReadFileOrEmpty(path), kOld);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, WriterFaults,
                         testing::Combine(testing::ValuesIn(kWriters), testing::ValuesIn(kFaults)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  std::get<1>(info.param).name;
                         });

TEST(ImageWriters, RefuseWithoutTouchingTheFile) {
  struct Case {
    const char* name;
    bool (*write)(const GlyphSheet&, const char*);
    GlyphSheet sheet;
    int error;
  };
  const Case cases[] = {
      {"tga empty", WriteTga, {16, 16, {}}, 0},
      {"tga too wide", WriteTga, {65536, 1, SheetPixels(65536)}, EOVERFLOW},
      {"tga too tall", WriteTga, {1, 65536, SheetPixels(65536)}, EOVERFLOW},
      {"tga pixels short of the size", WriteTga, {4, 4, SheetPixels(15)}, EINVAL},
      {"tga negative size", WriteTga, {-1, -1, SheetPixels(1)}, EINVAL},
      {"bmp empty", WriteBmp, {16, 16, {}}, 0},
      {"bmp pixels beyond the size", WriteBmp, {2, 2, SheetPixels(5)}, EINVAL},
      {"bmp zero width", WriteBmp, {0, 5, SheetPixels(5)}, EINVAL},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFileBytes(dir.File("x"), "old");
    errno = 12345;
    EXPECT_FALSE(c.write(c.sheet, dir.File("x").c_str())) << c.name;
    EXPECT_EQ(errno, c.error) << c.name;
    EXPECT_EQ(ReadFileOrEmpty(dir.File("x")), kOld) << c.name;
    EXPECT_EQ(ListDir(dir.path).size(), 1u) << c.name;
  }
}

}  // namespace
