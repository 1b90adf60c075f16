// SPDX-License-Identifier: MIT
// Where a glyph's ink goes in its cell, for every font format: bitmap lines
// by their box, and a load's glyphs moved together by the fit.
#include "kanji_internal.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace {

// The whole bytes a plain line takes: the number's value, saturating as
// Kanji_ParseHexRow does.
uint8_t PlacePlainLine(int line, const uint8_t* bytes, int count, const GlyphTarget& target) {
  uint64_t value = 0;
  for (int b = 0; b < count; ++b) value = std::min<uint64_t>(value * 256 + bytes[b], 0x100000000u);
  const int32_t parsed = static_cast<int32_t>(std::min<uint64_t>(value, 0xFFFFFFFFu));
  if (line >= target.last) return parsed != 0 ? CutBottom : 0;
  target.rows[line] = parsed >> Kanji_RowShift(target.width);
  return Kanji_PlainRowSides(parsed, target.width);
}

// A line's first `Count` bytes as a number, the first byte on top.
template <int Count>
uint32_t LineValue(const uint8_t* bytes) {
  uint32_t value = 0;
  for (int b = 0; b < Count; ++b) value = value << 8 | bytes[b];
  return value;
}

// PlacePlainLine for every line of a glyph whose lines hold `Count` bytes, at
// most four, which then never saturate: the shift and the edges are worked
// out once, and the sides from all the rows' bits together.
template <int Count>
uint8_t PlaceShortPlainLines(const uint8_t* lines, size_t stride, int lineCount,
                             const GlyphTarget& target) {
  const int shift = Kanji_RowShift(target.width);
  const int inside = std::min(lineCount, target.last);
  uint32_t inked = 0;
  for (int line = 0; line < inside; ++line) {
    const uint32_t value = LineValue<Count>(lines + static_cast<size_t>(line) * stride);
    target.rows[line] = static_cast<int32_t>(value) >> shift;
    inked |= value;
  }
  uint8_t sides = Kanji_PlainRowSides(static_cast<int32_t>(inked), target.width);
  for (int line = inside; line < lineCount; ++line)
    if (LineValue<Count>(lines + static_cast<size_t>(line) * stride) != 0) return sides | CutBottom;
  return sides;
}

// The bits of a byte whose leftmost pixel lies in column `column` that land
// right of the cell's left edge, and left of the right edge of a cell
// `width` wide.
unsigned RightOfLeftEdge(int column) {
  return column >= 0 ? 0xFFu : column <= -8 ? 0u : 0xFFu >> -column;
}
unsigned LeftOfRightEdge(int column, int width) {
  const int room = width - column;
  return room >= 8 ? 0xFFu : room <= 0 ? 0u : (0xFFu << (8 - room)) & 0xFFu;
}

// ---- The fit ------------------------------------------------------------------

bool Considered(const StagedGlyph& glyph, bool twoByteOnly) {
  return glyph.counted && (!twoByteOnly || glyph.jis > 255);
}

bool TwoByteOnly(const GlyphStage& stage) {
  for (const StagedGlyph& glyph : stage.glyphs)
    if (glyph.counted && glyph.jis > 255) return true;
  return false;
}

// The CutSide bits a glyph loses once moved `shift` rows down in a cell
// `size` rows high.
uint8_t SidesAfter(const StagedGlyph& glyph, int shift, int size) {
  uint8_t sides = glyph.lost;
  if (glyph.inkTop <= glyph.inkBottom) {
    if (glyph.inkTop + shift < 0) sides |= CutTop;
    if (glyph.inkBottom + shift >= size) sides |= CutBottom;
  }
  return sides;
}

int VerticalCut(const GlyphStage& stage, int shift, int size, bool twoByteOnly) {
  int cut = 0;
  for (const StagedGlyph& glyph : stage.glyphs)
    if (Considered(glyph, twoByteOnly) && (SidesAfter(glyph, shift, size) & (CutTop | CutBottom)))
      ++cut;
  return cut;
}

// More than 2% of the considered glyphs.
bool TooMany(int cut, int considered) { return int64_t{cut} * 50 > considered; }

// Of the moves within the stage's margin, the one that cuts fewest: the
// smallest of equals, and of two the upward one.
int BestShift(const GlyphStage& stage, int size, bool twoByteOnly, int* leastCut) {
  int best = 0;
  *leastCut = VerticalCut(stage, 0, size, twoByteOnly);
  for (int distance = 1; distance <= stage.margin && *leastCut > 0; ++distance) {
    for (const int shift : {-distance, distance}) {
      const int cut = VerticalCut(stage, shift, size, twoByteOnly);
      if (cut < *leastCut) best = shift, *leastCut = cut;
    }
  }
  return best;
}

