// SPDX-License-Identifier: MIT
// Ink masks as PNG through libpng, a row at a time so that an enlarged
// picture costs one enlarged row of memory, into a temporary file that
// replaces the target only when complete.
#include "kanji.h"
#include "output.h"
#include "viewer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <new>

namespace {

constexpr uint8_t kInkGrey = 0;
constexpr uint8_t kPaperGrey = 255;
// PNG's own limit on either side; libpng's default for writers is lower.
constexpr png_uint_32 kPngMaxSide = 0x7FFFFFFF;

struct PngJob {
  const InkMask* mask;
  bool whiteBackground;
  int scale;
  std::vector<uint8_t> row;  // one enlarged row: grey, or grey and alpha
};

// libpng's failures end the write without a message of libpng's own.
void PngFailed(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarned(png_structp, png_const_charp) {}

// Grey, or grey and alpha: transparent paper is white at alpha 0, so a
// program that ignores alpha still shows black on white.
void FillRow(PngJob& job, int y) {
  const InkMask& mask = *job.mask;
  const size_t channels = job.whiteBackground ? 1 : 2;
  const uint8_t* ink = &mask.ink[static_cast<size_t>(y) * static_cast<size_t>(mask.width)];
  const size_t width = static_cast<size_t>(mask.width) * static_cast<size_t>(job.scale);
  for (size_t x = 0; x < width; ++x) {
    const bool inked = ink[x / static_cast<size_t>(job.scale)] != 0;
    job.row[x * channels] = inked ? kInkGrey : kPaperGrey;
    if (channels == 2) job.row[x * channels + 1] = inked ? 255 : 0;
  }
}

void PutRows(png_structp png, png_infop info, PngJob& job) {
  const InkMask& mask = *job.mask;
  const auto scale = static_cast<png_uint_32>(job.scale);
  png_set_user_limits(png, kPngMaxSide, kPngMaxSide);
  png_set_IHDR(png, info, static_cast<png_uint_32>(mask.width) * scale,
               static_cast<png_uint_32>(mask.height) * scale, 8,
               job.whiteBackground ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_GRAY_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  png_write_info(png, info);
  for (int y = 0; y < mask.height; ++y) {
    FillRow(job, y);
    for (int copy = 0; copy < job.scale; ++copy) png_write_row(png, job.row.data());
  }
  png_write_end(png, info);
}

// No object with a destructor lives here, since libpng's failures longjmp.
bool PutPng(FILE* stream, void* context) {
  PngJob& job = *static_cast<PngJob*>(context);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFailed, PngWarned);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    errno = ENOMEM;
    return false;
  }
  errno = 0;
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    if (errno == 0) errno = EIO;  // libpng's own failure, not the system's
    return false;
  }
  png_init_io(png, stream);
  PutRows(png, info, job);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WriteInkPng(const InkMask& mask, bool whiteBackground, int scale, const char* path) {
  const uint64_t width = static_cast<uint64_t>(mask.width) * static_cast<uint64_t>(scale);
  const uint64_t height = static_cast<uint64_t>(mask.height) * static_cast<uint64_t>(scale);
  if (scale < 1 || width == 0 || height == 0) {
    errno = EINVAL;
    return false;
  }
  if (width > kPngMaxSide || height > kPngMaxSide) {
    errno = EOVERFLOW;
    return false;
  }
  PngJob job{&mask, whiteBackground, scale, {}};
  try {
    job.row.resize(static_cast<size_t>(width) * (whiteBackground ? 1 : 2));
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  return WriteFileThrough(path, PutPng, &job);
}
