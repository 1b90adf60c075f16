// SPDX-License-Identifier: MIT
// Any "tavrest.ini": every value is one line, within the length limit.
#include "app.h"
#include "fuzz_support.h"
#include "kanji.h"

#include <cstdlib>
#include <initializer_list>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunConfig config;
  if (!ReadConfig(InputAsFile(data, size), config)) abort();
  for (const std::string* value : {&config.mainFont, &config.secondFont, &config.sizeLine}) {
    if (value->size() > ConfigLineMax || value->find('\n') != std::string::npos) abort();
  }
  if (config.cellSize != Kanji_ParseDecimal(config.sizeLine.c_str())) abort();
  return 0;
}
