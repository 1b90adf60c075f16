// SPDX-License-Identifier: MIT
// The platform calls on Windows: wide-character system calls for UTF-8
// paths, the console's control handler for interrupts, MoveFileExW for the
// replace.
#include "platform.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs

#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

std::wstring Wide(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

std::string Narrow(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
  narrow.resize(static_cast<size_t>(length - 1));
  return narrow;
}

// The few system errors a caller tells apart, as errno values.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_DIRECTORY:
      return EISDIR;
    default:
      return EIO;
  }
}

bool Failed() {
  errno = ErrnoOf(GetLastError());
  return false;
}

UINT consoleCodePage = 0;

void RestoreConsoleCodePage() { SetConsoleOutputCP(consoleCodePage); }

}  // namespace

// The program's strings are UTF-8 throughout, so the console shows UTF-8
// while it runs; the console is given back as it was.
void PrepareProcess(int& argc, char**& argv) {
  consoleCodePage = GetConsoleOutputCP();
  if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
    atexit(RestoreConsoleCodePage);
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return;
  static std::vector<std::string> arguments;
  static std::vector<char*> pointers;
  for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
  LocalFree(wide);
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  argc = count;
  argv = pointers.data();
}

void SetEnvironment(const char* name, const char* value) { _putenv_s(name, value); }

int ProcessorCount() {
  const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return count > 0 ? static_cast<int>(count) : 1;
}

std::string CurrentFolder() {
  const DWORD length = GetCurrentDirectoryW(0, nullptr);
  if (length == 0) return "";
  std::wstring folder(length, L'\0');
  if (GetCurrentDirectoryW(length, folder.data()) == 0) return "";
  return Narrow(folder.c_str());
}

const char* DesktopVideoDriver(const char** displayName) {
  *displayName = "the Windows desktop";
  return "windib";
}

namespace {

void (*interruptCleanup)() = nullptr;

// Runs on a thread of its own. Returning false passes the event on to the
// default handler, which ends the process with the event's status.
CRITICAL_SECTION& InterruptLock();

BOOL WINAPI EndOnControlEvent(DWORD) {
  EnterCriticalSection(&InterruptLock());
  interruptCleanup();
  LeaveCriticalSection(&InterruptLock());
  return FALSE;
}

}  // namespace

void HandleInterrupts(void (*cleanup)()) {
  interruptCleanup = cleanup;
  SetConsoleCtrlHandler(EndOnControlEvent, TRUE);
}

namespace {

// Windows refuses to open a folder as "access denied"; the program's
// messages say what POSIX systems say.
void TellFolderApart(const char* path) {
  if (errno != EACCES) return;
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    errno = EISDIR;
}

}  // namespace

FILE* OpenStream(const char* path, const char* mode) {
  std::wstring wideMode = Wide(mode) + L'N';  // not inherited
  FILE* stream = _wfopen(Wide(path).c_str(), wideMode.c_str());
  if (stream == nullptr) TellFolderApart(path);
  return stream;
}

int OpenForReading(const char* path) {
  const int fd = _wopen(Wide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) TellFolderApart(path);
  return fd;
}

bool RemoveFile(const char* path) { return _wunlink(Wide(path).c_str()) == 0; }

