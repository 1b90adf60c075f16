// SPDX-License-Identifier: MIT
// Packed glyph files (tavrest.qpk): the one writer of their stream and
// packets, and their strict reader. Depends on nothing but the C++ library,
// so the sheet, the font library and the output layer can all use it. A null
// path or stream is refused (CannotOpen, ReadFailed) like one that fails.
//
// offset 0, 4 bytes: cell size, little-endian signed, 1 to 32
// offset 4 .. end:   packets, until the decoded stream is complete
//   raw packet: header n - 1 (0x00..0x7F), then n bytes        (n = 1..128)
//   run packet: header 0x80 + n - 1 (0x81..0xFF), then 1 byte  (n = 2..128)
// The decoded stream is exactly PackedStreamLength(cell size) bytes: the
// cells in slot order, each cell's rows bottom row first, each row in
// ceil(size / 8) bytes, leftmost pixel in the top bit, 1 for ink; the bits
// past a row's last pixel are 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr int PackedSlotCount = 9472;
constexpr int PackedMaxCellSize = 32;

// Why a file was refused; one value per rule.
enum class PackedRefusal {
  None = 0,
  CannotOpen,     // fopen failed; errno tells why
  ReadFailed,     // a read error (not the end of the file)
  NoMemory,       // the decoded stream could not be allocated
  BadCellSize,    // the size is outside 1 to 32, or the file is shorter than its 4-byte header
  BadPacket,      // header 0x80: a run of one item
  StreamShort,    // the file ends before the stream is complete, or inside a packet
  StreamOverrun,  // a packet's items go past the stream's end
  TrailingBytes,  // bytes follow the complete stream
  PaddingSet,     // a row has a bit set past its last pixel
};

// A short lower-case text for messages, e.g. "the stream ends early".
const char* PackedRefusalText(PackedRefusal reason);
// "PATH: TEXT", and ": " plus the system's words for `error` when the
// system refused (CannotOpen, ReadFailed).
std::string PackedRefusalMessage(const char* path, PackedRefusal reason, int error);

// Bytes of the decoded stream for a cell size: 9472 x size x ceil(size / 8).
size_t PackedStreamLength(int32_t cellSize);

// ---- Writing ----------------------------------------------------------------

// A picture with one cell per slot, as a glyph sheet lays them out: pixels of
// 4 bytes, rows top first, `width` pixels a row and `height` rows, the cell
// of slot n at cell column n % columns and cell row n / columns.
struct PackedCellPicture {
  const void* pixels;
  size_t width;
  size_t height;
  int columns;
  uint32_t ink;  // the 4 bytes of an ink pixel, as memcpy reads them; all else packs as 0
};

// Fills `stream` with the decoded stream of the picture's 9472 cells,
// replacing what it held. False, with `stream` unchanged, for a cell size
// outside 1 to 32, a picture too small for its cells, or when memory runs out.
bool PackCellPicture(const PackedCellPicture& picture, int32_t cellSize,
                     std::vector<uint8_t>& stream);
// The same for a picture whose maker knows which cells hold ink: `filled`
// has an entry per slot, and a cell whose entry is 0 is not read (it packs
// as no ink). Null: every cell is read.
bool PackCellPicture(const PackedCellPicture& picture, int32_t cellSize, const uint8_t* filled,
                     std::vector<uint8_t>& stream);

// Codes a decoded stream as a whole file, the 4-byte header and the packets,
// into `file` (replacing what it held). False, with `file` unchanged, for the
// streams the decoder refuses: a cell size outside 1 to 32, a length other
// than PackedStreamLength(cellSize), or padding bits set (errno EINVAL); or
// when memory runs out (ENOMEM).
bool EncodePackedFile(int32_t cellSize, const std::vector<uint8_t>& stream,
                      std::vector<uint8_t>& file);

// ---- Reading ----------------------------------------------------------------

// Decodes a whole packed file from `file`, read from its current position in
// blocks, never seeking, so pipes work. On success fills cellSize and stream;
// on refusal leaves both exactly as they were.
PackedRefusal DecodePackedGlyphStream(FILE* file, int32_t& cellSize, std::vector<uint8_t>& stream);
// The same from a path.
PackedRefusal DecodePackedGlyphPath(const char* path, int32_t& cellSize,
                                    std::vector<uint8_t>& stream);

// Unpacks a decoded stream into glyph rows: row values of `cellSize` bits,
// leftmost pixel in bit cellSize - 1, row 0 at the top. Writes every slot's
// cellSize rows at rowPool + slot x cellSize, and points slots[slot] there
// when they have ink; other entries of `slots` are left alone. Returns the
// number of slots with ink. `stream` must hold PackedStreamLength(cellSize)
// bytes, rowPool 9472 x cellSize values.
int PlacePackedGlyphs(const uint8_t* stream, int32_t cellSize, int32_t* rowPool, int32_t** slots);
