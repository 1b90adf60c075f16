// SPDX-License-Identifier: MIT
// Packed glyph file decoding: header, packets, the one length a stream may
// have, and rows clear past their last pixel.
#include "platform.h"
#include "qpk_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr size_t kBlockSize = 65536;
constexpr uint8_t kRunFlag = 0x80;
constexpr uint8_t kRunOfOne = 0x80;  // the one header the format cannot mean

// Hands out a file's bytes from one block at a time.
struct BlockSource {
  FILE* file;
  size_t length;
  size_t pos;
  bool failed;  // a read error, as opposed to the end of the file
  uint8_t block[kBlockSize];
};

// False at the end of the file or on a read error.
bool Refill(BlockSource& source) {
  if (source.pos < source.length) return true;
  source.pos = 0;
  source.length = fread(source.block, 1, kBlockSize, source.file);
  if (source.length == 0 && ferror(source.file)) source.failed = true;
  return source.length != 0;
}

bool TakeByte(BlockSource& source, uint8_t& byte) {
  if (!Refill(source)) return false;
  byte = source.block[source.pos++];
  return true;
}

// True when all `count` bytes were there.
bool TakeBytes(BlockSource& source, uint8_t* out, size_t count) {
  while (count != 0) {
    if (!Refill(source)) return false;
    const size_t piece = std::min(count, source.length - source.pos);
    memcpy(out, source.block + source.pos, piece);
    source.pos += piece;
    out += piece;
    count -= piece;
  }
  return true;
}

// Why the bytes stopped coming.
PackedRefusal EndOf(const BlockSource& source) {
  return source.failed ? PackedRefusal::ReadFailed : PackedRefusal::StreamShort;
}

// Fills `stream` (already sized) from the packets, then insists on the end
// of the file.
PackedRefusal DecodePackets(BlockSource& source, std::vector<uint8_t>& stream) {
  const size_t length = stream.size();
  size_t filled = 0;
  while (filled < length) {
    uint8_t header;
    if (!TakeByte(source, header)) return EndOf(source);
    if (header == kRunOfOne) return PackedRefusal::BadPacket;
    const size_t count = (header & 0x7Fu) + 1u;
    if (count > length - filled) return PackedRefusal::StreamOverrun;
    if (header & kRunFlag) {
      uint8_t value;
      if (!TakeByte(source, value)) return EndOf(source);
      memset(stream.data() + filled, value, count);
    } else if (!TakeBytes(source, stream.data() + filled, count)) {
      return EndOf(source);
    }
    filled += count;
  }
  uint8_t extra;
  if (TakeByte(source, extra)) return PackedRefusal::TrailingBytes;
  return source.failed ? PackedRefusal::ReadFailed : PackedRefusal::None;
}

int32_t LittleEndian32(const uint8_t* bytes) {
  return static_cast<int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                              static_cast<uint32_t>(bytes[3]) << 24);
}

// One stream row as a row value: `size` bits, leftmost pixel on top.
int32_t RowValue(const uint8_t* row, size_t rowBytes, int32_t size) {
  uint64_t bits = 0;
  for (size_t b = 0; b < rowBytes; ++b) bits = bits << 8 | row[b];
  return static_cast<int32_t>(
      static_cast<uint32_t>(bits >> (rowBytes * 8 - static_cast<size_t>(size))));
}

}  // namespace

const char* PackedRefusalText(PackedRefusal reason) {
  switch (reason) {
    case PackedRefusal::None:
      return "accepted";
    case PackedRefusal::CannotOpen:
      return "cannot be opened";
    case PackedRefusal::ReadFailed:
      return "read error";
    case PackedRefusal::NoMemory:
      return "out of memory";
    case PackedRefusal::BadCellSize:
      return "cell size outside 1 to 32, or no 4-byte header";
    case PackedRefusal::BadPacket:
      return "malformed packet (header 0x80)";
    case PackedRefusal::StreamShort:
      return "the stream ends early";
    case PackedRefusal::StreamOverrun:
      return "a packet runs past the end of the stream";
    case PackedRefusal::TrailingBytes:
      return "bytes after the end of the stream";
    case PackedRefusal::PaddingSet:
      return "a row has bits set past its last pixel";
  }
  return "unknown reason";
}