// The rows of a glyph's first and last ink, where the fit has to look.
void FindInk(GlyphStage* stage) {
  if (stage->inkFound) return;
  const int tall = stage->size + 2 * stage->margin;
  for (StagedGlyph& glyph : stage->glyphs) {
    const int32_t* rows = stage->slotRows[glyph.slot];
    int top = 0;
    while (top < tall && rows[top] == 0) ++top;
    int bottom = tall - 1;
    while (bottom > top && rows[bottom] == 0) --bottom;
    glyph.inkTop = static_cast<int8_t>(top - stage->margin);
    glyph.inkBottom = static_cast<int8_t>(top < tall ? bottom - stage->margin : glyph.inkTop - 1);
  }
  stage->inkFound = true;
}

// Whether any of `count` rows has ink; a plain sum the compiler vectorises.
bool AnyInk(const int32_t* rows, int count) {
  uint32_t any = 0;
  for (int i = 0; i < count; ++i) any |= static_cast<uint32_t>(rows[i]);
  return any != 0;
}

// What the glyphs lose where they are: ink in the rows above or below the cell.
void FindEdges(GlyphStage* stage) {
  for (StagedGlyph& glyph : stage->glyphs) {
    const int32_t* rows = stage->slotRows[glyph.slot];
    glyph.edges = static_cast<uint8_t>(
        (AnyInk(rows, stage->margin) ? CutTop : 0) |
        (AnyInk(rows + stage->margin + stage->size, stage->margin) ? CutBottom : 0));
  }
}

void CountCut(const StagedGlyph& glyph, uint8_t sides, FontLoadReport* report) {
  if (sides == 0 || !glyph.counted) return;
  Kanji_NoteCut(report, glyph.jis);
  report->cutTop += (sides & CutTop) != 0;
  report->cutBottom += (sides & CutBottom) != 0;
  report->cutLeft += (sides & CutLeft) != 0;
  report->cutRight += (sides & CutRight) != 0;
}

// The fit's move: none where the baseline was given, the font may not be
// moved, or its rule cuts few.
int ChooseShift(GlyphStage* stage) {
  if (stage->givenBaseline >= 0 || !stage->fittable) return 0;
  const bool twoByteOnly = TwoByteOnly(*stage);
  int considered = 0, cut = 0;
  for (const StagedGlyph& glyph : stage->glyphs) {
    if (!Considered(glyph, twoByteOnly)) continue;
    ++considered;
    cut += ((glyph.lost | glyph.edges) & (CutTop | CutBottom)) != 0;
  }
  if (!TooMany(cut, considered)) return 0;
  FindInk(stage);
  int leastCut;
  return BestShift(*stage, stage->size, twoByteOnly, &leastCut);
}

}  // namespace

int Kanji_BoxLineBytes(int width) { return std::clamp((width + 7) / 8, 0, kMaxBoxLineBytes); }

bool Kanji_BoxReadsPlain(const GlyphBox& box, const CellPlacement& cell, int width) {
  return cell.ascent - (box.height + box.y) == 0 && box.x == 0 &&
         Kanji_BoxLineBytes(box.width) == std::max(1, (width + 7) / 8);
}

uint8_t Kanji_PlainRowSides(int32_t parsed, int width) {
  const uint32_t value = static_cast<uint32_t>(parsed);
  const int shift = Kanji_RowShift(width);
  const uint32_t right = shift >= 32 ? value : value & ((uint32_t{1} << shift) - 1);
  const int kept = shift + width;
  const uint32_t left = kept >= 32 ? 0 : value >> kept;
  return static_cast<uint8_t>((right != 0 ? CutRight : 0) | (left != 0 ? CutLeft : 0));
}

uint8_t Kanji_PlaceBoxLine(const GlyphBox& box, const CellPlacement& cell, int line,
                           const uint8_t* bytes, const GlyphTarget& target) {
  const int row = cell.ascent - (box.height + box.y) + line;
  const int count = Kanji_BoxLineBytes(box.width);
  uint8_t sides = 0;
  uint32_t value = 0;
  for (int b = 0; b < count; ++b) {
    const unsigned byte = bytes[b];
    if (byte == 0) continue;
    const int column = 8 * b + box.x;
    const unsigned leftEdge = RightOfLeftEdge(column),
                   rightEdge = LeftOfRightEdge(column, target.width);
    if ((byte & ~leftEdge) != 0) sides |= CutLeft;
    if ((byte & ~rightEdge) != 0) sides |= CutRight;
    const unsigned kept = byte & leftEdge & rightEdge;
    if (kept == 0) continue;
    const int shift = target.width - 8 - column;  // where the byte's last bit goes
    value |= shift >= 0 ? kept << shift : kept >> -shift;
  }
  if (value == 0) return sides;
  if (row < target.first) return sides | CutTop;
  if (row >= target.last) return sides | CutBottom;
  target.rows[row] |= static_cast<int32_t>(value);
  return sides;
}

