// SPDX-License-Identifier: MIT
// Shared check of the image readers: a refused file leaves the sheet as it
// was; an accepted one gives a consistent sheet that writes and reads back
// to the same pixels.
#pragma once

#include "output.h"

#include <cstdlib>

using SheetReader = bool (*)(GlyphSheet&, const char*);
using SheetWriter = bool (*)(const GlyphSheet&, const char*);

inline void CheckImageReader(const char* path, SheetReader read, SheetWriter write,
                             const char* copyPath) {
  GlyphSheet sheet{2, 1, {{1, 2, 3, 4}, {5, 6, 7, 8}}};
  const GlyphSheet before = sheet;
  if (!read(sheet, path)) {
    if (sheet.width != before.width || sheet.height != before.height ||
        sheet.pixels != before.pixels)
      abort();
    return;
  }
  if (sheet.width <= 0 || sheet.height <= 0 ||
      sheet.pixels.size() != static_cast<size_t>(sheet.width) * static_cast<size_t>(sheet.height))
    abort();
  if (sheet.pixels.size() > 4096) return;
  if (!write(sheet, copyPath)) abort();
  GlyphSheet again{0, 0, {}};
  if (!read(again, copyPath)) abort();
  if (again.width != sheet.width || again.height != sheet.height || again.pixels != sheet.pixels)
    abort();
}
