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

struct PngJob {
  png_image image;
  const std::vector<uint8_t>* pixels;
};

bool PutPng(FILE* stream, void* context) {
  PngJob& job = *static_cast<PngJob*>(context);
  errno = 0;
  if (png_image_write_to_stdio(&job.image, stream, 0, job.pixels->data(), 0, nullptr) != 0)
    return true;
  if (errno == 0) errno = EIO;  // libpng's own failure, not the system's
  return false;
}

}  // namespace

bool WriteInkPng(const InkMask& mask, bool whiteBackground, const char* path) {
  std::vector<uint8_t> pixels;
  if (!PngPixels(mask, whiteBackground, pixels)) return false;
  PngJob job;
  memset(&job.image, 0, sizeof job.image);
  job.image.version = PNG_IMAGE_VERSION;
  job.image.width = static_cast<png_uint_32>(mask.width);
  job.image.height = static_cast<png_uint_32>(mask.height);
  job.image.format = whiteBackground ? PNG_FORMAT_GRAY : PNG_FORMAT_GA;
  job.pixels = &pixels;
  return WriteFileThrough(path, PutPng, &job);
}
