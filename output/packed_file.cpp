// SPDX-License-Identifier: MIT
// Packed glyph file: qpk codes it, this writes it whole.
#include "output_internal.h"

#include <cerrno>

namespace {

bool WritePackedFile(const PackedGlyphs& packed, const char* path, FileBatch* batch) {
  if (packed.bytes.empty()) {
    errno = 0;
    return false;
  }
  std::vector<uint8_t> file;
  if (!EncodePackedFile(packed.cellSize, packed.bytes, file)) return false;
  return WriteWholeFile(path, file.data(), file.size(), nullptr, 0, batch);
}

}  // namespace

bool WritePackedGlyphs(const PackedGlyphs& packed, const char* path) {
  return WritePackedFile(packed, path, nullptr);
}

bool WritePackedGlyphs(const PackedGlyphs& packed, const char* path, FileBatch& batch) {
  return WritePackedFile(packed, path, &batch);
}
