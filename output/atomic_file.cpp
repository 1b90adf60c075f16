// Whole-file-or-nothing writing: a temporary file beside the target is
// renamed over it only once every byte is written, synced and closed; the
// files of a batch are all complete before the first is renamed. Streams
// (standard output, FIFOs, character devices) are written into as they are.
//
// Every system call is made by one of the small functions at the top, so
// that another platform needs only those.
#include "output_internal.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int kMaxLinkDepth = 40;  // the kernel's own limit
constexpr int kNameAttempts = 100;
// Named temporary files a signal handler can remove: more than a batch of
// the program's own holds. Beyond them a file is written all the same.
constexpr int kPendingSlots = 8;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The named temporary files that exist right now, kept where a signal handler
// can read them without allocating.
char pendingNames[kPendingSlots][PATH_MAX];
std::atomic<bool> pendingClaimed[kPendingSlots];  // a write owns the slot
std::atomic<bool> pendingSet[kPendingSlots];      // and its name is complete

// ---- The system's side ------------------------------------------------------

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TempNameFor(const std::string& path, int attempt) {
  return path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
}

std::string ProcFdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

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

OutputKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return OutputKind::File;
  if (S_ISFIFO(mode) || S_ISCHR(mode)) return OutputKind::Stream;
  if (S_ISDIR(mode)) return OutputKind::Folder;
  if (S_ISSOCK(mode)) return OutputKind::Socket;
  return OutputKind::BlockDevice;
}

// The kind, and in `finalPath` the file a rename would replace. The kind is
// what the kernel finds at `path`, which also follows the links of /proc
// that name pipes.
OutputKind Inspect(const std::string& path, std::string& finalPath) {
  finalPath = path;
  if (NamesStandardOutput(path)) return OutputKind::Stream;
  const LinkWalk walk = FollowLinks(path, finalPath);
  if (walk != LinkWalk::Done)
    return walk == LinkWalk::Planted ? OutputKind::PlantedLink : OutputKind::Unreachable;
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return KindOfMode(info.st_mode);
  return errno == ENOENT ? OutputKind::Absent : OutputKind::Unreachable;
}

// A stream opened as it is; -1 when it is no stream any more.
int OpenInPlace(const std::string& path) {
  if (NamesStandardOutput(path)) return fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || (fstat(fd, &info) == 0 && KindOfMode(info.st_mode) == OutputKind::Stream))
    return fd;
  close(fd);
  errno = EBUSY;  // replaced by something else since it was looked at
  return -1;
}

struct Identity {
  dev_t device;
  ino_t inode;
  std::string name;  // a file not there yet: its name in the folder above
};

bool IdentityOf(const std::string& path, Identity& identity) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0) {
    identity = Identity{info.st_dev, info.st_ino, ""};
    return true;
  }
  std::string finalPath;
  if (FollowLinks(path, finalPath) != LinkWalk::Done) return false;
  if (stat(FolderOf(finalPath).c_str(), &info) != 0) return false;
  identity = Identity{info.st_dev, info.st_ino, BaseNameOf(finalPath)};
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

