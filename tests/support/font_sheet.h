// SPDX-License-Identifier: MIT
// Sheets made from fonts the way a run makes them, for the tests that may
// use the font library and the sheet together.
#pragma once

#include "sheet.h"

#include <string>

// The sheet a run makes from the two fonts (paths) at `size`; false when the
// main font cannot be loaded or the sheet cannot be made.
bool MakeFontSheet(GlyphSheet& sheet, const std::string& mainFont, const std::string& secondFont,
                   int size);
