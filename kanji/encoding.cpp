// SPDX-License-Identifier: MIT
// Two-byte characters of Shift-JIS and EUC-JP texts turned into JIS X 0208
// pairs, whose slot Kanji_TwoByteSlot gives. JIS pairs need no conversion.
#include "kanji.h"

namespace {

unsigned char Byte(int value) { return static_cast<unsigned char>(value); }

}  // namespace

void Kanji_ConvertPair(const FontSet* font, unsigned char* first, unsigned char* second) {
  if (font == nullptr) return;
  if (font->encoding == EncodingShiftJis) {
    Kanji_SjisBytesToJis(first, second);
  } else if (font->encoding == EncodingEuc) {
    Kanji_EucBytesToJis(first, second);
  }
}

// Each Shift-JIS lead byte covers two JIS rows: a trail byte of 0x9F or more
// selects the even row. Arithmetic wraps modulo 256, so bytes outside the
// Shift-JIS ranges still give some pair, which the slot range check rejects.
void Kanji_SjisBytesToJis(unsigned char* first, unsigned char* second) {
  if (first == nullptr || second == nullptr) return;
  const int lead = *first;
  const int trail = *second;
  const bool upperLead = lead >= 0xA0;
  if (trail >= 0x9F) {
    *first = Byte(upperLead ? (lead - 0xE0) * 2 + 0x60 : (lead - 0x81) * 2 + 0x22);
    *second = Byte(trail - 0x7E);
  } else {
    *first = Byte(upperLead ? (lead - 0xE0) * 2 + 0x5F : (lead - 0x81) * 2 + 0x21);
    // Trail bytes skip 0x7F, so those above it sit one higher.
    *second = Byte(trail >= 0x80 ? trail - 0x20 : trail - 0x1F);
  }
}

void Kanji_EucBytesToJis(unsigned char* first, unsigned char* second) {
  if (first == nullptr || second == nullptr) return;
  *first &= 0x7F;
  *second &= 0x7F;
}
