// SPDX-License-Identifier: MIT
/* Draws a line of text across and the same line down a window, with a font
 * read from a packed glyph file (tavrest.qpk).
 *
 *   qpk_text FONT.qpk [--save SCREEN.bmp]
 *
 * With --save it writes the window's picture as BMP and ends; otherwise it
 * shows the window for three seconds. SDL_VIDEODRIVER=dummy runs it without
 * a display. */
#include "kanji.h"

#include <SDL.h>

#include <stdio.h>
#include <string.h>

enum { WindowWidth = 320, WindowHeight = 240, Margin = 8 };

/* "tavrest 日本語の文字。" in JIS: ESC $ B starts the two-byte codes, ESC ( B
 * ends them. Vertical drawing takes only the two-byte characters. */
static const char text[] =
    "tavrest \x1b$B"
    "F|K\\8l$NJ8;z!#"
    "\x1b(B";

static int Draw(FontSet* font, SDL_Surface* screen) {
  SDL_Color black = {0, 0, 0, 0};
  if (SDL_FillRect(screen, NULL, SDL_MapRGB(screen->format, 255, 255, 255)) != 0) return -1;
  Kanji_SetEncoding(font, EncodingJis);
  Kanji_DrawText(font, Margin, Margin, screen, text, black);
  Kanji_DrawTextVertical(font, Margin, 2 * Margin + Kanji_CellSize(font), screen, text, black);
  SDL_UpdateRect(screen, 0, 0, 0, 0);
  return 0;
}

int main(int argc, char** argv) {
  const char* savePath = NULL;
  FontSet* font;
  SDL_Surface* screen;
  int status = 0;
  if (argc == 4 && strcmp(argv[2], "--save") == 0) {
    savePath = argv[3];
  } else if (argc != 2) {
    fprintf(stderr, "usage: %s FONT.qpk [--save SCREEN.bmp]\n", argv[0]);
    return 2;
  }
  font = Kanji_CreateFontSetFromPacked(argv[1]); /* says why when it fails */
  if (font == NULL) return 1;
  if (SDL_Init(SDL_INIT_VIDEO) < 0) {
    fprintf(stderr, "SDL cannot start: %s\n", SDL_GetError());
    Kanji_DestroyFontSet(font);
    return 1;
  }
  screen = SDL_SetVideoMode(WindowWidth, WindowHeight, 32, SDL_SWSURFACE);
  if (screen == NULL || Draw(font, screen) != 0) {
    fprintf(stderr, "cannot draw in a window: %s\n", SDL_GetError());
    status = 1;
  } else if (savePath != NULL) {
    if (SDL_SaveBMP(screen, savePath) != 0) {
      fprintf(stderr, "cannot save %s: %s\n", savePath, SDL_GetError());
      status = 1;
    }
  } else {
    SDL_Delay(3000);
  }
  SDL_Quit();
  Kanji_DestroyFontSet(font);
  return status;
}
