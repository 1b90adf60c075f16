// The packed file's coder: decoding what it codes gives the input back, and
// every packet keeps the count limits without equal neighbours in raw packets.
#include "output.h"

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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckPackedCoder(data, size);
  return 0;
}
