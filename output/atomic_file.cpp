// Whole-file-or-nothing writing: a temporary file beside the target is
// renamed over it only once every byte is written, synced and closed.
#include "output_internal.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMaxLinkDepth = 40;  // the kernel's own limit
constexpr int kNameAttempts = 100;

// The named temporary file that exists right now, kept where a signal
// handler can read it without allocating.
char pendingName[PATH_MAX];
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

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TempNameFor(const std::string& path, int attempt) {
  return path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
}

std::string ProcFdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// The file a write to `path` replaces: symbolic links followed to their end;
// a dangling link leads to the name it points at, which is then created.
bool FollowLinks(const std::string& path, std::string& out) {
  out = path;
  for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
    struct stat info;
    if (lstat(out.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    char target[PATH_MAX];
    const ssize_t length = readlink(out.c_str(), target, sizeof target);
    if (length < 0) return false;
    if (static_cast<size_t>(length) == sizeof target) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string next(target, static_cast<size_t>(length));
    const bool relative = next[0] != '/' && out.find('/') != std::string::npos;
    out = relative ? FolderOf(out) + "/" + next : next;
  }
  errno = ELOOP;
  return false;
}

// Notes the mode and group of the file being replaced; false, with errno,
// when this user could not open it for writing.
bool NoteExistingTarget(AtomicFile& file) {
  struct stat info;
  if (stat(file.finalPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
  if (faccessat(AT_FDCWD, file.finalPath.c_str(), W_OK, AT_EACCESS) != 0) return false;
  file.keptMode = static_cast<int>(info.st_mode & 07777);
  file.keptGroup = static_cast<long>(info.st_gid);
  return true;
}

bool StartAtomicFile(AtomicFile& file, const char* path) {
  file.stream = nullptr;
  file.failed = false;
  file.targetPath = path;
  file.tempPath.clear();
  file.keptMode = -1;
  file.keptGroup = -1;
  return FollowLinks(file.targetPath, file.finalPath) && NoteExistingTarget(file);
}

bool AttachStream(AtomicFile& file, int fd) {
  file.stream = fdopen(fd, "wb");
  if (file.stream != nullptr) return true;
  const int saved = errno;
  close(fd);
  if (!file.tempPath.empty()) unlink(file.tempPath.c_str());
  file.tempPath.clear();
  ClearPendingName();
  errno = saved;
  return false;
}

// A file without a name in the target's folder; it gets one only once it is
// complete. Linking it needs /proc, so it is used only where that is there.
bool OpenUnnamed(AtomicFile& file) {
  const int fd = open(FolderOf(file.finalPath).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  if (access(ProcFdPath(fd).c_str(), F_OK) != 0) {
    close(fd);
    return false;
  }
  return AttachStream(file, fd);
}

bool OpenNamed(AtomicFile& file) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name = TempNameFor(file.finalPath, attempt);
    if (!SetPendingName(name)) return false;
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    file.tempPath = name;
    return AttachStream(file, fd);
  }
  const int saved = errno;
  ClearPendingName();
  errno = saved;
  return false;
}

// Gives the complete unnamed file a fresh name beside the target; linkat
// cannot replace a name, so the rename that follows does.
bool LinkBesideTarget(AtomicFile& file) {
  const std::string source = ProcFdPath(fileno(file.stream));
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name = TempNameFor(file.finalPath, attempt);
    if (!SetPendingName(name)) return false;
    if (linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
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
  if (file.keptMode < 0) return;
  const int fd = fileno(file.stream);
  // The group first, since changing it may clear set-id bits. Where the
  // group may not be set the file keeps ours, as any new file would.
  if (fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(file.keptGroup)) != 0) {
  }
  if (fchmod(fd, static_cast<mode_t>(file.keptMode)) != 0) {
  }
}

// The data reaches the disk before the name does, so that after a power
// loss the target holds the old file or the new one, never a hole.
bool SyncStream(AtomicFile& file) { return fsync(fileno(file.stream)) == 0; }

// Makes the rename itself durable. It has happened either way, so a folder
// that cannot be synced (some file systems refuse) does not fail the write.
void SyncFolderOf(const std::string& path) {
  const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (fsync(fd) != 0) {
  }
  close(fd);
}

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
  if (!file.tempPath.empty()) unlink(file.tempPath.c_str());
  file.tempPath.clear();
  ClearPendingName();
  errno = saved;
}

void AtomicFileRemovePending() {
  if (pendingNameSet) unlink(pendingName);
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
  if (!ready || rename(file.tempPath.c_str(), file.finalPath.c_str()) != 0) {
    AtomicFileAbort(file);
    return false;
  }
  ClearPendingName();
  file.tempPath.clear();
  if (file.stream != nullptr) CloseStream(file);
  SyncFolderOf(file.finalPath);
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
