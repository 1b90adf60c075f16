// SPDX-License-Identifier: MIT
// Whole-file-or-nothing writing: a temporary file beside the target is
// renamed over it only once every byte is written, synced and closed; the
// files of a batch are all complete before the first is renamed. Streams
// (standard output, FIFOs, character devices) are written into as they are.
//
// Every system call is made through platform.h, which has one side for POSIX
// systems and one for Windows.
#include "output_internal.h"
#include "platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int kNameAttempts = 100;
// Named temporary files a signal handler can remove: more than a batch of
// the program's own holds. Beyond them a file is written all the same.
constexpr int kPendingSlots = 8;

// The named temporary files that exist right now, kept where a signal handler
// can read them without allocating.
char pendingNames[kPendingSlots][4096];
std::atomic<bool> pendingClaimed[kPendingSlots];  // a write owns the slot
std::atomic<bool> pendingSet[kPendingSlots];      // and its name is complete

// ---- The system's side, in this layer's terms -----------------------------

std::string TempNameFor(const std::string& path, int attempt) {
  return path + ".tmp-" + std::to_string(ProcessId()) + "-" + std::to_string(attempt);
}

OutputKind Inspect(const std::string& path, std::string& finalPath) {
  switch (InspectPath(path, finalPath)) {
    case PathKind::Absent:
      return OutputKind::Absent;
    case PathKind::File:
      return OutputKind::File;
    case PathKind::Stream:
      return OutputKind::Stream;
    case PathKind::Folder:
      return OutputKind::Folder;
    case PathKind::Socket:
      return OutputKind::Socket;
    case PathKind::BlockDevice:
      return OutputKind::BlockDevice;
    case PathKind::PlantedLink:
      return OutputKind::PlantedLink;
    case PathKind::Unreachable:
      break;
  }
  return OutputKind::Unreachable;
}

// ---- Temporary names a signal handler can remove ----------------------------

// A slot for `name`; -1, with the name written all the same, when none is
// free.
int TakePendingSlot(const std::string& name) {
  if (name.size() >= sizeof pendingNames[0]) return -1;
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
  file.stream = WriteStreamOf(fd);
  if (file.stream != nullptr) return true;
  const int saved = errno;
  CloseDescriptor(fd);
  if (!file.tempPath.empty()) RemoveFile(file.tempPath.c_str());
  file.tempPath.clear();
  ReleasePendingSlot(file.pendingSlot);
  errno = saved;
  return false;
}

// Notes the mode, owner and group of the file being replaced; false, with
// errno, when this user could not open it for writing.
bool NoteExistingTarget(AtomicFile& file) {
  Ownership ownership;
  if (!OwnershipOf(file.finalPath, ownership)) return true;
  if (!MayWrite(file.finalPath)) return false;
  file.keptMode = ownership.mode;
  file.keptOwner = ownership.owner;
  file.keptGroup = ownership.group;
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
    SetOwnership(fileno(file.stream), Ownership{file.keptMode, file.keptOwner, file.keptGroup});
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
std::vector<FolderHandle> OpenFoldersOf(const FileBatch& batch) {
  std::vector<FolderHandle> folders;
  for (const StagedFile& staged : batch.files) {
    FolderHandle folder;
    if (!OpenFolder(FolderOf(staged.finalPath), folder)) continue;
    const bool seen = std::any_of(folders.begin(), folders.end(), [&](const FolderHandle& other) {
      return other.device == folder.device && other.number == folder.number;
    });
    if (seen) {
      CloseFolder(folder);
      continue;
    }
    folders.push_back(folder);
  }
  std::sort(folders.begin(), folders.end(), [](const FolderHandle& a, const FolderHandle& b) {
    return a.device != b.device ? a.device < b.device : a.number < b.number;
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
  if (!staged.tempPath.empty()) RemoveFile(staged.tempPath.c_str());
  staged.tempPath.clear();
  ReleasePendingSlot(staged.pendingSlot);
}

// Every file named first, so that a failure there leaves all targets alone;
// then the renames, one right after the other.
bool RenameAll(FileBatch& batch) {
  for (StagedFile& staged : batch.files)
    if (!NameStaged(staged)) return false;
  for (StagedFile& staged : batch.files) {
    if (!ReplaceWith(staged.tempPath.c_str(), staged.finalPath.c_str())) return false;
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
  PathIdentity a, b;
  return IdentityOfPath(output, a) && IdentityOfPath(other, b) && a.device == b.device &&
         a.number == b.number && a.name == b.name;
}

bool PlaceFileBatch(FileBatch& batch) {
  std::vector<FolderHandle> folders = OpenFoldersOf(batch);
  for (FolderHandle& folder : folders) LockFolder(folder);
  InterruptHold previous;
  HoldInterrupts(previous);
  const bool placed = RenameAll(batch);
  const int saved = errno;
  if (placed && batch.sync)
    for (const FolderHandle& folder : folders) SyncFolderHandle(folder);
  DropFileBatch(batch);
  ReleaseInterrupts(previous);
  for (const FolderHandle& folder : folders) CloseFolder(folder);
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
  if (!file.tempPath.empty()) RemoveFile(file.tempPath.c_str());
  file.tempPath.clear();
  ReleasePendingSlot(file.pendingSlot);
  errno = saved;
}

void AtomicFileRemovePending() {
  for (int slot = 0; slot < kPendingSlots; ++slot)
    if (pendingSet[slot]) RemoveFile(pendingNames[slot]);
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
