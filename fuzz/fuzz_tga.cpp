// Any file given to the TGA reader.
#include "fuzz_image.h"
#include "fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string copy = std::string(InputAsFile(nullptr, 0)) + ".copy.tga";
  CheckImageReader(InputAsFile(data, size), ReadTga, WriteTga, copy.c_str());
  return 0;
}
