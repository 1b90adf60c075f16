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
  const std::string long130(130, 'a');
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
      {"long first line", long130 + "\nb\n16\n", std::string(127, 'a'), "aaa", 0},
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
  }
}

TEST(ReadConfig, MissingFile) {
  TempDir dir;
  RunConfig config;
  EXPECT_FALSE(ReadConfig(dir.File("tavrest.ini").c_str(), config));
}

}  // namespace
