// SPDX-License-Identifier: MIT
// What differs between the systems the programs run on (POSIX systems and
// Windows), behind one set of calls, so that the rest of the code has no
// system-specific branches. Paths are UTF-8 everywhere in the program; on
// Windows they become UTF-16 only at the system calls, so that any file name
// works there.
//
// Calls that can fail return false (or null, or -1) with errno set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// ---- The process -------------------------------------------------------------

// The command line as UTF-8 (Windows hands main() the ANSI code page's
// version), and messages to a console shown as UTF-8. Call first in main().
void PrepareProcess(int& argc, char**& argv);
void SetEnvironment(const char* name, const char* value);
// Processors this process may run on; at least 1.
int ProcessorCount();
// The working folder, UTF-8; empty when it cannot be told.
std::string CurrentFolder();

// SDL's video driver for the system's own desktop and a name for that
// desktop in messages; null where there is none (no DISPLAY on X11).
const char* DesktopVideoDriver(const char** displayName);

// On an interrupt (Ctrl+C, a terminal hang-up, a termination request, a
// console closed), `cleanup` runs and the process then ends as the interrupt
// would have ended it. `cleanup` must be safe in a signal handler. An
// interrupt that is ignored when this is called (as nohup leaves a hang-up)
// stays ignored.
void HandleInterrupts(void (*cleanup)());

// ---- Files -------------------------------------------------------------------

enum class FileKind { Missing, Regular, Folder, CharacterDevice, Fifo, Other };

// Which file a name leads to, for telling whether two names are one file.
struct FileIdentity {
  uint64_t device;
  uint64_t number;
};

struct FileFacts {
  FileKind kind;
  int64_t size;  // bytes, for a regular file
  FileIdentity identity;
};

inline bool SameIdentity(const FileFacts& a, const FileFacts& b) {
  return a.kind != FileKind::Missing && b.kind != FileKind::Missing &&
         a.identity.device == b.identity.device && a.identity.number == b.identity.number;
}

// fopen() of a UTF-8 path, never inherited by child processes. Without "b"
// in the mode, Windows reads "\r\n" as "\n".
FILE* OpenStream(const char* path, const char* mode);
// A descriptor open for reading, binary, not inherited; -1 with errno.
int OpenForReading(const char* path);
bool RemoveFile(const char* path);

// Facts of the file a path names, links followed; kind Missing (and true)
// when nothing is there. False, with errno, when it cannot be looked at.
bool FactsOfPath(const char* path, FileFacts& facts);
bool FactsOfDescriptor(int fd, FileFacts& facts);
inline bool FactsOfStream(FILE* stream, FileFacts& facts) {
  return FactsOfDescriptor(fileno(stream), facts);
}

// Standard input and output carry bytes as they are (Windows would turn
// "\n" into "\r\n").
void SetBinaryMode(FILE* stream);

// A read-only stream over bytes in memory, for readers that take a stream.
FILE* StreamOfBytes(const void* data, size_t length);

// ---- Whole files -------------------------------------------------------------

int ProcessId();

// Puts `from` in place of `to`, replacing whatever file `to` names, in one
// step: a reader sees the old file or the new one. On Windows the move is
// written through to the disk before this returns.
bool ReplaceWith(const char* from, const char* to);
// ---- Whole files: the system's side of the writers --------------------------
//
// Descriptors are the C library's (fileno, fdopen), on Windows too.

// The folder part of a path ("." for none) and the name in it; Windows takes
// "\\" as a separator too.
std::string FolderOf(const std::string& path);
std::string BaseNameOf(const std::string& path);
// Not taken from the working folder: "/..." (and on Windows "\\...", "C:...").
bool IsAbsolutePath(const std::string& path);

// What a write to a path meets, links followed.
enum class PathKind {
  Absent,  // nothing there yet
  File,    // a regular file
  Stream,  // standard output ("/dev/stdout"), a FIFO or a character device
  Folder,
  Socket,
  BlockDevice,
  PlantedLink,  // a link another user left in a world-writable sticky folder
  Unreachable,  // cannot be looked at; errno tells why
};
// The kind, and in `finalPath` the file a rename would replace.
PathKind InspectPath(const std::string& path, std::string& finalPath);
// A stream opened for writing as it is, binary; -1 when it is no stream.
int OpenInPlace(const std::string& path);

// Which file a path leads to; for a file not there yet, its folder and its
// name there.
struct PathIdentity {
  uint64_t device;
  uint64_t number;
  std::string name;
};
bool IdentityOfPath(const std::string& path, PathIdentity& identity);

// An unnamed file in `folder`, named later by LinkUnnamed; -1 where the
// system or the file system has none (always on Windows).
int OpenUnnamedIn(const std::string& folder);
bool LinkUnnamed(int fd, const std::string& name);
// A new file that must not exist yet, open for writing, binary.
int CreateNew(const std::string& name);
FILE* WriteStreamOf(int fd);
void CloseDescriptor(int fd);
// False, with errno, when this user could not open the file for writing.
bool MayWrite(const std::string& path);

// What a replacing file keeps of the one it replaces.
struct Ownership {
  int mode;  // permission bits
  long owner;
  long group;
};
// False when there is nothing to keep: no regular file, or Windows, where a
// new file takes the access rights its folder gives.
bool OwnershipOf(const std::string& path, Ownership& ownership);
// The group first, since changing it may clear set-id bits; set-id bits go
// with an owner or a group that changed.
void SetOwnership(int fd, const Ownership& ownership);
bool SyncDescriptor(int fd);

// A folder held open to be locked and synced.
struct FolderHandle {
  intptr_t handle;
  uint64_t device;
  uint64_t number;
};
bool OpenFolder(const std::string& path, FolderHandle& folder);
// Waits for other processes holding the same folder's lock.
void LockFolder(FolderHandle& folder);
// Makes renames in it durable; ignored where that fails or is not needed.
void SyncFolderHandle(const FolderHandle& folder);
// Unlocks and closes.
void CloseFolder(const FolderHandle& folder);

// Interrupts that end the run wait while held; HoldInterrupts returns what
// ReleaseInterrupts restores.
struct InterruptHold {
  alignas(8) unsigned char state[128];
};
void HoldInterrupts(InterruptHold& hold);
void ReleaseInterrupts(const InterruptHold& hold);

// ---- Memory ------------------------------------------------------------------

// `length` zeroed bytes straight from the system, for large blocks, at
// least page-aligned (on a huge page where the system offers them); null
// when there are none. Given back with the same length.
void* MapZeroed(size_t length);
void UnmapZeroed(void* block, size_t length);
// The first `length` bytes of a regular file open for reading, mapped
// read-only; null, with errno, when they cannot be.
void* MapFileForReading(int fd, size_t length);
void UnmapFile(void* block, size_t length);
