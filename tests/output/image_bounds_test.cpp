// SPDX-License-Identifier: MIT
// Image headers that claim huge sizes cost no memory: the readers refuse
// them from the header alone.
#include "output.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

namespace {

// Image headers that claim huge sizes are refused from the header alone:
// no memory is taken for pixels the file cannot hold.
TEST(Bounds, HugeImageClaimsCostNoMemory) {
  TempDir dir;
  auto tga = [](int width, int height) {
    std::string file(18, '\0');
    file[2] = 10;
    file[12] = static_cast<char>(width & 0xFF);
    file[13] = static_cast<char>(width >> 8);
    file[14] = static_cast<char>(height & 0xFF);
    file[15] = static_cast<char>(height >> 8);
    file[16] = 32;
    file[17] = 8;
    return file + std::string(4096, '\xF9');  // run packets with no pixels behind them
  };
  const std::pair<const char*, std::string> claims[] = {
      {"32767 x 32767", tga(32767, 32767)},
      {"65535 x 65535", tga(65535, 65535)},
      {"8192 x 8192, at the cap", tga(8192, 8192)},
  };
  const long baseline = RunInChild([] { return 0; }).maxRssKb;
  for (const auto& [name, content] : claims) {
    const std::string path = dir.File("claim.tga");
    WriteFileBytes(path, content);
    ChildResult child = RunInChild([&] {
      GlyphSheet sheet{0, 0, {}};
      return ReadTga(sheet, path.c_str()) ? 1 : 0;
    });
    EXPECT_EQ(child.exitStatus, 0) << name << " was accepted";
    EXPECT_LT(child.maxRssKb, baseline + 4 * 1024) << name;
    printf("%s: peak %ld KiB, idle child %ld KiB\n", name, child.maxRssKb, baseline);
  }
}

}  // namespace
