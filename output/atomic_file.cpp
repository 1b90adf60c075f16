// Whole-file-or-nothing writing: a temporary file beside the target is
// renamed over it only once every byte is written and the file is closed.
#include "output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

bool OpenTemporaryBeside(AtomicFile& file) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    file.tempPath = file.targetPath + ".tmp-" + std::to_string(getpid()) + "-" +
                    std::to_string(attempt);
    int fd = open(file.tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return false;
    file.stream = fdopen(fd, "wb");
    if (file.stream != nullptr) return true;
    int saved = errno;
    close(fd);
    unlink(file.tempPath.c_str());
    errno = saved;
    return false;
  }
  return false;
}

}  // namespace

bool AtomicFileOpen(AtomicFile& file, const char* path) {
  file.stream = nullptr;
  file.failed = false;
  file.targetPath = path;
  file.tempPath.clear();
  return OpenTemporaryBeside(file);
}

bool AtomicFileWrite(AtomicFile& file, const void* data, size_t length) {
  if (file.failed) return false;
  if (length != 0 && fwrite(data, 1, length, file.stream) != length) file.failed = true;
  return !file.failed;
}

void AtomicFileAbort(AtomicFile& file) {
  int saved = errno;
  if (file.stream != nullptr) fclose(file.stream);
  file.stream = nullptr;
  if (!file.tempPath.empty()) unlink(file.tempPath.c_str());
  file.tempPath.clear();
  errno = saved;
}

bool AtomicFileCommit(AtomicFile& file) {
  if (file.failed || fflush(file.stream) != 0) {
    AtomicFileAbort(file);
    return false;
  }
  int closed = fclose(file.stream);
  file.stream = nullptr;
  if (closed != 0 || rename(file.tempPath.c_str(), file.targetPath.c_str()) != 0) {
    AtomicFileAbort(file);
    return false;
  }
  file.tempPath.clear();
  return true;
}

bool WriteWholeFile(const char* path, const void* header, size_t headerLength, const void* body,
                    size_t bodyLength) {
  AtomicFile file;
  if (!AtomicFileOpen(file, path)) return false;
  AtomicFileWrite(file, header, headerLength);
  AtomicFileWrite(file, body, bodyLength);
  return AtomicFileCommit(file);
}
