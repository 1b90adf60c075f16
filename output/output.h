// Output files: the packed glyph file, the sheet images (TGA, BMP) and their
// readers.
//
// Return convention: every writer and reader returns true on success. A
// writer returns false when it has nothing to write or when the file could
// not be written completely; it then leaves no partial file, any earlier file
// of that name is untouched, and errno tells why (0 when there was nothing
// to write). A reader returns false for a file it refuses and then leaves the
// sheet exactly as it was.
#pragma once

#include "sheet.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <memory>
#include <utility>
#include <vector>

// ---- Whole-file-or-nothing writing ----------------------------------------

// Writes go to a temporary file beside the target, which replaces the target
// only when everything was written and closed. Where the file system offers
// unnamed temporary files the data has no name until it is complete, so a
// killed process leaves nothing behind. A symbolic link at the target stays:
// the file it leads to is replaced. An existing target keeps its permission
// bits and, where allowed, its group; one this user may not write to is
// refused (EACCES) and left alone.
struct AtomicFile {
  FILE* stream;
  std::string targetPath;  // the name given
  std::string finalPath;   // the file that is replaced: targetPath, links followed
  std::string tempPath;    // the temporary file's name; empty while it has none
  bool failed;             // a write failed; commit will refuse
  int keptMode;            // permission bits of the existing file, -1 for a new one
  long keptGroup;          // its group
};

bool AtomicFileOpen(AtomicFile& file, const char* path);
// The same, always with a named temporary file: what happens where the file
// system has no unnamed ones.
bool AtomicFileOpenNamed(AtomicFile& file, const char* path);
bool AtomicFileWrite(AtomicFile& file, const void* data, size_t length);
// Closes and renames into place; on any failure removes the temporary file.
bool AtomicFileCommit(AtomicFile& file);
// Closes and removes the temporary file, keeping errno.
void AtomicFileAbort(AtomicFile& file);
// Removes the named temporary file of the write in progress, if there is
// one. Safe to call from a signal handler that is about to end the process.
void AtomicFileRemovePending();
// Opens, writes header then body, commits.
bool WriteWholeFile(const char* path, const void* header, size_t headerLength,
                    const void* body, size_t bodyLength);

// ---- Packed glyph file ----------------------------------------------------
//
// offset 0, 4 bytes: cellSize, little-endian signed
// offset 4 .. end:   packets over the packed stream
//   raw packet: header n - 1 (0x00..0x78), then n bytes       (n = 1..121)
//   run packet: header 0x80 + n - 1 (0x81..0xF9), then 1 byte (n = 2..122)

// A stretch of bytes not yet coded: `count` bytes starting at `start`.
struct PendingBytes {
  const uint8_t* start;
  size_t count;
};

bool WritePackedGlyphs(const PackedGlyphs& packed, const char* path);
// Codes a whole stream into packets (no header).
void EncodePackedStream(const uint8_t* data, size_t length, std::vector<uint8_t>& out);
// Emit one packet each and leave `pending` empty; nothing for an empty one.
// A pending run holds every byte of the run but its last.
void WriteRunPacket(PendingBytes& pending, std::vector<uint8_t>& out);
void WriteRawPacket(PendingBytes& pending, std::vector<uint8_t>& out);

// ---- Sheet images: shared by the TGA and BMP code -------------------------

// Readers refuse larger images: the largest sheet the program makes has
// under 10 million pixels, and this keeps a lying header from asking for
// more than 256 MB.
constexpr uint64_t MaxImagePixels = uint64_t{1} << 26;

// True when width and height are positive and `pixels` holds exactly
// width x height of them, so rows can be addressed without bounds checks.
bool ImageSheetValid(const GlyphSheet& sheet);
// An image writer's first check: false, with errno 0 for an empty sheet and
// EINVAL for one whose pixels do not match its size.
bool SheetWritable(const GlyphSheet& sheet);
// Length of an open regular file, or -1 when it cannot be known (a pipe).
int64_t KnownFileLength(FILE* file);

// ---- TGA image --------------------------------------------------------------
//
// offset size field                   written                 read
//  0      1   ID length               0                       skipped
//  1      1   colour map type         0                       must be 0
//  2      1   image type              10 (run-length coded)   2 or 10
//  3      5   colour map fields       0                       ignored
//  8      2   X origin                0                       ignored
// 10      2   Y origin                0                       ignored
// 12      2   width                   sheet width (<= 65535)  1..65535
// 14      2   height                  sheet height            1..65535
// 16      1   pixel depth             32                      must be 32
// 17      1   image descriptor        8: 8 alpha bits,        bit 5: top row first,
//                                     bottom row first        bit 4: right to left
// 18      ID  image ID                (none)                  skipped
// then the rows, bottom row first; each row coded on its own (type 10):
//   raw packet: header n - 1 (0x00..0x78), then n pixels        (n = 1..121)
//   run packet: header 0x80 + n - 1 (0x81..0xF9), then 1 pixel  (n = 2..122)
//   (the reader takes any count up to 128 that stays within its row)
// a pixel is 4 bytes: b, g, r, a. Type 2 stores every pixel in full.

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

// Coded rows on their way to the file while WriteTga runs; empty and
// without storage otherwise.
extern TgaBuffer tgaBytes;

// Pixels not yet coded: `count` pixels from `start`. A pending run holds
// every pixel of the run but its last.
struct PendingPixels {
  const SheetPixel* start;
  int count;
};

// False, with no file written, for an empty sheet (errno 0), a sheet wider
// or taller than 65535 (EOVERFLOW) or one whose pixels do not match its size
// (EINVAL).
bool WriteTga(const GlyphSheet& sheet, const char* path);
// Appends the packets of one row to tgaBytes; nothing for count 0.
void EncodeTgaRow(const SheetPixel* row, int count);
// Append one packet each to tgaBytes and leave `pending` empty; nothing for
// an empty one. A run holds 1 to 121 pixels (plus its last).
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
// Reads 32-bit true-colour images, plain (type 2) or run-length coded (10).
bool ReadTga(GlyphSheet& sheet, const char* path);

// ---- BMP image --------------------------------------------------------------
//
// offset size field                   written                 read
//  0      2   signature               "BM"                    must be "BM"
//  2      4   file size               54 + rows               ignored
//  6      4   reserved                0                       ignored
// 10      4   pixel data offset       54                      honoured
// 14      4   info header size        40                      40 or more
// 18      4   width                   sheet width             1..
// 22      4   height                  sheet height            negative: top row first
// 26      2   colour planes           1                       ignored
// 28      2   bits per pixel          24                      must be 24
// 30      4   compression             0 (none)                must be 0
// 34      4   image data size         0                       ignored
// 38      4   horizontal resolution   0                       ignored
// 42      4   vertical resolution     0                       ignored
// 46      4   colours used            0                       ignored
// 50      4   important colours       0                       ignored
// then the rows, bottom row first (unless the height is negative); a pixel
// is 3 bytes b, g, r, and each row is padded with zeros to a multiple of 4
// bytes (none for sheets, which are 64 x cell size wide). Alpha is dropped;
// the reader gives every pixel alpha 255.

// False, with no file written, for an empty sheet (errno 0), a sheet whose
// pixels do not match its size (EINVAL) or one too big for the format
// (EOVERFLOW).
bool WriteBmp(const GlyphSheet& sheet, const char* path);
bool ReadBmp(GlyphSheet& sheet, const char* path);
