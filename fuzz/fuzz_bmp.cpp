// Any file given to the BMP reader.
#include "fuzz_image.h"
#include "fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string copy = std::string(InputAsFile(nullptr, 0)) + ".copy.bmp";
  CheckImageReader(InputAsFile(data, size), ReadBmp, WriteBmp, copy.c_str());
  return 0;
}
