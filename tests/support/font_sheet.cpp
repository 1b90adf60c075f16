// SPDX-License-Identifier: MIT
#include "font_sheet.h"

#include "kanji.h"

bool MakeFontSheet(GlyphSheet& sheet, const std::string& mainFont, const std::string& secondFont,
                   int size) {
  FontSet* font = Kanji_CreateFontSet(mainFont.c_str(), size);
  if (font == nullptr) return false;
  Kanji_LoadBdf(font, secondFont.c_str());
  bool made = CreateGlyphSheet(sheet, size);
  for (int slot = 0; made && slot < GlyphSlotCount; ++slot) {
    SDL_Surface* surface = RenderGlyphSlot(*font, slot);
    if (surface == nullptr) continue;
    CopyToSheetCell(sheet, surface, size, slot);
    SDL_FreeSurface(surface);
  }
  Kanji_DestroyFontSet(font);
  return made;
}
