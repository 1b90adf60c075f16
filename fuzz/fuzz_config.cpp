// Any "tavrest.ini": every value must end inside its buffer.
#include "app.h"
#include "fuzz_support.h"
#include "kanji.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunConfig config;
  if (!ReadConfig(InputAsFile(data, size), config)) abort();
  for (const char* value : {config.mainFont, config.secondFont, config.sizeLine}) {
    size_t length = strnlen(value, ConfigLineSize);
    if (length >= ConfigLineSize || memchr(value, '\n', length) != nullptr) abort();
  }
  if (config.cellSize != Kanji_ParseDecimal(config.sizeLine)) abort();
  return 0;
}
