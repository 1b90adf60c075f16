// SPDX-License-Identifier: MIT
// tavrest's command line and the settings file it reads: the input's pieces
// up to a double zero byte are the arguments (one per zero-ended piece), the
// rest is the settings file. Parsing and gathering the settings must end in
// one of their results, the settings then within their bounds. Only names
// in the working folder are read: an argument holding a '/' is replaced by
// the settings file's path.
#include "app.h"
#include "fuzz_support.h"
#include "kanji.h"
#include "run_parts.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxArguments = 16;

std::vector<std::string> Arguments(const std::string& pieces, const char* settingsPath) {
  std::vector<std::string> words{"tavrest"};
  size_t start = 0;
  while (start <= pieces.size() && words.size() <= kMaxArguments) {
    size_t end = pieces.find('\0', start);
    if (end == std::string::npos) end = pieces.size();
    std::string word = pieces.substr(start, end - start);
    words.push_back(word.find('/') == std::string::npos ? word : settingsPath);
    start = end + 1;
  }
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find(std::string("\0\0", 2));
  const std::string settings = split == std::string::npos ? "" : input.substr(split + 2);
  const char* settingsPath =
      InputAsFile(reinterpret_cast<const uint8_t*>(settings.data()), settings.size());
  std::vector<std::string> words = Arguments(input.substr(0, split), settingsPath);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  SetWarningsWanted(false);
  RunOptions options;
  std::string problem;
  const CommandLine parsed =
      ParseCommandLine(static_cast<int>(words.size()), argv.data(), options, problem);
  if (parsed == CommandLine::UsageError && problem.empty()) abort();
  if (parsed != CommandLine::Run) return 0;
  if (options.cellSize < 0 || options.cellSize > MaxCellSize) abort();
  RunConfig config;
  int status = -1;
  if (GatherSettings(options, config, status)) {
    if (status != 0 || config.cellSize < 1 || config.cellSize > MaxCellSize) abort();
    if (config.mainFont.size() > ConfigLineMax && options.mainFont.empty()) abort();
  } else if (status < 0 || status > 2) {
    abort();
  }
  return 0;
}
