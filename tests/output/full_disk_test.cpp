// Every writer on a full disk: false with ENOSPC, no partial file, and the
// previous file intact.
#include "output.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

struct Writer {
  const char* name;
  std::function<bool(const char*)> write;
};

TEST(FullDisk, WritersLeavePreviousFiles) {
  SmallDisk disk(64 * 1024);
  if (!disk.mounted) GTEST_SKIP() << disk.reason;
  GlyphSheet sheet{};
  ASSERT_TRUE(CreateGlyphSheet(sheet, 16));
  for (size_t i = 0; i < sheet.pixels.size(); ++i)  // incompressible enough to overflow 64 KiB
    sheet.pixels[i] = SheetPixel{static_cast<uint8_t>(i * 7), static_cast<uint8_t>(i >> 3), 0, 255};
  PackedGlyphs packed{16, {}};
  ASSERT_TRUE(PackGlyphSheet(packed, sheet, 16));
  for (size_t i = 0; i < packed.bytes.size(); ++i) packed.bytes[i] = static_cast<uint8_t>(i * 13);
  const Writer writers[] = {
      {"packed", [&](const char* path) { return WritePackedGlyphs(packed, path); }},
      {"tga", [&](const char* path) { return WriteTga(sheet, path); }},
      {"bmp", [&](const char* path) { return WriteBmp(sheet, path); }},
  };
  for (const auto& writer : writers) {
    const std::string path = disk.path + "/out." + writer.name;
    WriteFileBytes(path, "previous");
    errno = 0;
    EXPECT_FALSE(writer.write(path.c_str())) << writer.name;
    EXPECT_EQ(errno, ENOSPC) << writer.name;
    const std::vector<uint8_t> previous = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};
    EXPECT_EQ(ReadFileOrEmpty(path), previous) << writer.name;
    EXPECT_EQ(ListDir(disk.path).size(), 1u) << writer.name;
    remove(path.c_str());
  }
}

}  // namespace
