// SPDX-License-Identifier: MIT
// BMP image of the glyph sheet: uncompressed 24-bit, and its reader
// (layout in output.h).
#include "output_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

// Header fields: where the writer puts them is where the reader looks.
namespace bmp {
constexpr size_t kSignature = 0;
constexpr size_t kFileSize = 2;
constexpr size_t kDataOffset = 10;
constexpr size_t kInfoHeader = 14;  // the info header starts with its own size
constexpr size_t kWidth = 18;
constexpr size_t kHeight = 22;
constexpr size_t kPlanes = 26;
constexpr size_t kDepth = 28;
constexpr size_t kCompression = 30;
constexpr size_t kHeaderSize = 54;
}  // namespace bmp

constexpr uint32_t kInfoHeaderSize = bmp::kHeaderSize - bmp::kInfoHeader;  // 40
constexpr uint16_t kBitsPerPixel = 24;
constexpr size_t kBlockBytes = size_t{1} << 18;  // file reads and writes go in blocks of rows

// Rows are padded to whole 4-byte words.
uint64_t BmpRowBytes(uint64_t width) { return (width * 3 + 3) & ~uint64_t{3}; }

void FillBmpHeader(uint8_t (&h)[bmp::kHeaderSize], const GlyphSheet& sheet, uint32_t fileSize) {
  memset(h, 0, sizeof h);
  h[bmp::kSignature] = 'B';
  h[bmp::kSignature + 1] = 'M';
  Put32(h + bmp::kFileSize, fileSize);
  Put32(h + bmp::kDataOffset, bmp::kHeaderSize);
  Put32(h + bmp::kInfoHeader, kInfoHeaderSize);
  Put32(h + bmp::kWidth, static_cast<uint32_t>(sheet.width));
  Put32(h + bmp::kHeight, static_cast<uint32_t>(sheet.height));
  Put16(h + bmp::kPlanes, 1);
  Put16(h + bmp::kDepth, kBitsPerPixel);
}

size_t RowsPerBlock(uint64_t rowBytes) {
  return static_cast<size_t>(std::max<uint64_t>(1, kBlockBytes / rowBytes));
}

void PutBmpRow(uint8_t* out, const SheetPixel* row, int32_t width) {
  for (int32_t c = 0; c < width; ++c, out += 3) {
    out[0] = row[c].b;
    out[1] = row[c].g;
    out[2] = row[c].r;
  }
}

// Writes the rows bottom row first, a block of rows at a time; the padding
// bytes of `block` stay zero.
void WriteBmpRows(AtomicFile& file, const GlyphSheet& sheet, std::vector<uint8_t>& block,
                  size_t rowBytes) {
  const size_t rowsPerBlock = block.size() / rowBytes;
  int32_t r = sheet.height - 1;
  while (r >= 0) {
    size_t rows = 0;
    for (; rows < rowsPerBlock && r >= 0; ++rows, --r)
      PutBmpRow(block.data() + rows * rowBytes,
                &sheet.pixels[static_cast<size_t>(r) * static_cast<size_t>(sheet.width)],
                sheet.width);
    if (!AtomicFileWrite(file, block.data(), rows * rowBytes)) return;
  }
}

}  // namespace

