// Image writers in places they cannot write: false, no partial file, and
// the old file intact.
#include "output.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

struct Writer {
  const char* name;
  bool (*write)(const GlyphSheet&, const char*);
};

const Writer kWriters[] = {{"tga", WriteTga}, {"bmp", WriteBmp}};

// Varied pixels, so that the coded image is large.
GlyphSheet NoisySheet() {
  GlyphSheet sheet{256, 64, {}};
  uint32_t seed = 3;
  for (int k = 0; k < 256 * 64; ++k) {
    seed = seed * 1103515245 + 12345;
    sheet.pixels.push_back(SheetPixel{static_cast<uint8_t>(seed >> 16), static_cast<uint8_t>(seed >> 8),
                                      static_cast<uint8_t>(seed >> 24), 255});
  }
  return sheet;
}

TEST(ImageWriterFaults, UnwritablePlacesLeaveNothing) {
  const GlyphSheet sheet = NoisySheet();
  for (const Writer& w : kWriters) {
    TempDir dir;
    mkdir(dir.File("taken").c_str(), 0777);
    errno = 0;
    EXPECT_FALSE(w.write(sheet, dir.File("taken").c_str())) << w.name;
    EXPECT_EQ(errno, EISDIR) << w.name;
    EXPECT_FALSE(w.write(sheet, dir.File("no/such/folder").c_str())) << w.name;
    EXPECT_EQ(errno, ENOENT) << w.name;
    EXPECT_EQ(ListDir(dir.path), std::vector<std::string>{"taken"}) << w.name;
    EXPECT_EQ(tgaBytes.capacity(), 0u) << w.name;
  }
}

// A write cut short by the file-size limit must not replace the old file.
TEST(ImageWriterFaults, FileSizeLimitKeepsOldFile) {
  const GlyphSheet sheet = NoisySheet();
  for (const Writer& w : kWriters) {
    TempDir dir;
    std::string path = dir.File("out");
    WriteFileBytes(path, "old");
    pid_t pid = fork();
    if (pid == 0) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{20000, 20000};
      setrlimit(RLIMIT_FSIZE, &limit);
      bool written = w.write(sheet, path.c_str());
      _exit(written ? 0 : (errno == EFBIG ? 2 : 3));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << w.name;
    EXPECT_EQ(WEXITSTATUS(status), 2) << w.name;
    EXPECT_EQ(ReadFileOrEmpty(path), (std::vector<uint8_t>{'o', 'l', 'd'})) << w.name;
    EXPECT_EQ(ListDir(dir.path), std::vector<std::string>{"out"}) << w.name;
  }
}

}  // namespace
