// SPDX-License-Identifier: MIT
// Both run-length coders, the packed file's (bytes) and the TGA writer's
// (pixels of a row): decoding what they code gives the input back, and every
// packet keeps the count limits without equal neighbours in raw packets, and
// the packets are exactly those of the literal one-item-at-a-time coders.
#include "output_internal.h"
#include "qpk_internal.h"
#include "reference_coders.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void CheckPackedCoder(const uint8_t* data, size_t size) {
  std::vector<uint8_t> packets;
  EncodePackedStream(data, size, packets);
  std::vector<uint8_t> decoded;
  for (size_t p = 0; p < packets.size();) {
    const uint8_t header = packets[p++];
    if (header >= 0x80) {
      if (header < 0x81 || header > 0xF9 || p >= packets.size()) abort();
      decoded.insert(decoded.end(), header - 0x7Fu, packets[p++]);
      continue;
    }
    const size_t count = header + 1u;
    if (count > 121 || p + count > packets.size()) abort();
    for (size_t i = 1; i < count; ++i)
      if (packets[p + i] == packets[p + i - 1]) abort();
    decoded.insert(decoded.end(), packets.begin() + static_cast<long>(p),
                   packets.begin() + static_cast<long>(p + count));
    p += count;
  }
  if (decoded.size() != size || (size != 0 && memcmp(decoded.data(), data, size) != 0)) abort();
  if (packets != ReferencePackedPackets(std::vector<uint8_t>(data, data + size))) abort();
}

// A TGA row from the input's bytes, four to a pixel (r, g, b, a).
void CheckTgaRowCoder(const uint8_t* data, size_t size) {
  std::vector<SheetPixel> row(size / 4);
  if (!row.empty()) memcpy(row.data(), data, row.size() * 4);
  EncodeTgaRow(row.data(), static_cast<int>(row.size()));
  const std::vector<uint8_t> packets(tgaBytes.begin(), tgaBytes.end());
  TgaBuffer().swap(tgaBytes);
  std::vector<SheetPixel> decoded;
  auto filePixel = [&](size_t at) {
    return SheetPixel{packets[at + 2], packets[at + 1], packets[at], packets[at + 3]};
  };
  for (size_t p = 0; p < packets.size();) {
    const uint8_t header = packets[p++];
    const size_t count = (header & 0x7Fu) + 1u;
    if (header >= 0x80) {
      if (count < 2 || count > 122 || p + 4 > packets.size()) abort();
      decoded.insert(decoded.end(), count, filePixel(p));
      p += 4;
      continue;
    }
    if (count > 121 || p + 4 * count > packets.size()) abort();
    for (size_t i = 0; i < count; ++i) {
      if (i > 0 && filePixel(p + 4 * i) == filePixel(p + 4 * i - 4)) abort();
      decoded.push_back(filePixel(p + 4 * i));
    }
    p += 4 * count;
  }
  if (decoded != row) abort();
  std::vector<uint32_t> words(row.size());
  if (!row.empty()) memcpy(words.data(), row.data(), row.size() * 4);
  if (packets != ReferenceTgaRowPackets(words)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckPackedCoder(data, size);
  CheckTgaRowCoder(data, size);
  return 0;
}
