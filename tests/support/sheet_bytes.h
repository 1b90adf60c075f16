// SPDX-License-Identifier: MIT
// A sheet's pixels as the plain byte stream an independent decoder gives
// (ImageMagick's rgb: and rgba: formats), top row first.
#pragma once

#include "sheet.h"

#include <cstdint>
#include <vector>

inline std::vector<uint8_t> RawBytes(const GlyphSheet& sheet, bool alpha) {
  std::vector<uint8_t> out;
  for (const SheetPixel& p : sheet.pixels) {
    out.insert(out.end(), {p.r, p.g, p.b});
    if (alpha) out.push_back(p.a);
  }
  return out;
}