int CreateNew(const std::string& name) {
  return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool LinkUnnamed(int fd, const std::string& name) {
  return linkat(AT_FDCWD, ProcFdPath(fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool MayWrite(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// The group first, since changing it may clear set-id bits. Where the group
// may not be set the file keeps ours, as any new file would; set-id bits go
// with an owner or a group that changed.
void SetOwnerAndMode(int fd, int mode, long owner, long group) {
  struct stat info;
  if (fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(group)) != 0) {
  }
  if (fstat(fd, &info) != 0) return;
  if (static_cast<long>(info.st_uid) != owner) mode &= ~(S_ISUID | S_ISGID);
  if (static_cast<long>(info.st_gid) != group) mode &= ~S_ISGID;
  if (fchmod(fd, static_cast<mode_t>(mode)) != 0) {
  }
}

bool SyncDescriptor(int fd) { return fsync(fd) == 0; }

// A folder opened to be locked and synced.
struct Folder {
  int fd;
  dev_t device;
  ino_t inode;
};

bool OpenFolder(const std::string& path, Folder& folder) {
  folder.fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat info;
  if (folder.fd < 0) return false;
  if (fstat(folder.fd, &info) != 0) {
    close(folder.fd);
    return false;
  }
  folder.device = info.st_dev;
  folder.inode = info.st_ino;
  return true;
}

// Waits for other processes' batches on the folder. A file system without
// flock only loses the waiting.
void LockFolder(const Folder& folder) {
  while (flock(folder.fd, LOCK_EX) != 0 && errno == EINTR) {
  }
}

// The renames are durable once their folder is synced. They have happened
// either way, so a folder that cannot be synced (some file systems refuse)
// does not fail the write.
void SyncFolder(const Folder& folder) {
  if (fsync(folder.fd) != 0) {
  }
}

void CloseFolder(const Folder& folder) { close(folder.fd); }

void HoldEndingSignals(sigset_t& previous) {
  sigset_t held;
  sigemptyset(&held);
  for (int signalNumber : kEndingSignals) sigaddset(&held, signalNumber);
  pthread_sigmask(SIG_BLOCK, &held, &previous);
}

void ReleaseEndingSignals(const sigset_t& previous) {
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// ---- Temporary names a signal handler can remove ----------------------------

// A slot for `name`; -1, with the name written all the same, when none is
// free.
int TakePendingSlot(const std::string& name) {
  if (name.size() >= PATH_MAX) return -1;
  for (int slot = 0; slot < kPendingSlots; ++slot) {
    bool expected = false;
    if (!pendingClaimed[slot].compare_exchange_strong(expected, true)) continue;
    memcpy(pendingNames[slot], name.c_str(), name.size() + 1);
    pendingSet[slot] = true;
    return slot;
  }
  return -1;
}

void ReleasePendingSlot(int& slot) {
  if (slot >= 0) {
    pendingSet[slot] = false;
    pendingClaimed[slot] = false;
  }
  slot = -1;
}

// ---- Writing ----------------------------------------------------------------

bool AttachStream(AtomicFile& file, int fd) {
  file.stream = fdopen(fd, "wb");
  if (file.stream != nullptr) return true;
  const int saved = errno;
  close(fd);
  if (!file.tempPath.empty()) unlink(file.tempPath.c_str());
  file.tempPath.clear();
  ReleasePendingSlot(file.pendingSlot);
  errno = saved;
  return false;
}

// Notes the mode, owner and group of the file being replaced; false, with
// errno, when this user could not open it for writing.
bool NoteExistingTarget(AtomicFile& file) {
  struct stat info;
  if (stat(file.finalPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
  if (!MayWrite(file.finalPath)) return false;
  file.keptMode = static_cast<int>(info.st_mode & 07777);
  file.keptOwner = static_cast<long>(info.st_uid);
  file.keptGroup = static_cast<long>(info.st_gid);
  return true;
}

// Where the write goes, refused kinds refused; true for a file to replace.
bool StartAtomicFile(AtomicFile& file, const char* path, FileBatch* batch) {
  file = AtomicFile{nullptr, path, "", "", false, false, -1, -1, -1, -1, batch};
  switch (Inspect(file.targetPath, file.finalPath)) {
    case OutputKind::Absent:
      return true;
    case OutputKind::File:
      return NoteExistingTarget(file);
    case OutputKind::Stream: {
      file.inPlace = true;
      const int fd = OpenInPlace(file.targetPath);
      return fd >= 0 && AttachStream(file, fd);
    }
    case OutputKind::Folder:
      errno = EISDIR;
      return false;
    case OutputKind::Socket:
    case OutputKind::BlockDevice:
      errno = ENXIO;
      return false;
    case OutputKind::PlantedLink:
    case OutputKind::Unreachable:
      return false;
  }
  return false;
}

// A file without a name in the target's folder; it gets one only once it is
// complete.
bool OpenUnnamed(AtomicFile& file) {
  const int fd = OpenUnnamedIn(FolderOf(file.finalPath));
  return fd >= 0 && AttachStream(file, fd);
}

bool OpenNamed(AtomicFile& file) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name = TempNameFor(file.finalPath, attempt);
    const int fd = CreateNew(name);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return false;
    file.tempPath = name;
    file.pendingSlot = TakePendingSlot(name);
    return AttachStream(file, fd);
  }
  return false;
}

bool OpenTarget(AtomicFile& file, const char* path, FileBatch* batch, bool unnamed) {
  if (!StartAtomicFile(file, path, batch)) return false;
  return file.inPlace || (unnamed && OpenUnnamed(file)) || OpenNamed(file);
}

bool CloseStream(FILE*& stream) {
  const int closed = fclose(stream);
  stream = nullptr;
  return closed == 0;
}

// The file complete, synced where asked and closed unless it has no name
// yet, then handed to the batch; streams are only closed.
bool Stage(AtomicFile& file, FileBatch& batch) {
  if (file.inPlace) return CloseStream(file.stream);
  if (file.keptMode >= 0)
    SetOwnerAndMode(fileno(file.stream), file.keptMode, file.keptOwner, file.keptGroup);
  if (batch.sync && !SyncDescriptor(fileno(file.stream))) return false;
  const bool named = !file.tempPath.empty();
  if (named && !CloseStream(file.stream)) return false;
  try {
    batch.files.push_back(StagedFile{file.stream, file.tempPath, file.finalPath, file.pendingSlot});
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  file.stream = nullptr;
  file.tempPath.clear();
  file.pendingSlot = -1;
  return true;
}

// ---- Putting a batch in place -----------------------------------------------

// Each folder of the batch once, in one order for every process, so that
// two batches on the same folders cannot wait for each other.
std::vector<Folder> OpenFoldersOf(const FileBatch& batch) {
  std::vector<Folder> folders;
  for (const StagedFile& staged : batch.files) {
    Folder folder;
    if (!OpenFolder(FolderOf(staged.finalPath), folder)) continue;
    const bool seen = std::any_of(folders.begin(), folders.end(), [&](const Folder& other) {
      return other.device == folder.device && other.inode == folder.inode;
    });
    if (seen) {
      CloseFolder(folder);
      continue;
    }
    folders.push_back(folder);
  }
  std::sort(folders.begin(), folders.end(), [](const Folder& a, const Folder& b) {
    return a.device != b.device ? a.device < b.device : a.inode < b.inode;
  });
  return folders;
}

// Gives a complete unnamed file a fresh name beside its target; linkat cannot
// replace a name, so the rename that follows does.
bool NameStaged(StagedFile& staged) {
  if (staged.stream == nullptr) return true;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name = TempNameFor(staged.finalPath, attempt);
    if (LinkUnnamed(fileno(staged.stream), name)) {
      staged.tempPath = name;
      staged.pendingSlot = TakePendingSlot(name);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void Discard(StagedFile& staged) {
  if (staged.stream != nullptr) CloseStream(staged.stream);
  if (!staged.tempPath.empty()) unlink(staged.tempPath.c_str());
  staged.tempPath.clear();
  ReleasePendingSlot(staged.pendingSlot);
}

// Every file named first, so that a failure there leaves all targets alone;
// then the renames, one right after the other.
bool RenameAll(FileBatch& batch) {
  for (StagedFile& staged : batch.files)
    if (!NameStaged(staged)) return false;
  for (StagedFile& staged : batch.files) {
    if (rename(staged.tempPath.c_str(), staged.finalPath.c_str()) != 0) return false;
    staged.tempPath.clear();
    ReleasePendingSlot(staged.pendingSlot);
  }
  return true;
}

}  // namespace

OutputKind OutputKindOf(const char* path) {
  std::string finalPath;
  return Inspect(path, finalPath);
}

const char* RefusedOutputText(OutputKind kind) {
  switch (kind) {
    case OutputKind::Folder:
      return "a folder";
    case OutputKind::Socket:
      return "a socket";
    case OutputKind::BlockDevice:
      return "a block device";
    case OutputKind::PlantedLink:
      return "a link another user left in a shared folder";
    default:
      return nullptr;
  }
}

bool SameFile(const char* output, const char* other) {
  Identity a, b;
  return IdentityOf(output, a) && IdentityOf(other, b) && a.device == b.device &&
         a.inode == b.inode && a.name == b.name;
}

bool PlaceFileBatch(FileBatch& batch) {
  const std::vector<Folder> folders = OpenFoldersOf(batch);
  for (const Folder& folder : folders) LockFolder(folder);
  sigset_t previous;
  HoldEndingSignals(previous);
  const bool placed = RenameAll(batch);
  const int saved = errno;
  if (placed && batch.sync)
    for (const Folder& folder : folders) SyncFolder(folder);
  DropFileBatch(batch);
  ReleaseEndingSignals(previous);
  for (const Folder& folder : folders) CloseFolder(folder);
  errno = saved;
  return placed;
}

void DropFileBatch(FileBatch& batch) {
  const int saved = errno;
  for (StagedFile& staged : batch.files) Discard(staged);
  batch.files.clear();
  errno = saved;
}

bool AtomicFileOpen(AtomicFile& file, const char* path) {
  return OpenTarget(file, path, nullptr, true);
}

bool AtomicFileOpenInto(AtomicFile& file, const char* path, FileBatch* batch) {
  return OpenTarget(file, path, batch, true);
}

bool AtomicFileOpenNamed(AtomicFile& file, const char* path) {
  return OpenTarget(file, path, nullptr, false);
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
  ReleasePendingSlot(file.pendingSlot);
  errno = saved;
}

void AtomicFileRemovePending() {
  for (int slot = 0; slot < kPendingSlots; ++slot)
    if (pendingSet[slot]) unlink(pendingNames[slot]);
}

bool AtomicFileCommit(AtomicFile& file) {
  FileBatch alone;
  FileBatch& batch = file.batch != nullptr ? *file.batch : alone;
  if (file.failed || fflush(file.stream) != 0 || !Stage(file, batch)) {
    AtomicFileAbort(file);
    return false;
  }
  return file.batch != nullptr || PlaceFileBatch(alone);
}

bool WriteWholeFile(const char* path, const void* header, size_t headerLength, const void* body,
                    size_t bodyLength, FileBatch* batch) {
  AtomicFile file;
  if (!AtomicFileOpenInto(file, path, batch)) return false;
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
