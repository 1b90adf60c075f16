// Ink masks as PNG through libpng's simplified writer, into a temporary file
// that replaces the target only when complete.
#include "kanji.h"
#include "output.h"
#include "viewer.h"

#include <png.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr uint8_t kInkGrey = 0;
constexpr uint8_t kPaperGrey = 255;

// Grey, or grey and alpha: transparent paper is white at alpha 0, so a
// program that ignores alpha still shows black on white.
bool PngPixels(const InkMask& mask, bool whiteBackground, std::vector<uint8_t>& pixels) {
  const size_t channels = whiteBackground ? 1 : 2;
  try {
    pixels.resize(mask.ink.size() * channels);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  for (size_t i = 0; i < mask.ink.size(); ++i) {
    pixels[i * channels] = mask.ink[i] ? kInkGrey : kPaperGrey;
    if (!whiteBackground) pixels[i * channels + 1] = mask.ink[i] ? 255 : 0;
  }
  return true;
}

}  // namespace

bool WriteInkPng(const InkMask& mask, bool whiteBackground, const char* path) {
  std::vector<uint8_t> pixels;
  if (!PngPixels(mask, whiteBackground, pixels)) return false;
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(mask.width);
  image.height = static_cast<png_uint_32>(mask.height);
  image.format = whiteBackground ? PNG_FORMAT_GRAY : PNG_FORMAT_GA;
  AtomicFile file;
  if (!AtomicFileOpen(file, path)) return false;
  errno = 0;
  if (png_image_write_to_stdio(&image, file.stream, 0, pixels.data(), 0, nullptr) == 0) {
    if (errno == 0) errno = EIO;  // libpng's own failure, not the system's
    AtomicFileAbort(file);
    return false;
  }
  return AtomicFileCommit(file);
}
