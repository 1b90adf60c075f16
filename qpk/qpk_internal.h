// SPDX-License-Identifier: MIT
// The packed glyph file's packet coder, and the padding rule both
// directions share. Exposed to the library's files and its tests, not
// installed.
#pragma once

#include "qpk.h"

// Codes a whole stream into packets (no header), appending them to `out`.
void EncodePackedStream(const uint8_t* data, size_t length, std::vector<uint8_t>& out);

// True when no row of a complete stream has a bit set past its last pixel.
bool PaddingClear(const uint8_t* stream, int32_t cellSize);
