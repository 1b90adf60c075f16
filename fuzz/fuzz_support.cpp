// SPDX-License-Identifier: MIT
#include "fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

// Map nodes stay put, so the paths handed out stay valid.
struct ScratchFiles {
  std::map<std::string, std::string> pathBySuffix;
  ~ScratchFiles() {
    for (const auto& entry : pathBySuffix) unlink(entry.second.c_str());
  }
};

ScratchFiles& Scratch() {
  static ScratchFiles files;
  return files;
}

}  // namespace

const char* ScratchFile(const char* suffix) {
  auto& paths = Scratch().pathBySuffix;
  auto found = paths.find(suffix);
  if (found == paths.end()) {
    mkdir(TAVREST_FUZZ_SCRATCH_DIR, 0777);
    std::string path =
        std::string(TAVREST_FUZZ_SCRATCH_DIR) + "/input-" + std::to_string(getpid()) + suffix;
    found = paths.emplace(suffix, path).first;
  }
  return found->second.c_str();
}

const char* InputAsFile(const uint8_t* data, size_t size) {
  const char* path = ScratchFile("");
  FILE* file = fopen(path, "wb");
  if (file == nullptr) abort();
  if (size != 0 && fwrite(data, 1, size, file) != size) abort();
  fclose(file);
  return path;
}
