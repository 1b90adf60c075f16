// SPDX-License-Identifier: MIT
// What the file formats share: header fields, the first checks of a sheet
// to write, and opening a file to read.
#include "output_internal.h"
#include "platform.h"

#include <cerrno>

// The file formats are plain data: they must build without the font
// library's headers or SDL's, which sheet.h only names.
#if __has_include("kanji.h") || __has_include(<SDL.h>)
#error "output/ must build without the font library or SDL on its include path"
#endif

void Put16(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* out, uint32_t value) {
  Put16(out, value);
  Put16(out + 2, value >> 16);
}

uint32_t Get16(const uint8_t* in) { return in[0] | static_cast<uint32_t>(in[1]) << 8; }
uint32_t Get32(const uint8_t* in) { return Get16(in) | Get16(in + 2) << 16; }

bool ImageSheetValid(const GlyphSheet& sheet) {
  return sheet.width > 0 && sheet.height > 0 &&
         sheet.pixels.size() ==
             static_cast<uint64_t>(sheet.width) * static_cast<uint64_t>(sheet.height);
}

bool SheetWritable(const GlyphSheet& sheet) {
  if (!sheet.pixels.empty() && ImageSheetValid(sheet)) return true;
  errno = sheet.pixels.empty() ? 0 : EINVAL;
  return false;
}

int64_t KnownFileLength(FILE* file) {
  FileFacts facts;
  if (!FactsOfStream(file, facts) || facts.kind != FileKind::Regular) return -1;
  return facts.size;
}

bool ReadImageFile(GlyphSheet& sheet, const char* path, ImageRefusal& why,
                   ImageRefusal (*read)(FILE* file, GlyphSheet& sheet)) {
  FILE* file = OpenStream(path, "rb");
  if (file == nullptr) {
    why = ImageRefusal::CannotOpen;
    return false;
  }
  why = read(file, sheet);
  // The format readers see a short read either way; only the stream knows
  // whether the file ended or reading it failed.
  if (why == ImageRefusal::Truncated && ferror(file)) why = ImageRefusal::ReadFailed;
  fclose(file);
  return why == ImageRefusal::None;
}

const char* ImageRefusalText(ImageRefusal why) {
  switch (why) {
    case ImageRefusal::None:
      return "no refusal";
    case ImageRefusal::CannotOpen:
      return "cannot open the file";
    case ImageRefusal::Truncated:
      return "file ends early";
    case ImageRefusal::ReadFailed:
      return "read error";
    case ImageRefusal::ShorterThanClaimed:
      return "file shorter than its header claims";
    case ImageRefusal::Signature:
      return "not a BMP file";
    case ImageRefusal::InfoHeader:
      return "unsupported BMP header";
    case ImageRefusal::DataOffset:
      return "pixel data inside the header";
    case ImageRefusal::ColourMapped:
      return "colour-mapped image";
    case ImageRefusal::ImageType:
      return "not a true-colour image";
    case ImageRefusal::Depth:
      return "unsupported bits per pixel";
    case ImageRefusal::Compression:
      return "compressed BMP";
    case ImageRefusal::InvalidSize:
      return "invalid width or height";
    case ImageRefusal::TooManyPixels:
      return "image too large";
    case ImageRefusal::PacketPastRow:
      return "packet runs past its row";
    case ImageRefusal::OutOfMemory:
      return "out of memory";
  }
  return "unknown refusal";
}