uint8_t Kanji_PlaceGlyph(const GlyphBox& box, const CellPlacement& cell, const uint8_t* lines,
                         int lineCount, const GlyphTarget& target, size_t stride) {
  const int count = Kanji_BoxLineBytes(box.width);
  if (stride == 0) stride = static_cast<size_t>(count);
  const bool plain = Kanji_BoxReadsPlain(box, cell, target.width);
  if (plain && count == 1) return PlaceShortPlainLines<1>(lines, stride, lineCount, target);
  if (plain && count == 2) return PlaceShortPlainLines<2>(lines, stride, lineCount, target);
  if (plain && count == 3) return PlaceShortPlainLines<3>(lines, stride, lineCount, target);
  if (plain && count == 4) return PlaceShortPlainLines<4>(lines, stride, lineCount, target);
  uint8_t sides = 0;
  for (int line = 0; line < lineCount; ++line) {
    const uint8_t* bytes = lines + static_cast<size_t>(line) * stride;
    sides |= plain ? PlacePlainLine(line, bytes, count, target)
                   : Kanji_PlaceBoxLine(box, cell, line, bytes, target);
  }
  return sides;
}

bool Kanji_StartStage(GlyphStage* stage, int size, int givenBaseline) {
  stage->size = size;
  stage->margin = size;
  stage->givenBaseline = givenBaseline;
  stage->slotRows.assign(GlyphSlotCount, nullptr);
  stage->glyphs.reserve(GlyphSlotCount);  // small enough to stay in the heap
  stage->spare.reset(new (std::nothrow) int32_t[static_cast<size_t>(3 * size)]);
  if (stage->spare == nullptr) Kanji_SetError("not enough memory to place glyphs");
  return stage->spare != nullptr;
}

void Kanji_ReserveSlot(GlyphStage* stage, int slot) {
  if (stage->slotRows[slot] != nullptr || stage->outOfMemory) return;
  constexpr size_t kBlockBytes = 64 * 1024;  // below where allocators map memory of its own
  const size_t tall = static_cast<size_t>(stage->size + 2 * stage->margin);
  if (stage->rowsLeft < tall) {
    const size_t rows = std::max(kBlockBytes / sizeof(int32_t), tall);
    std::unique_ptr<int32_t[]> block(new (std::nothrow) int32_t[rows]);
    if (block == nullptr) {
      stage->outOfMemory = true;
      return;
    }
    stage->blocks.push_back(std::move(block));
    stage->rowsLeft = rows;
  }
  stage->rowsLeft -= tall;
  stage->slotRows[slot] = stage->blocks.back().get() + stage->rowsLeft;
}

GlyphTarget Kanji_StageSlot(GlyphStage* stage, FontSet* font, int slot, int width) {
  const int tall = stage->size + 2 * stage->margin;
  Kanji_ReserveSlot(stage, slot);
  int32_t* rows = stage->slotRows[slot] != nullptr ? stage->slotRows[slot] : stage->spare.get();
  std::fill(rows, rows + tall, 0);
  font->glyphs[slot] = rows + stage->margin;
  return GlyphTarget{rows + stage->margin, -stage->margin, stage->size + stage->margin, width};
}

void Kanji_StageGlyph(GlyphStage* stage, int slot, int jis, uint8_t lost) {
  stage->glyphs.push_back(
      StagedGlyph{static_cast<int16_t>(slot), static_cast<uint16_t>(jis), lost, 0, true, 0, -1});
}

void Kanji_StageFallback(GlyphStage* stage, FontSet* font, int codePoint, int slot) {
  const int jis = Kanji_UnicodeFallbackJis(codePoint);
  if (jis < 0 || font->glyphs[slot] == nullptr) return;
  const int fallback = Kanji_JisCodeSlot(jis);
  if (font->glyphs[fallback] != nullptr) return;
  const int tall = stage->size + 2 * stage->margin;
  const int32_t* from = font->glyphs[slot] - stage->margin;
  const GlyphTarget target = Kanji_StageSlot(stage, font, fallback, 0);
  if (target.rows - stage->margin != from)  // both the spare rows when memory ran out
    std::copy(from, from + tall, target.rows - stage->margin);
  for (const StagedGlyph& glyph : stage->glyphs) {
    if (glyph.slot != slot) continue;
    stage->glyphs.push_back(StagedGlyph{static_cast<int16_t>(fallback), static_cast<uint16_t>(jis),
                                        glyph.lost, 0, false, 0, -1});
    break;
  }
}

