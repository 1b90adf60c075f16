// SPDX-License-Identifier: MIT
// The platform calls on POSIX systems.
#include "platform.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

void PrepareProcess(int&, char**&) {}

void SetEnvironment(const char* name, const char* value) { setenv(name, value, 1); }

int ProcessorCount() {
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  return cores > 0 ? static_cast<int>(cores) : 1;
}

std::string CurrentFolder() {
  char folder[PATH_MAX];
  return getcwd(folder, sizeof folder) != nullptr ? folder : "";
}

const char* DesktopVideoDriver(const char** displayName) {
  const char* display = getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') return nullptr;
  *displayName = display;
  return "x11";
}

namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
void (*interruptCleanup)() = nullptr;

extern "C" void EndOnSignal(int signalNumber) {
  interruptCleanup();
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);  // delivered as this handler returns
}

}  // namespace

void HandleInterrupts(void (*cleanup)()) {
  interruptCleanup = cleanup;
  struct sigaction action {};
  action.sa_handler = EndOnSignal;
  sigemptyset(&action.sa_mask);
  for (int interrupt : kInterrupts) sigaddset(&action.sa_mask, interrupt);
  for (int interrupt : kInterrupts) {
    struct sigaction current {};
    sigaction(interrupt, nullptr, &current);
    if (current.sa_handler == SIG_IGN) continue;  // as nohup leaves SIGHUP: keep it so
    sigaction(interrupt, &action, nullptr);
  }
}

FILE* OpenStream(const char* path, const char* mode) {
  std::string closing = std::string(mode) + "e";  // glibc's O_CLOEXEC
  return fopen(path, closing.c_str());
}

int OpenForReading(const char* path) { return open(path, O_RDONLY | O_CLOEXEC); }

bool RemoveFile(const char* path) { return unlink(path) == 0; }

namespace {

FileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::Regular;
  if (S_ISDIR(mode)) return FileKind::Folder;
  if (S_ISCHR(mode)) return FileKind::CharacterDevice;
  if (S_ISFIFO(mode)) return FileKind::Fifo;
  return FileKind::Other;
}

FileFacts FactsOf(const struct stat& info) {
  return FileFacts{KindOf(info.st_mode),
                   static_cast<int64_t>(info.st_size),
                   {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)}};
}

}  // namespace

bool FactsOfPath(const char* path, FileFacts& facts) {
  struct stat info;
  if (stat(path, &info) == 0) {
    facts = FactsOf(info);
    return true;
  }
  facts = FileFacts{FileKind::Missing, 0, {0, 0}};
  return errno == ENOENT || errno == ENOTDIR;
}

bool FactsOfDescriptor(int fd, FileFacts& facts) {
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  facts = FactsOf(info);
  return true;
}

void SetBinaryMode(FILE*) {}

FILE* StreamOfBytes(const void* data, size_t length) {
  return fmemopen(const_cast<void*>(data), length, "rb");
}

namespace {

constexpr int kMaxLinkDepth = 40;  // the kernel's own limit

std::string ProcFdPath(int fd) {
  char path[32];
  snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  return path;
}

}  // namespace

bool ReplaceWith(const char* from, const char* to) { return rename(from, to) == 0; }

int ProcessId() { return static_cast<int>(getpid()); }

// Ordinary pages: the pages of a sheet's cells that nobody writes then never
// take memory, where huge pages would hold every empty stretch of 2 MiB.
void* MapZeroed(size_t length) {
  void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return mapped == MAP_FAILED ? nullptr : mapped;
}

void* MapFileForReading(int fd, size_t length) {
  void* mapped = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
  return mapped == MAP_FAILED ? nullptr : mapped;
}

void UnmapFile(void* block, size_t length) {
  if (block != nullptr) munmap(block, length);
}

void UnmapZeroed(void* block, size_t length) {
  if (block != nullptr) munmap(block, length);
}

// ---- Whole files: the system's side of the writers --------------------------

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The names by which a program's standard output is written.
bool NamesStandardOutput(const std::string& path) {
  return path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1";
}