namespace {

bool WriteBmpFile(const GlyphSheet& sheet, const char* path, FileBatch* batch) {
  if (!SheetWritable(sheet)) return false;
  const uint64_t rowBytes = BmpRowBytes(static_cast<uint64_t>(sheet.width));
  const uint64_t fileSize = bmp::kHeaderSize + rowBytes * static_cast<uint64_t>(sheet.height);
  if (fileSize > UINT32_MAX) {  // the file-size field holds 32 bits
    errno = EOVERFLOW;
    return false;
  }
  uint8_t header[bmp::kHeaderSize];
  FillBmpHeader(header, sheet, static_cast<uint32_t>(fileSize));
  std::vector<uint8_t> block;
  try {
    block.resize(RowsPerBlock(rowBytes) * rowBytes);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  AtomicFile file;
  if (!AtomicFileOpenInto(file, path, batch)) return false;
  AtomicFileWrite(file, header, sizeof header);
  WriteBmpRows(file, sheet, block, static_cast<size_t>(rowBytes));
  return AtomicFileCommit(file);
}

}  // namespace

bool WriteBmp(const GlyphSheet& sheet, const char* path) {
  return WriteBmpFile(sheet, path, nullptr);
}

bool WriteBmp(const GlyphSheet& sheet, const char* path, FileBatch& batch) {
  return WriteBmpFile(sheet, path, &batch);
}

// ---- Reader ---------------------------------------------------------------

namespace {

struct BmpLayout {
  uint32_t dataOffset;
  int32_t width;
  int32_t height;  // always positive
  bool topFirst;
  size_t rowBytes;
};

// Every header field is checked here, before anything is allocated. The
// file must also hold every row the header promises.
ImageRefusal CheckBmpHeader(const uint8_t (&h)[bmp::kHeaderSize], int64_t fileLength,
                            BmpLayout& layout) {
  if (h[bmp::kSignature] != 'B' || h[bmp::kSignature + 1] != 'M') return ImageRefusal::Signature;
  const uint32_t dataOffset = Get32(h + bmp::kDataOffset);
  const uint32_t infoSize = Get32(h + bmp::kInfoHeader);
  const int64_t width = static_cast<int32_t>(Get32(h + bmp::kWidth));
  const int64_t signedHeight = static_cast<int32_t>(Get32(h + bmp::kHeight));
  if (infoSize < kInfoHeaderSize) return ImageRefusal::InfoHeader;  // the older 12-byte one differs
  if (uint64_t{dataOffset} < bmp::kInfoHeader + uint64_t{infoSize}) return ImageRefusal::DataOffset;
  if (Get16(h + bmp::kDepth) != kBitsPerPixel) return ImageRefusal::Depth;
  if (Get32(h + bmp::kCompression) != 0) return ImageRefusal::Compression;
  const int64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
  if (width <= 0 || height <= 0 || height > INT32_MAX) return ImageRefusal::InvalidSize;
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > MaxImagePixels)
    return ImageRefusal::TooManyPixels;
  const uint64_t rowBytes = BmpRowBytes(static_cast<uint64_t>(width));
  if (fileLength >= 0 &&
      static_cast<uint64_t>(fileLength) < dataOffset + rowBytes * static_cast<uint64_t>(height))
    return ImageRefusal::ShorterThanClaimed;
  layout = BmpLayout{dataOffset, static_cast<int32_t>(width), static_cast<int32_t>(height),
                     signedHeight < 0, static_cast<size_t>(rowBytes)};
  return ImageRefusal::None;
}

void TakeBmpRow(SheetPixel* out, const uint8_t* in, int32_t width) {
  for (int32_t c = 0; c < width; ++c, in += 3) out[c] = SheetPixel{in[2], in[1], in[0], 255};
}

// Pipes cannot seek, so bytes are skipped by reading them.
bool SkipBytes(FILE* file, uint64_t count, std::vector<uint8_t>& scratch) {
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, scratch.size()));
    if (fread(scratch.data(), 1, n, file) != n) return false;
    count -= n;
  }
  return true;
}

// Reads from just past the header to the last row.
bool ReadBmpRows(FILE* file, const BmpLayout& layout, std::vector<uint8_t>& block,
                 SheetPixels& pixels) {
  if (!SkipBytes(file, layout.dataOffset - bmp::kHeaderSize, block)) return false;
  const size_t rowsPerBlock = block.size() / layout.rowBytes;
  int32_t k = 0;  // rows in file order
  while (k < layout.height) {
    const size_t rows = std::min(rowsPerBlock, static_cast<size_t>(layout.height - k));
    if (fread(block.data(), layout.rowBytes, rows, file) != rows) return false;
    for (size_t i = 0; i < rows; ++i, ++k) {
      const int32_t y = layout.topFirst ? k : layout.height - 1 - k;
      TakeBmpRow(&pixels[static_cast<size_t>(y) * static_cast<size_t>(layout.width)],
                 block.data() + i * layout.rowBytes, layout.width);
    }
  }
  return true;
}

ImageRefusal ReadBmpFile(FILE* file, GlyphSheet& sheet) {
  uint8_t header[bmp::kHeaderSize];
  if (fread(header, 1, sizeof header, file) != sizeof header) return ImageRefusal::Truncated;
  BmpLayout layout;
  const ImageRefusal refusal = CheckBmpHeader(header, KnownFileLength(file), layout);
  if (refusal != ImageRefusal::None) return refusal;
  SheetPixels pixels;  // the cap bounds it
  std::vector<uint8_t> block;
  try {
    block.resize(RowsPerBlock(layout.rowBytes) * layout.rowBytes);
  } catch (const std::bad_alloc&) {
    return ImageRefusal::OutOfMemory;
  }
  if (!ResizeSheetPixels(pixels,
                         static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height)))
    return ImageRefusal::OutOfMemory;
  if (!ReadBmpRows(file, layout, block, pixels)) return ImageRefusal::Truncated;
  sheet.width = layout.width;
  sheet.height = layout.height;
  sheet.pixels.swap(pixels);
  sheet.filledCells.clear();
  return ImageRefusal::None;
}

}  // namespace

bool ReadBmp(GlyphSheet& sheet, const char* path, ImageRefusal& why) {
  return ReadImageFile(sheet, path, why, ReadBmpFile);
}

bool ReadBmp(GlyphSheet& sheet, const char* path) {
  ImageRefusal why;
  return ReadBmp(sheet, path, why);
}
