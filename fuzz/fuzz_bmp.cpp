// SPDX-License-Identifier: MIT
// Any file given to the BMP reader.
#include "fuzz_image.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const copy = ScratchFile(".copy.bmp");
  CheckImageReader(InputAsFile(data, size), ReadBmp, WriteBmp, copy);
  return 0;
}