// A link that the kernel's protected_symlinks would not follow: in a
// world-writable sticky folder, owned by neither the folder's owner nor us.
bool IsPlantedLink(const std::string& link, const struct stat& linkInfo) {
  struct stat folder;
  if (stat(FolderOf(link).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return shared && linkInfo.st_uid != geteuid() && linkInfo.st_uid != folder.st_uid;
}

enum class LinkWalk { Done, Planted, Failed };

// The file a write to `path` replaces: symbolic links followed to their end;
// a dangling link leads to the name it points at, which is then created.
LinkWalk FollowLinks(const std::string& path, std::string& out) {
  out = path;
  for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
    struct stat info;
    if (lstat(out.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return LinkWalk::Done;
    if (IsPlantedLink(out, info)) {
      errno = EACCES;
      return LinkWalk::Planted;
    }
    char target[PATH_MAX];
    const ssize_t length = readlink(out.c_str(), target, sizeof target);
    if (length < 0) return LinkWalk::Failed;
    if (static_cast<size_t>(length) == sizeof target) {
      errno = ENAMETOOLONG;
      return LinkWalk::Failed;
    }
    const std::string next(target, static_cast<size_t>(length));
    const bool relative = next[0] != '/' && out.find('/') != std::string::npos;
    out = relative ? FolderOf(out) + "/" + next : next;
  }
  errno = ELOOP;
  return LinkWalk::Failed;
}

PathKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return PathKind::File;
  if (S_ISFIFO(mode) || S_ISCHR(mode)) return PathKind::Stream;
  if (S_ISDIR(mode)) return PathKind::Folder;
  if (S_ISSOCK(mode)) return PathKind::Socket;
  return PathKind::BlockDevice;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsAbsolutePath(const std::string& path) { return path.starts_with('/'); }

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kind is what the kernel finds at `path`, which also follows the links
// of /proc that name pipes.
PathKind InspectPath(const std::string& path, std::string& finalPath) {
  finalPath = path;
  if (NamesStandardOutput(path)) return PathKind::Stream;
  const LinkWalk walk = FollowLinks(path, finalPath);
  if (walk != LinkWalk::Done)
    return walk == LinkWalk::Planted ? PathKind::PlantedLink : PathKind::Unreachable;
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return KindOfMode(info.st_mode);
  return errno == ENOENT ? PathKind::Absent : PathKind::Unreachable;
}

int OpenInPlace(const std::string& path) {
  if (NamesStandardOutput(path)) return fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || (fstat(fd, &info) == 0 && KindOfMode(info.st_mode) == PathKind::Stream)) return fd;
  close(fd);
  errno = EBUSY;  // replaced by something else since it was looked at
  return -1;
}

bool IdentityOfPath(const std::string& path, PathIdentity& identity) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0) {
    identity =
        PathIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), ""};
    return true;
  }
  std::string finalPath;
  if (FollowLinks(path, finalPath) != LinkWalk::Done) return false;
  if (stat(FolderOf(finalPath).c_str(), &info) != 0) return false;
  identity = PathIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                          BaseNameOf(finalPath)};
  return true;
}

int OpenUnnamedIn(const std::string& folder) {
  const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  // Linking it later needs /proc.
  if (access(ProcFdPath(fd).c_str(), F_OK) == 0) return fd;
  close(fd);
  return -1;
}

bool LinkUnnamed(int fd, const std::string& name) {
  return linkat(AT_FDCWD, ProcFdPath(fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

int CreateNew(const std::string& name) {
  return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

FILE* WriteStreamOf(int fd) { return fdopen(fd, "wb"); }

void CloseDescriptor(int fd) { close(fd); }

bool MayWrite(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool OwnershipOf(const std::string& path, Ownership& ownership) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  ownership = Ownership{static_cast<int>(info.st_mode & 07777), static_cast<long>(info.st_uid),
                        static_cast<long>(info.st_gid)};
  return true;
}

void SetOwnership(int fd, const Ownership& ownership) {
  struct stat info;
  int mode = ownership.mode;
  // Where the group may not be set the file keeps ours, as any new file would.
  if (fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(ownership.group)) != 0) {
  }
  if (fstat(fd, &info) != 0) return;
  if (static_cast<long>(info.st_uid) != ownership.owner) mode &= ~(S_ISUID | S_ISGID);
  if (static_cast<long>(info.st_gid) != ownership.group) mode &= ~S_ISGID;
  if (fchmod(fd, static_cast<mode_t>(mode)) != 0) {
  }
}

bool SyncDescriptor(int fd) { return fsync(fd) == 0; }

bool OpenFolder(const std::string& path, FolderHandle& folder) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat info;
  if (fd < 0) return false;
  if (fstat(fd, &info) != 0) {
    close(fd);
    return false;
  }
  folder = FolderHandle{fd, static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return true;
}

// A flock on the folder itself, so that no lock file is left behind; a file
// system without flock only loses the waiting.
void LockFolder(FolderHandle& folder) {
  while (flock(static_cast<int>(folder.handle), LOCK_EX) != 0 && errno == EINTR) {
  }
}

void SyncFolderHandle(const FolderHandle& folder) {
  if (fsync(static_cast<int>(folder.handle)) != 0) {
  }
}

void CloseFolder(const FolderHandle& folder) { close(static_cast<int>(folder.handle)); }

static_assert(sizeof(sigset_t) <= sizeof(InterruptHold::state), "a signal set fits a hold");

void HoldInterrupts(InterruptHold& hold) {
  sigset_t held, previous;
  sigemptyset(&held);
  for (int signalNumber : kEndingSignals) sigaddset(&held, signalNumber);
  pthread_sigmask(SIG_BLOCK, &held, &previous);
  memcpy(hold.state, &previous, sizeof previous);
}

void ReleaseInterrupts(const InterruptHold& hold) {
  sigset_t previous;
  memcpy(&previous, hold.state, sizeof previous);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}
