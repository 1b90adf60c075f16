// SPDX-License-Identifier: MIT
// The output layer's own pieces: whole-file writing, header fields, the
// image readers' shared steps and the TGA coder's parts. Exposed to the
// layer's files and its tests, not installed.
#pragma once

#include "output.h"

#include <memory>
#include <string>
#include <utility>

// ---- Whole files: the write in progress (see output.h) ----------------------

struct AtomicFile {
  FILE* stream;
  std::string targetPath;  // the name given
  std::string finalPath;   // the file that is replaced: targetPath, links followed
  std::string tempPath;    // the temporary file's name; empty while it has none
  bool failed;             // a write failed; commit will refuse
  bool inPlace;            // a stream, written into as it is
  int keptMode;            // permission bits of the existing file, -1 for a new one
  long keptGroup;          // its group
  long keptOwner;          // its owner
  int pendingSlot;         // tempPath's place for a signal handler, -1 for none
  FileBatch* batch;        // where commit leaves the file; null: put in place at once
};

bool AtomicFileOpen(AtomicFile& file, const char* path);
// The same for a file that commit leaves in `batch` (null: put in place at once).
bool AtomicFileOpenInto(AtomicFile& file, const char* path, FileBatch* batch);
// The same, always with a named temporary file: what happens where the file
// system has no unnamed ones.
bool AtomicFileOpenNamed(AtomicFile& file, const char* path);
bool AtomicFileWrite(AtomicFile& file, const void* data, size_t length);
// Syncs and closes; leaves the file in its batch, or renames it into place;
// on any failure removes the temporary file.
bool AtomicFileCommit(AtomicFile& file);
// Closes and removes the temporary file, keeping errno.
void AtomicFileAbort(AtomicFile& file);
// Opens, writes header then body, commits.
bool WriteWholeFile(const char* path, const void* header, size_t headerLength, const void* body,
                    size_t bodyLength, FileBatch* batch = nullptr);

// Little-endian fields, as every header here stores them.
void Put16(uint8_t* out, uint32_t value);
void Put32(uint8_t* out, uint32_t value);
uint32_t Get16(const uint8_t* in);
uint32_t Get32(const uint8_t* in);

// ---- Steps TGA and BMP share ------------------------------------------------

// True when width and height are positive and `pixels` holds exactly
// width x height of them, so rows can be addressed without bounds checks.
bool ImageSheetValid(const GlyphSheet& sheet);
// An image writer's first check: false, with errno 0 for an empty sheet and
// EINVAL for one whose pixels do not match its size.
bool SheetWritable(const GlyphSheet& sheet);
// Length of an open regular file, or -1 when it cannot be known (a pipe).
int64_t KnownFileLength(FILE* file);
// Opens `path`, has `read` take the image from it, closes it; `why` is
// ImageRefusal::None exactly when it returns true.
bool ReadImageFile(GlyphSheet& sheet, const char* path, ImageRefusal& why,
                   ImageRefusal (*read)(FILE* file, GlyphSheet& sheet));

// ---- TGA coder and reader ---------------------------------------------------

// Leaves bytes added by resize() unset: room for packets is made a row at a
// time and trimmed to what was written, so filling it first is wasted work.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() = default;
  template <class U>
  UninitializedAllocator(const UninitializedAllocator<U>&) {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using TgaBuffer = std::vector<uint8_t, UninitializedAllocator<uint8_t>>;

// Coded rows on their way to the file while WriteTga runs on this thread
// (each thread codes into its own); empty and without storage otherwise.
extern thread_local TgaBuffer tgaBytes;

// Pixels not yet coded: `count` pixels from `start`. A pending run holds
// every pixel of the run but its last.
struct PendingPixels {
  const SheetPixel* start;
  int count;
};

// Appends the packets of one row to tgaBytes; nothing for count 0.
void EncodeTgaRow(const SheetPixel* row, int count);
// Append one packet each to tgaBytes and leave `pending` empty; nothing for
// an empty one. A run holds 1 to 121 pixels (plus its last). They give the
// packets EncodeTgaRow codes, one at a time.
void PutTgaRunPacket(PendingPixels& run);
void PutTgaRawPacket(PendingPixels& literals);

// Reads a TGA file in blocks.
struct TgaReader {
  FILE* file;
  size_t blockLength;
  size_t blockPos;
  uint8_t block[65536];
};

void InitTgaReader(TgaReader& reader, FILE* file);
// False when the file ends first.
bool ReadTgaBytes(TgaReader& reader, uint8_t* out, size_t count);
bool ReadTgaPixel(TgaReader& reader, SheetPixel& pixel);
