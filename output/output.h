// SPDX-License-Identifier: MIT
// Output files: the packed glyph file, the sheet images (TGA, BMP) and their
// readers. None of it needs the font library or SDL.
//
// Return convention: every writer and reader returns true on success. A
// writer returns false when it has nothing to write or when the file could
// not be written completely; it then leaves no partial file, any earlier file
// of that name is untouched, and errno tells why (0 when there was nothing
// to write). A reader returns false for a file it refuses and then leaves the
// sheet exactly as it was; its overload with an ImageRefusal says why.
#pragma once

#include "qpk.h"
#include "sheet.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// ---- Packed glyph file ------------------------------------------------------
//
// offset 0, 4 bytes: cellSize, little-endian signed
// offset 4 .. end:   packets over the packed stream
//   raw packet: header n - 1 (0x00..0x78), then n bytes       (n = 1..121)
//   run packet: header 0x80 + n - 1 (0x81..0xF9), then 1 byte (n = 2..122)
// qpk (qpk.h) codes it, with the rules its decoder reads it by.

// False, with no file written, for an empty stream (errno 0) and for one the
// reader would refuse (EINVAL): a cell size outside 1 to 32, a stream whose
// length is not PackedStreamLength(cellSize), or padding bits set.
bool WritePackedGlyphs(const PackedGlyphs& packed, const char* path);
// The same, into a batch (see Whole files).
struct FileBatch;
bool WritePackedGlyphs(const PackedGlyphs& packed, const char* path, FileBatch& batch);

// ---- Sheet images -----------------------------------------------------------

// Readers refuse larger images: the largest sheet the program makes has
// under 10 million pixels, and this keeps a lying header from asking for
// more than 256 MB.
constexpr uint64_t MaxImagePixels = uint64_t{1} << 26;

// Why a reader refused a file: one value for each rule it checks.
enum class ImageRefusal {
  None,                // read
  CannotOpen,          // the file cannot be opened
  Truncated,           // the file ended inside the header or the pixels
  ReadFailed,          // a read error, not the end of the file
  ShorterThanClaimed,  // the file's length cannot hold the image its header states
  Signature,           // BMP: not "BM"
  InfoHeader,          // BMP: an info header shorter than 40 bytes
  DataOffset,          // BMP: the pixels would start inside the headers
  ColourMapped,        // TGA: a colour map
  ImageType,           // TGA: neither plain (2) nor run-length coded (10) true colour
  Depth,               // not 32 (TGA) or 24 (BMP) bits per pixel
  Compression,         // BMP: compressed
  InvalidSize,         // a width or height of 0, negative, or out of range
  TooManyPixels,       // more than MaxImagePixels
  PacketPastRow,       // TGA: a packet runs past the end of its row
  OutOfMemory,         // no memory for the pixels
};

// A short English phrase for messages, e.g. "colour-mapped image".
const char* ImageRefusalText(ImageRefusal why);

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

// False, with no file written, for an empty sheet (errno 0), a sheet wider
// or taller than 65535 (EOVERFLOW) or one whose pixels do not match its size
// (EINVAL).
bool WriteTga(const GlyphSheet& sheet, const char* path);
bool WriteTga(const GlyphSheet& sheet, const char* path, FileBatch& batch);
// Reads 32-bit true-colour images, plain (type 2) or run-length coded (10),
// from any file that can be read front to back, pipes included.
bool ReadTga(GlyphSheet& sheet, const char* path);
bool ReadTga(GlyphSheet& sheet, const char* path, ImageRefusal& why);

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
bool WriteBmp(const GlyphSheet& sheet, const char* path, FileBatch& batch);
// Reads front to back like ReadTga, pipes included.
bool ReadBmp(GlyphSheet& sheet, const char* path);
bool ReadBmp(GlyphSheet& sheet, const char* path, ImageRefusal& why);

