#include "output.h"

bool WriteBmp(const GlyphSheet&, const char*) { return false; }
bool ReadBmp(GlyphSheet&, const char*) { return false; }
