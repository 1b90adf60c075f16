#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

const char* InputAsFile(const uint8_t* data, size_t size) {
  static std::string path = [] {
    const char* folder = getenv("TMPDIR");
    std::string name = std::string(folder != nullptr ? folder : "/tmp") + "/tavrest-fuzz-" +
                       std::to_string(getpid());
    return name;
  }();
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) abort();
  if (size != 0 && fwrite(data, 1, size, file) != size) abort();
  fclose(file);
  return path.c_str();
}
