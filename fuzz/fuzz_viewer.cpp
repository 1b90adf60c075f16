// SPDX-License-Identifier: MIT
// What tavrest-view is given: a file (a .qpk, or a font of any format) at a
// cell size, a --glyph argument and a --text drawn with what it opened. Byte
// 0 picks the size (0: the font's own) and the text's direction; the glyph
// argument and the text follow, each ended by a zero byte; the rest is the
// file. Opening must give a font set or a reason; the masks drawn must be as
// large as they say.
#include "fuzz_support.h"
#include "kanji.h"
#include "viewer.h"

#include <cstdlib>
#include <string>

namespace {

constexpr int kSizes[] = {0, 8, 16, 24};

// The next zero-ended piece of `input` from `start`, which moves past it.
std::string Piece(const std::string& input, size_t& start) {
  size_t end = input.find('\0', start);
  if (end == std::string::npos) end = input.size();
  std::string piece = input.substr(start, end - start);
  start = std::min(end + 1, input.size());
  return piece;
}

void CheckMask(const InkMask& mask) {
  if (mask.width < 0 || mask.height < 0) abort();
  if (mask.ink.size() != static_cast<size_t>(mask.width) * static_cast<size_t>(mask.height))
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t start = 0;
  const std::string glyph = Piece(input, start);
  const std::string text = Piece(input, start);
  ViewSource source;
  source.file =
      InputAsFile(reinterpret_cast<const uint8_t*>(input.data()) + start, input.size() - start);
  source.size = kSizes[data[0] & 3];
  const Viewed viewed = OpenViewed(source);
  if (viewed.font == nullptr) {
    if (viewed.problem.empty() || viewed.status < 1 || viewed.status > 2) abort();
    return 0;
  }
  const GlyphCounts counts = CountGlyphs(*viewed.font);
  if (counts.total < 0 || counts.total > GlyphSlotCount) abort();
  const int slot = SlotOfGlyphArgument(glyph.c_str());
  if (slot >= GlyphSlotCount) abort();
  InkMask mask;
  if (slot >= 0 && GlyphMask(*viewed.font, slot, mask)) CheckMask(mask);
  if (TextMask(*viewed.font, text.c_str(), (data[0] & 4) != 0, mask)) CheckMask(mask);
  Kanji_DestroyFontSet(viewed.font);
  return 0;
}
