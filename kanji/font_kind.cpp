// SPDX-License-Identifier: MIT
// Telling font formats apart by their first bytes, never by the file's name.
#include "kanji_internal.h"

#include <algorithm>
#include <cstring>

namespace {

bool StartsWith(const unsigned char* bytes, size_t length, const char* magic, size_t magicLength) {
  return length >= magicLength && memcmp(bytes, magic, magicLength) == 0;
}

// BDF is text: the control characters of binary data never occur in it.
bool LooksLikeText(const unsigned char* bytes, size_t length) {
  const size_t checked = std::min<size_t>(length, 4096);
  for (size_t i = 0; i < checked; ++i) {
    const unsigned char c = bytes[i];
    if (c < 0x20 && !(c >= '\t' && c <= '\r') && c != 0x1B) return false;
  }
  return true;
}

}  // namespace

FontFileKind Kanji_FileKindOf(const unsigned char* bytes, size_t length, bool gzip) {
  if (StartsWith(bytes, length, "\1fcp", 4)) return gzip ? FontFilePcfGzip : FontFilePcf;
  // FreeType undoes gzip for PCF only; an sfnt in gzip is no font it reads.
  if (!gzip) {
    if (StartsWith(bytes, length, "\0\1\0\0", 4) || StartsWith(bytes, length, "true", 4))
      return FontFileTrueType;
    if (StartsWith(bytes, length, "OTTO", 4)) return FontFileOpenTypeCff;
    if (StartsWith(bytes, length, "ttcf", 4)) return FontFileCollection;
    if (StartsWith(bytes, length, "wOFF", 4)) return FontFileWoff;
    if (StartsWith(bytes, length, "wOF2", 4)) return FontFileWoff2;
  }
  if (LooksLikeText(bytes, length)) return gzip ? FontFileBdfGzip : FontFileBdf;
  return FontFileUnknown;
}
