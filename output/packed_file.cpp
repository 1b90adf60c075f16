// Packed glyph file: the cell size, then the packed stream in run and raw
// packets (layout in output.h).
#include "output.h"

#include <cerrno>
#include <new>

namespace {
constexpr size_t kMaxRawCount = 121;
constexpr size_t kMaxPendingRun = 121;  // plus the run's last byte: 122
}  // namespace

void WriteRunPacket(PendingBytes& pending, std::vector<uint8_t>& out) {
  if (pending.count == 0) return;
  out.push_back(static_cast<uint8_t>(0x80 + pending.count));
  out.push_back(pending.start[0]);
  pending.count = 0;
}

void WriteRawPacket(PendingBytes& pending, std::vector<uint8_t>& out) {
  if (pending.count == 0) return;
  out.push_back(static_cast<uint8_t>(pending.count - 1));
  out.insert(out.end(), pending.start, pending.start + pending.count);
  pending.count = 0;
}

void EncodePackedStream(const uint8_t* data, size_t length, std::vector<uint8_t>& out) {
  PendingBytes run{data, 0};
  PendingBytes raw{data, 0};
  for (size_t p = 0; p < length; ++p) {
    bool continuesRun = p + 1 < length && data[p] == data[p + 1] && run.count < kMaxPendingRun;
    if (continuesRun) {
      if (run.count == 0) run.start = data + p;
      ++run.count;
      WriteRawPacket(raw, out);
    } else if (run.count != 0) {
      WriteRunPacket(run, out);  // data[p] is the run's last byte
    } else {
      if (raw.count == 0) raw.start = data + p;
      ++raw.count;
      if (raw.count == kMaxRawCount || p + 1 == length) WriteRawPacket(raw, out);
    }
  }
}

bool WritePackedGlyphs(const PackedGlyphs& packed, const char* path) {
  if (packed.bytes.empty()) {
    errno = 0;
    return false;
  }
  uint8_t header[4];
  Put32(header, static_cast<uint32_t>(packed.cellSize));
  std::vector<uint8_t> packets;
  try {
    EncodePackedStream(packed.bytes.data(), packed.bytes.size(), packets);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  return WriteWholeFile(path, header, sizeof header, packets.data(), packets.size());
}
