// SPDX-License-Identifier: MIT
#include "app.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

struct ConfigCase {
  const char* name;
  std::string content;
  std::string mainFont, secondFont;
  int cellSize;
};

TEST(ReadConfig, LinesAndSizes) {
  const std::string longest(4095, 'a'), mark = "\xEF\xBB\xBF";
  const ConfigCase cases[] = {
      {"plain", "a.bdf\nb.bdf\n16\n", "a.bdf", "b.bdf", 16},
      {"windows line ends", "a.bdf\r\nb.bdf\r\n16\r\n", "a.bdf", "b.bdf", 16},
      {"spaces stay", " a.bdf  \n\tb.bdf \n  24 \n", " a.bdf  ", "\tb.bdf ", 24},
      {"no final line feed", "a\nb\n12", "a", "b", 12},
      {"size then letters", "a\nb\n16px\n", "a", "b", 16},
      {"letters", "a\nb\nsixteen\n", "a", "b", 0},
      {"signs", "a\nb\n+8\n", "a", "b", 8},
      {"negative", "a\nb\n-8\n", "a", "b", -8},
      {"two lines", "a\nb\n", "a", "b", 0},
      {"one line", "a", "a", "", 0},
      {"empty file", "", "", "", 0},
      {"huge", "a\nb\n99999999999\n", "a", "b", INT_MAX},
      {"longest lines", longest + "\r\n" + longest + "\n16\n", longest, longest, 16},
      {"byte order mark", mark + longest + "\nb\n16\n", longest, "b", 16},
      {"mark on a later line", "a\n" + mark + "b\n16\n", "a", mark + "b", 16},
      {"carriage return inside", "a\rb\nc\n16\n", "a\rb", "c", 16},
  };
  for (const auto& c : cases) {
    TempDir dir;
    WriteFileBytes(dir.File("tavrest.ini"), c.content);
    RunConfig config;
    ASSERT_TRUE(ReadConfig(dir.File("tavrest.ini").c_str(), config)) << c.name;
    EXPECT_EQ(config.mainFont, c.mainFont) << c.name;
    EXPECT_EQ(config.secondFont, c.secondFont) << c.name;
    EXPECT_EQ(config.cellSize, c.cellSize) << c.name;
    EXPECT_EQ(config.longLine, 0) << c.name;
  }
}

// A line is never split into two settings: an overlong one is named, and
// nothing of the file is used.
TEST(ReadConfig, OverlongLines) {
  const std::string tooLong(4096, 'a'), mark = "\xEF\xBB\xBF";
  const std::pair<std::string, int> cases[] = {
      {tooLong + "\nb\n16\n", 1},
      {mark + tooLong + "\nb\n16\n", 1},
      {"a\n" + std::string(5000, 'b') + "\n16\n", 2},
      {"a\nb\n" + tooLong, 3},
  };
  for (const auto& [content, line] : cases) {
    TempDir dir;
    WriteFileBytes(dir.File("tavrest.ini"), content);
    RunConfig config;
    ASSERT_TRUE(ReadConfig(dir.File("tavrest.ini").c_str(), config));
    EXPECT_EQ(config.longLine, line);
    EXPECT_EQ(config.mainFont + config.secondFont + config.sizeLine, "");
    EXPECT_EQ(config.cellSize, 0);
  }
}

TEST(ReadConfig, MissingFile) {
  TempDir dir;
  RunConfig config;
  EXPECT_FALSE(ReadConfig(dir.File("tavrest.ini").c_str(), config));
}

}  // namespace
