#include "output.h"

#include <cerrno>

// Placeholder until the image writers land: writes nothing.
std::vector<uint8_t> tgaBytes;

bool WriteTga(const GlyphSheet&, const char*) { return true; }
void EncodeTgaRow(const SheetPixel*, int) {}
void PutTgaRunPacket(std::vector<SheetPixel>& runList) { runList.clear(); }
void PutTgaRawPacket(std::vector<SheetPixel>& literalList) { literalList.clear(); }
bool ReadTga(GlyphSheet&, const char*) { return false; }
