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
#include <vector>

// ---- Whole-file-or-nothing writing ----------------------------------------

// Writes go to a temporary file beside the target, which replaces the target
// only when everything was written and closed.
struct AtomicFile {
  FILE* stream;
  std::string targetPath;
  std::string tempPath;
  bool failed;  // a write failed; commit will refuse
};

bool AtomicFileOpen(AtomicFile& file, const char* path);
bool AtomicFileWrite(AtomicFile& file, const void* data, size_t length);
// Closes and renames into place; on any failure removes the temporary file.
bool AtomicFileCommit(AtomicFile& file);
// Closes and removes the temporary file, keeping errno.
void AtomicFileAbort(AtomicFile& file);
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

// ---- TGA image --------------------------------------------------------------

extern std::vector<uint8_t> tgaBytes;

bool WriteTga(const GlyphSheet& sheet, const char* path);
void EncodeTgaRow(const SheetPixel* row, int count);
void PutTgaRunPacket(std::vector<SheetPixel>& runList);
void PutTgaRawPacket(std::vector<SheetPixel>& literalList);
bool ReadTga(GlyphSheet& sheet, const char* path);

// ---- BMP image --------------------------------------------------------------

bool WriteBmp(const GlyphSheet& sheet, const char* path);
bool ReadBmp(GlyphSheet& sheet, const char* path);
