// SPDX-License-Identifier: MIT
// Test support on Windows: the folder helpers the portable tests use. Tests
// that run children or mount file systems are built on POSIX systems only.
#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Paths are UTF-8 here as in the programs; the narrow std::filesystem calls
// would take them in the ANSI code page.
fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

TempDir::TempDir(const std::string& base) {
  const fs::path folder = base.empty() ? fs::path(TAVREST_BUILD_DIR) / "test-tmp" : PathOf(base);
  std::error_code error;
  fs::create_directories(folder, error);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = folder / ("tavrest-t-" + std::to_string(random()));
    if (fs::create_directory(candidate, error)) {
      path = Utf8Of(candidate);
      return;
    }
  }
  abort();
}

TempDir::~TempDir() {
  std::error_code error;
  fs::remove_all(PathOf(path), error);
}

bool CopyFile(const std::string& from, const std::string& to, int) {
  std::vector<uint8_t> bytes;
  return ReadFileBytes(from, bytes) && WriteFileBytes(to, std::string(bytes.begin(), bytes.end()));
}

bool PathExists(const std::string& path) {
  std::error_code error;
  return fs::exists(PathOf(path), error);
}

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(PathOf(path), error))
    names.push_back(Utf8Of(entry.path().filename()));
  return names;
}
