// SPDX-License-Identifier: MIT
// The floor for converting an outline font: FreeType alone, on one thread,
// rendering every character that has a slot at the cell size, as tavrest
// renders them, and nothing else. bench.sh sets tavrest's instructions
// beside these.
#include "kanji.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: freetype_floor FONT SIZE\n");
    return 2;
  }
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, argv[1], 0, &face) != 0 ||
      FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(atoi(argv[2]))) != 0 ||
      FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0)
    return 1;
  long inked = 0;
  FT_UInt index = 0;
  for (FT_ULong code = FT_Get_First_Char(face, &index); index != 0;
       code = FT_Get_Next_Char(face, code, &index)) {
    if (code > 0x10FFFF || Kanji_UnicodeToJis(static_cast<int>(code)) < 0) continue;
    if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0)
      inked += face->glyph->bitmap.rows;
  }
  printf("%ld rows\n", inked);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return 0;
}
