// Packed glyph file: qpk codes it, this writes it whole.
#include "output_internal.h"

#include <cerrno>

bool WritePackedGlyphs(const PackedGlyphs& packed, const char* path) {
  if (packed.bytes.empty()) {
    errno = 0;
    return false;
  }
  std::vector<uint8_t> file;
  if (!EncodePackedFile(packed.cellSize, packed.bytes, file)) return false;
  return WriteWholeFile(path, file.data(), file.size(), nullptr, 0);
}