namespace {

FileKind KindOf(DWORD type, DWORD attributes) {
  if (type == FILE_TYPE_CHAR) return FileKind::CharacterDevice;
  if (type == FILE_TYPE_PIPE) return FileKind::Fifo;
  if (type != FILE_TYPE_DISK) return FileKind::Other;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder : FileKind::Regular;
}

bool FactsOfHandle(HANDLE handle, FileFacts& facts) {
  facts = FileFacts{FileKind::Other, 0, {0, 0}};
  const DWORD type = GetFileType(handle);
  BY_HANDLE_FILE_INFORMATION info;
  if (type != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    facts.kind = KindOf(type, 0);
    return type != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR || Failed();
  }
  facts.kind = KindOf(type, info.dwFileAttributes);
  facts.size = static_cast<int64_t>((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  facts.identity.device = info.dwVolumeSerialNumber;
  facts.identity.number = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

bool FactsOfPath(const char* path, FileFacts& facts) {
  // No access asked for: this opens files others hold, and folders.
  HANDLE handle =
      CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    facts = FileFacts{FileKind::Missing, 0, {0, 0}};
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || Failed();
  }
  const bool known = FactsOfHandle(handle, facts);
  CloseHandle(handle);
  return known;
}

bool FactsOfDescriptor(int fd, FileFacts& facts) {
  const intptr_t handle = _get_osfhandle(fd);
  if (handle == -1) {
    errno = EBADF;
    return false;
  }
  return FactsOfHandle(reinterpret_cast<HANDLE>(handle), facts);
}

void SetBinaryMode(FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }

// Windows has no stream over memory: a temporary file that is deleted as it
// is closed, and which the system keeps in its cache where it can.
FILE* StreamOfBytes(const void* data, size_t length) {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"tav", 0, name) == 0) {
    Failed();
    return nullptr;
  }
  FILE* stream = _wfopen(name, L"w+bTDN");
  if (stream == nullptr) {
    _wunlink(name);
    return nullptr;
  }
  if (fwrite(data, 1, length, stream) != length || fseek(stream, 0, SEEK_SET) != 0) {
    const int saved = errno;
    fclose(stream);
    errno = saved;
    return nullptr;
  }
  return stream;
}

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }

bool ReplaceWith(const char* from, const char* to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
         Failed();
}

void* MapZeroed(size_t length) {
  void* block = VirtualAlloc(nullptr, length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (block == nullptr) errno = ENOMEM;
  return block;
}

void* MapFileForReading(int fd, size_t length) {
  const intptr_t file = _get_osfhandle(fd);
  if (file == -1 || length == 0) {
    errno = file == -1 ? EBADF : EINVAL;
    return nullptr;
  }
  HANDLE mapping =
      CreateFileMappingW(reinterpret_cast<HANDLE>(file), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    Failed();
    return nullptr;
  }
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, length);
  if (view == nullptr) Failed();
  CloseHandle(mapping);  // the view keeps the mapping
  return view;
}

void UnmapFile(void* block, size_t) {
  if (block != nullptr) UnmapViewOfFile(block);
}