// ---- Reading a packed glyph file --------------------------------------------
//
// The decoder lives in qpk/ (qpk.h), shared with the font library; layout and
// refusal rules are there.

// Reads the whole file (pipes too) into `packed`. False for a file that cannot
// be read or is malformed, with `packed` untouched; `reason` tells which rule.
bool ReadPackedGlyphs(PackedGlyphs& packed, const char* path);
bool ReadPackedGlyphs(PackedGlyphs& packed, const char* path, PackedRefusal& reason);

// ---- Whole files ------------------------------------------------------------
//
// Every file here is written to a temporary file beside the target, which
// replaces the target only when everything was written, synced and closed.
// Where the file system offers unnamed temporary files the data has no name
// until it is complete, so a killed process leaves nothing behind. A symbolic
// link at the target stays: the file it leads to is replaced; a link that
// another user left in a world-writable sticky folder (such as /tmp), who
// owns neither the folder nor is the one writing, is not followed (EACCES),
// as the kernel's protected_symlinks rule has it. An existing target keeps
// its permission bits and, where allowed, its group, but never its set-user-
// or set-group-id bits when its owner or group changes; one this user may
// not write to is refused (EACCES) and left alone.
//
// Standard output ("/dev/stdout"), a FIFO and a character device are written
// into as they are: no temporary file, no rename, no sync, their mode and
// owner untouched; what was written to them cannot be taken back. A folder
// (EISDIR), a socket or a block device (ENXIO) is refused before anything is
// written.

// What a write to a path meets, links followed as the writers follow them.
enum class OutputKind {
  Absent,       // nothing there yet: a new file
  File,         // a regular file, replaced whole
  Stream,       // standard output, a FIFO or a character device
  Folder,       // refused
  Socket,       // refused
  BlockDevice,  // refused
  PlantedLink,  // refused: a link another user left in a shared sticky folder
  Unreachable,  // cannot be looked at; errno tells why
};
OutputKind OutputKindOf(const char* path);
// "a folder", "a socket", ...: why a kind is refused; null for a kind that is
// written (Unreachable too: the write itself then says why).
const char* RefusedOutputText(OutputKind kind);
// True when a write to `output` would land on the file `other` names: the
// same device and inode, links followed; of two names of files not there
// yet, when both lead to one name in one folder.
bool SameFile(const char* output, const char* other);

// Files written for one purpose and put in place together. A writer given a
// batch completes its file (synced unless `sync` is false) and leaves it
// beside its name; PlaceFileBatch then renames them all one right after the
// other, with SIGINT, SIGTERM, SIGHUP and SIGQUIT held from the first rename
// to the last folder sync, and syncs each folder once. A flock on each
// folder, held meanwhile, makes batches of other processes on the same
// folders wait, so that their files never interleave with these. Streams are
// written at once and take no part.
struct StagedFile {
  FILE* stream;           // an unnamed temporary file, still open; else null
  std::string tempPath;   // a named temporary file; else empty
  std::string finalPath;  // the file it replaces
  int pendingSlot;        // where a signal handler finds tempPath; -1 for none
};
struct FileBatch {
  bool sync = true;  // fsync each file before, and each folder after, the renames
  std::vector<StagedFile> files;
};
// False, with errno, when a file could not be put in place: the files are
// then all left where they were, unless a rename itself failed part way (a
// file system gone read-only), which leaves the files before it in place.
// The batch is empty afterwards either way.
bool PlaceFileBatch(FileBatch& batch);
// Removes the files of the batch without putting any in place.
void DropFileBatch(FileBatch& batch);

// Writes `path` that way with what `write` puts on the stream it is given;
// `write` returns false, with errno set, when it could not.
bool WriteFileThrough(const char* path, bool (*write)(FILE* stream, void* context), void* context);
// Removes the named temporary files of the writes in progress, if there are
// any. Safe to call from a signal handler that is about to end the process.
void AtomicFileRemovePending();
