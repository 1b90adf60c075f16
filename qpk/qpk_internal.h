// SPDX-License-Identifier: MIT
// The packed glyph file's packet coder in its pieces, and the padding rule
// both directions share. Exposed to the library's files and its tests, not
// installed.
#pragma once

#include "qpk.h"

// A stretch of bytes not yet coded: `count` bytes starting at `start`.
struct PendingBytes {
  const uint8_t* start;
  size_t count;
};

// Codes a whole stream into packets (no header), appending them to `out`.
void EncodePackedStream(const uint8_t* data, size_t length, std::vector<uint8_t>& out);
// Emit one packet each and leave `pending` empty; nothing for an empty one.
// A pending run holds every byte of the run but its last.
void WriteRunPacket(PendingBytes& pending, std::vector<uint8_t>& out);
void WriteRawPacket(PendingBytes& pending, std::vector<uint8_t>& out);

// True when no row of a complete stream has a bit set past its last pixel.
bool PaddingClear(const uint8_t* stream, int32_t cellSize);