namespace {

int StageHeight(const GlyphStage& stage) { return stage.size + 2 * stage.margin; }

// A two-byte glyph of the stage's height into the slot of `jis`.
void StageCopy(GlyphStage* stage, FontSet* font, int jis, const int32_t* rows, uint8_t lost,
               FontLoadReport* report) {
  const int slot = Kanji_JisCodeSlot(jis);
  const GlyphTarget target = Kanji_StageSlot(stage, font, slot, stage->size);
  int32_t* staged = target.rows - stage->margin;
  if (staged != rows) std::copy(rows, rows + StageHeight(*stage), staged);
  Kanji_StageGlyph(stage, slot, jis, lost);
  ++report->glyphsLoaded;
}

// In file order, so that the first glyph for a slot wins as elsewhere.
void PlaceHeldGlyphs(GlyphStage* stage, FontSet* font, FontLoadReport* report) {
  for (const HeldGlyph& glyph : stage->held) {
    if (font->glyphs[Kanji_JisCodeSlot(glyph.jis)] != nullptr) {
      ++report->glyphsSkipped;
      continue;
    }
    StageCopy(stage, font, glyph.jis, glyph.rows.data(), glyph.lost, report);
    ++report->glyphsMoved;
  }
  stage->held.clear();
}

}  // namespace

GlyphTarget Kanji_ScratchTarget(GlyphStage* stage, int width) {
  stage->scratch.assign(static_cast<size_t>(StageHeight(*stage)), 0);
  int32_t* rows = stage->scratch.data() + stage->margin;
  return GlyphTarget{rows, -stage->margin, stage->size + stage->margin, width};
}

void Kanji_StageFreeCodeGlyph(GlyphStage* stage, FontSet* font, int jis, uint8_t lost,
                              FontLoadReport* report) {
  const int target = Kanji_FreeCodeTarget(jis);
  const int32_t* rows = stage->scratch.data();
  if (target < 0 || !AnyInk(rows, StageHeight(*stage))) {
    ++report->glyphsSkipped;
  } else if (target != jis) {
    const int slot = Kanji_JisCodeSlot(target);
    if (stage->heldSlots.empty()) stage->heldSlots.resize(GlyphSlotCount);
    if (stage->heldSlots[slot]) {
      ++report->glyphsSkipped;
      return;
    }
    stage->heldSlots[slot] = true;
    stage->held.push_back(HeldGlyph{target, lost, stage->scratch});
  } else if (font->glyphs[Kanji_JisCodeSlot(jis)] == nullptr) {
    StageCopy(stage, font, jis, rows, lost, report);
  }
}

bool Kanji_CommitStage(GlyphStage* stage, FontSet* font, FontLoadReport* report) {
  if (!stage->outOfMemory) PlaceHeldGlyphs(stage, font, report);
  if (stage->outOfMemory) {  // the load fails whole: no slot keeps a staged glyph
    for (const StagedGlyph& glyph : stage->glyphs) font->glyphs[glyph.slot] = nullptr;
    Kanji_SetError("not enough memory to place glyphs");
    return false;
  }
  FindEdges(stage);
  const int shift = ChooseShift(stage);
  for (const StagedGlyph& glyph : stage->glyphs) {
    const int32_t* staged = stage->slotRows[glyph.slot];
    int32_t* rows =
        font->rowPool + static_cast<size_t>(glyph.slot) * static_cast<size_t>(font->size);
    std::copy(staged + stage->margin - shift, staged + stage->margin - shift + font->size, rows);
    font->glyphs[glyph.slot] = rows;
    CountCut(glyph, shift == 0 ? glyph.lost | glyph.edges : SidesAfter(glyph, shift, stage->size),
             report);
  }
  report->baselineGiven = stage->givenBaseline >= 0;
  report->baseline = stage->givenBaseline >= 0 ? stage->givenBaseline
                     : stage->baseline >= 0    ? stage->baseline + shift
                                               : -1;
  report->fitShift = shift;
  report->fitted = shift != 0;
  return true;
}

int Kanji_LeastVerticalCut(GlyphStage* stage, int size, int* considered) {
  FindInk(stage);
  const bool twoByteOnly = TwoByteOnly(*stage);
  *considered = 0;
  for (const StagedGlyph& glyph : stage->glyphs) *considered += Considered(glyph, twoByteOnly);
  int leastCut;
  BestShift(*stage, size, twoByteOnly, &leastCut);
  return leastCut;
}

int Kanji_XlfdPixelSize(const char* name) {
  if (name == nullptr || name[0] != '-') return 0;
  int dashes = 0;
  for (const char* p = name; *p != '\0' && *p != '\n'; ++p) {
    if (*p == '-' && ++dashes == 7) {
      const int size = Kanji_ParseDecimal(p + 1);
      return p[1] >= '0' && p[1] <= '9' && size > 0 ? size : 0;
    }
  }
  return 0;
}