void UnmapZeroed(void* block, size_t) {
  if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

// ---- Whole files: the system's side of the writers --------------------------

namespace {

size_t LastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

bool NamesStandardOutput(const std::string& path) {
  return path == "/dev/stdout" || path == "CON" || path == "CONOUT$";
}

// Opens anything, folders included, to be looked at; no access is asked for,
// so files others hold open are looked at too.
HANDLE OpenToLookAt(const std::string& path) {
  return CreateFileW(Wide(path.c_str()).c_str(), 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

PathKind KindOfHandle(HANDLE handle) {
  FileFacts facts;
  if (!FactsOfHandle(handle, facts)) return PathKind::Unreachable;
  switch (facts.kind) {
    case FileKind::Regular:
      return PathKind::File;
    case FileKind::Folder:
      return PathKind::Folder;
    case FileKind::CharacterDevice:
    case FileKind::Fifo:
      return PathKind::Stream;
    default:
      return PathKind::BlockDevice;
  }
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Runs on the console's control thread: an interrupt that comes while the
// writers hold interrupts waits for them.
CRITICAL_SECTION interruptLock;
INIT_ONCE interruptLockMade = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK MakeInterruptLock(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&interruptLock);
  return TRUE;
}

CRITICAL_SECTION& InterruptLock() {
  InitOnceExecuteOnce(&interruptLockMade, MakeInterruptLock, nullptr, nullptr);
  return interruptLock;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

bool IsAbsolutePath(const std::string& path) {
  return path.starts_with('/') || path.starts_with('\\') || (path.size() >= 2 && path[1] == ':');
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

PathKind InspectPath(const std::string& path, std::string& finalPath) {
  finalPath = path;
  if (NamesStandardOutput(path)) return PathKind::Stream;
  HANDLE handle = OpenToLookAt(path);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = ErrnoOf(error);
    return IsMissing(error) ? PathKind::Absent : PathKind::Unreachable;
  }
  const PathKind kind = KindOfHandle(handle);
  CloseHandle(handle);
  return kind;
}

int OpenInPlace(const std::string& path) {
  if (NamesStandardOutput(path)) {
    const int fd = _dup(_fileno(stdout));
    if (fd >= 0) _setmode(fd, _O_BINARY);
    return fd;
  }
  const int fd = _wopen(Wide(path.c_str()).c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
  FileFacts facts;
  if (fd < 0 || (FactsOfDescriptor(fd, facts) &&
                 (facts.kind == FileKind::CharacterDevice || facts.kind == FileKind::Fifo)))
    return fd;
  _close(fd);
  errno = EBUSY;  // replaced by something else since it was looked at
  return -1;
}

bool IdentityOfPath(const std::string& path, PathIdentity& identity) {
  FileFacts facts;
  if (!FactsOfPath(path.c_str(), facts)) return false;
  if (facts.kind != FileKind::Missing) {
    identity = PathIdentity{facts.identity.device, facts.identity.number, ""};
    return true;
  }
  if (!FactsOfPath(FolderOf(path).c_str(), facts) || facts.kind == FileKind::Missing) return false;
  // Windows' file names are case-blind: two spellings name one file.
  std::wstring name = Wide(BaseNameOf(path).c_str());
  CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  identity = PathIdentity{facts.identity.device, facts.identity.number, Narrow(name.c_str())};
  return true;
}

int OpenUnnamedIn(const std::string&) {
  errno = ENOSYS;
  return -1;
}

bool LinkUnnamed(int, const std::string&) {
  errno = ENOSYS;
  return false;
}

int CreateNew(const std::string& name) {
  return _wopen(Wide(name.c_str()).c_str(),
                _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

FILE* WriteStreamOf(int fd) { return _fdopen(fd, "wb"); }

void CloseDescriptor(int fd) { _close(fd); }

// A read-only file is the one Windows refuses to replace by its attributes;
// access lists are left for the move to refuse.
bool MayWrite(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path.c_str()).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0)
    return true;
  errno = EACCES;
  return false;
}

bool OwnershipOf(const std::string&, Ownership&) { return false; }

void SetOwnership(int, const Ownership&) {}

bool SyncDescriptor(int fd) {
  const intptr_t handle = _get_osfhandle(fd);
  if (handle == -1) {
    errno = EBADF;
    return false;
  }
  return FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) || Failed();
}

// Windows locks no folder, so the lock is a mutex named after the folder's
// volume and file number, which every process of the session sees.
bool OpenFolder(const std::string& path, FolderHandle& folder) {
  FileFacts facts;
  if (!FactsOfPath(path.c_str(), facts) || facts.kind != FileKind::Folder) return false;
  folder = FolderHandle{0, facts.identity.device, facts.identity.number};
  return true;
}

void LockFolder(FolderHandle& folder) {
  const std::wstring name = L"Local\\tavrest-folder-" + std::to_wstring(folder.device) + L"-" +
                            std::to_wstring(folder.number);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return;
  const DWORD waited = WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return;
  }
  folder.handle = reinterpret_cast<intptr_t>(mutex);
}

// MOVEFILE_WRITE_THROUGH has made each move durable already.
void SyncFolderHandle(const FolderHandle&) {}

void CloseFolder(const FolderHandle& folder) {
  if (folder.handle == 0) return;
  HANDLE mutex = reinterpret_cast<HANDLE>(folder.handle);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

void HoldInterrupts(InterruptHold&) { EnterCriticalSection(&InterruptLock()); }

void ReleaseInterrupts(const InterruptHold&) { LeaveCriticalSection(&InterruptLock()); }