std::string PackedRefusalMessage(const char* path, PackedRefusal reason, int error) {
  std::string message =
      std::string(path != nullptr ? path : "(no name)") + ": " + PackedRefusalText(reason);
  if (reason == PackedRefusal::CannotOpen || reason == PackedRefusal::ReadFailed)
    message += std::string(": ") + strerror(error);
  return message;
}

size_t PackedStreamLength(int32_t cellSize) {
  const size_t size = static_cast<size_t>(cellSize);
  return static_cast<size_t>(PackedSlotCount) * size * ((size + 7) / 8);
}

bool PaddingClear(const uint8_t* stream, int32_t cellSize) {
  const int used = cellSize % 8;  // pixels in a row's last byte
  if (used == 0) return true;
  const uint8_t padding = static_cast<uint8_t>(0xFF >> used);
  const size_t rowBytes = (static_cast<size_t>(cellSize) + 7) / 8;
  const size_t rows = static_cast<size_t>(PackedSlotCount) * static_cast<size_t>(cellSize);
  for (size_t last = rowBytes - 1; last < rows * rowBytes; last += rowBytes)
    if (stream[last] & padding) return false;
  return true;
}

PackedRefusal DecodePackedGlyphStream(FILE* file, int32_t& cellSize, std::vector<uint8_t>& stream) {
  if (file == nullptr) {
    errno = EINVAL;
    return PackedRefusal::ReadFailed;
  }
  BlockSource source;  // its block is filled before it is read
  source.file = file;
  source.length = 0;
  source.pos = 0;
  source.failed = false;
  uint8_t header[4];
  if (!TakeBytes(source, header, sizeof header))
    return source.failed ? PackedRefusal::ReadFailed : PackedRefusal::BadCellSize;
  const int32_t size = LittleEndian32(header);
  if (size < 1 || size > PackedMaxCellSize) return PackedRefusal::BadCellSize;
  std::vector<uint8_t> decoded;
  try {
    decoded.resize(PackedStreamLength(size));
  } catch (const std::bad_alloc&) {
    return PackedRefusal::NoMemory;
  }
  const PackedRefusal reason = DecodePackets(source, decoded);
  if (reason != PackedRefusal::None) return reason;
  if (!PaddingClear(decoded.data(), size)) return PackedRefusal::PaddingSet;
  cellSize = size;
  stream.swap(decoded);
  return PackedRefusal::None;
}

PackedRefusal DecodePackedGlyphPath(const char* path, int32_t& cellSize,
                                    std::vector<uint8_t>& stream) {
  if (path == nullptr) errno = EINVAL;
  FILE* file = path != nullptr ? OpenStream(path, "rb") : nullptr;
  if (file == nullptr) return PackedRefusal::CannotOpen;
  const PackedRefusal reason = DecodePackedGlyphStream(file, cellSize, stream);
  const int saved = errno;
  fclose(file);
  errno = saved;
  return reason;
}

int PlacePackedGlyphs(const uint8_t* stream, int32_t cellSize, int32_t* rowPool, int32_t** slots) {
  const size_t size = static_cast<size_t>(cellSize);
  const size_t rowBytes = (size + 7) / 8;
  int inked = 0;
  for (size_t slot = 0; slot < static_cast<size_t>(PackedSlotCount); ++slot) {
    const uint8_t* cell = stream + slot * size * rowBytes;
    int32_t* rows = rowPool + slot * size;
    int32_t ink = 0;
    for (size_t k = 0; k < size; ++k) {  // stream rows run bottom-up
      rows[size - 1 - k] = RowValue(cell + k * rowBytes, rowBytes, cellSize);
      ink |= rows[size - 1 - k];
    }
    if (ink == 0) continue;
    slots[slot] = rows;
    ++inked;
  }
  return inked;
}
