// Whole-file-or-nothing writing: a temporary file beside the target is
// renamed over it only once every byte is written, synced and closed.
#include "output_internal.h"
#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kNameAttempts = 100;

// The named temporary file that exists right now, kept where a signal
// handler can read it without allocating.
char pendingName[4096];
volatile sig_atomic_t pendingNameSet = 0;

bool SetPendingName(const std::string& name) {
  pendingNameSet = 0;
  if (name.size() >= sizeof pendingName) {
    errno = ENAMETOOLONG;
    return false;
  }
  memcpy(pendingName, name.c_str(), name.size() + 1);
  pendingNameSet = 1;
  return true;
}

void ClearPendingName() { pendingNameSet = 0; }

std::string TempNameFor(const std::string& path, int attempt) {
  return path + ".tmp-" + std::to_string(ProcessId()) + "-" + std::to_string(attempt);
}

// Notes the mode and group of the file being replaced; false, with errno,
// when this user could not open it for writing.
bool NoteExistingTarget(AtomicFile& file) {
  KeptAttributes kept;
  if (!NoteReplacedFile(file.finalPath.c_str(), kept)) return false;
  file.keptMode = kept.mode;
  file.keptGroup = kept.group;
  return true;
}

bool StartAtomicFile(AtomicFile& file, const char* path) {
  file.stream = nullptr;
  file.failed = false;
  file.targetPath = path;
  file.tempPath.clear();
  file.keptMode = -1;
  file.keptGroup = -1;
  return ResolveLinks(file.targetPath.c_str(), file.finalPath) && NoteExistingTarget(file);
}

// A file without a name in the target's folder; it gets one only once it is
// complete.
bool OpenUnnamed(AtomicFile& file) {
  file.stream = CreateUnnamed(FolderOf(file.finalPath).c_str());
  return file.stream != nullptr;
}

bool OpenNamed(AtomicFile& file) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name = TempNameFor(file.finalPath, attempt);
    if (!SetPendingName(name)) return false;
    file.stream = CreateNewFile(name.c_str());
    if (file.stream == nullptr && errno == EEXIST) continue;
    if (file.stream == nullptr) break;
    file.tempPath = name;
    return true;
  }
  const int saved = errno;
  ClearPendingName();
  errno = saved;
  return false;
}

// Gives the complete unnamed file a fresh name beside the target; linkat
// cannot replace a name, so the rename that follows does.
bool LinkBesideTarget(AtomicFile& file) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name = TempNameFor(file.finalPath, attempt);
    if (!SetPendingName(name)) return false;
    if (NameUnnamed(file.stream, name.c_str())) {
      file.tempPath = name;
      return true;
    }
    if (errno != EEXIST) break;
  }
  const int saved = errno;
  ClearPendingName();
  errno = saved;
  return false;
}

void KeepModeAndGroup(const AtomicFile& file) {
  KeepAttributes(file.stream, KeptAttributes{file.keptMode, file.keptGroup});
}

// The data reaches the disk before the name does, so that after a power
// loss the target holds the old file or the new one, never a hole.
bool SyncStream(AtomicFile& file) { return FlushToDisk(file.stream); }

bool CloseStream(AtomicFile& file) {
  const int closed = fclose(file.stream);
  file.stream = nullptr;
  return closed == 0;
}

}  // namespace

bool AtomicFileOpen(AtomicFile& file, const char* path) {
  return StartAtomicFile(file, path) && (OpenUnnamed(file) || OpenNamed(file));
}

bool AtomicFileOpenNamed(AtomicFile& file, const char* path) {
  return StartAtomicFile(file, path) && OpenNamed(file);
}

bool AtomicFileWrite(AtomicFile& file, const void* data, size_t length) {
  if (file.failed) return false;
  if (length != 0 && fwrite(data, 1, length, file.stream) != length) file.failed = true;
  return !file.failed;
}

void AtomicFileAbort(AtomicFile& file) {
  const int saved = errno;
  if (file.stream != nullptr) fclose(file.stream);
  file.stream = nullptr;
  if (!file.tempPath.empty()) RemoveFile(file.tempPath.c_str());
  file.tempPath.clear();
  ClearPendingName();
  errno = saved;
}

void AtomicFileRemovePending() {
  if (pendingNameSet) RemoveFile(pendingName);
}

// A named temporary file is closed before its rename; an unnamed one stays
// open until it has its name, and its data is already synced by then.
bool AtomicFileCommit(AtomicFile& file) {
  if (file.failed || fflush(file.stream) != 0) {
    AtomicFileAbort(file);
    return false;
  }
  KeepModeAndGroup(file);
  if (!SyncStream(file)) {
    AtomicFileAbort(file);
    return false;
  }
  const bool named = !file.tempPath.empty();
  const bool ready = named ? CloseStream(file) : LinkBesideTarget(file);
  if (!ready || !ReplaceWith(file.tempPath.c_str(), file.finalPath.c_str())) {
    AtomicFileAbort(file);
    return false;
  }
  ClearPendingName();
  file.tempPath.clear();
  if (file.stream != nullptr) CloseStream(file);
  SyncFolder(FolderOf(file.finalPath).c_str());
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

bool WriteFileThrough(const char* path, bool (*write)(FILE* stream, void* context), void* context) {
  AtomicFile file;
  if (!AtomicFileOpen(file, path)) return false;
  if (!write(file.stream, context)) {
    AtomicFileAbort(file);
    return false;
  }
  return AtomicFileCommit(file);
}
