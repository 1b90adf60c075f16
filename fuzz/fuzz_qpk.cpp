// SPDX-License-Identifier: MIT
// Any file given to the packed glyph file decoder: it takes exactly the files
// a literal in-memory reading of the format takes, with the same reason for
// each refusal and the same stream for each acceptance; a refusal leaves the
// destination alone; an accepted stream unpacks into glyph rows within the
// cell's width.
#include "fuzz_support.h"
#include "qpk.h"

#include <cstdlib>

namespace {

PackedRefusal LiteralDecode(const uint8_t* data, size_t size, int32_t& cellSize,
                            std::vector<uint8_t>& out) {
  if (size < 4) return PackedRefusal::BadCellSize;
  cellSize = static_cast<int32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                  static_cast<uint32_t>(data[3]) << 24);
  if (cellSize < 1 || cellSize > 32) return PackedRefusal::BadCellSize;
  const size_t length =
      size_t{9472} * static_cast<size_t>(cellSize) * static_cast<size_t>((cellSize + 7) / 8);
  size_t p = 4;
  while (out.size() < length) {
    if (p == size) return PackedRefusal::StreamShort;
    const uint8_t header = data[p++];
    if (header == 0x80) return PackedRefusal::BadPacket;
    const size_t count = (header & 0x7Fu) + 1;
    if (out.size() + count > length) return PackedRefusal::StreamOverrun;
    if (header >= 0x80) {
      if (p == size) return PackedRefusal::StreamShort;
      out.insert(out.end(), count, data[p++]);
    } else {
      if (size - p < count) return PackedRefusal::StreamShort;
      out.insert(out.end(), data + p, data + p + count);
      p += count;
    }
  }
  if (p != size) return PackedRefusal::TrailingBytes;
  const size_t rowBytes = static_cast<size_t>((cellSize + 7) / 8);
  const unsigned pixelsInLastByte = static_cast<unsigned>(cellSize - 1) % 8 + 1;
  for (size_t last = rowBytes - 1; last < out.size(); last += rowBytes)
    if ((out[last] << pixelsInLastByte) & 0xFF) return PackedRefusal::PaddingSet;
  return PackedRefusal::None;
}

void CheckRows(const std::vector<uint8_t>& stream, int32_t cellSize) {
  std::vector<int32_t> pool(static_cast<size_t>(PackedSlotCount) * static_cast<size_t>(cellSize));
  std::vector<int32_t*> slots(PackedSlotCount, nullptr);
  const int inked = PlacePackedGlyphs(stream.data(), cellSize, pool.data(), slots.data());
  int pointed = 0;
  for (size_t slot = 0; slot < slots.size(); ++slot) {
    if (slots[slot] == nullptr) continue;
    ++pointed;
    if (slots[slot] != pool.data() + slot * static_cast<size_t>(cellSize)) abort();
  }
  if (pointed != inked) abort();
  const uint64_t beyond = ~((uint64_t{1} << cellSize) - 1);
  for (int32_t row : pool)
    if (static_cast<uint64_t>(static_cast<uint32_t>(row)) & beyond) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t cellSize = -7;
  std::vector<uint8_t> stream{1, 2, 3};
  const PackedRefusal reason = DecodePackedGlyphPath(InputAsFile(data, size), cellSize, stream);
  int32_t literalSize = 0;
  std::vector<uint8_t> literal;
  if (reason != LiteralDecode(data, size, literalSize, literal)) abort();
  if (reason != PackedRefusal::None) {
    if (cellSize != -7 || stream != std::vector<uint8_t>{1, 2, 3}) abort();
    return 0;
  }
  if (cellSize != literalSize || stream != literal || stream.size() != PackedStreamLength(cellSize))
    abort();
  CheckRows(stream, cellSize);
  return 0;
}
