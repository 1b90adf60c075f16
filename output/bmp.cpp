// BMP image of the glyph sheet: uncompressed 24-bit, and its reader
// (layout in output.h).
#include "output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr size_t kBmpHeaderSize = 54;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint16_t kDepth = 24;
constexpr size_t kBlockBytes = size_t{1} << 18;  // file reads and writes go in blocks of rows

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

// Rows are padded to whole 4-byte words.
uint64_t BmpRowBytes(uint64_t width) { return (width * 3 + 3) & ~uint64_t{3}; }

void FillBmpHeader(uint8_t (&h)[kBmpHeaderSize], const GlyphSheet& sheet, uint32_t fileSize) {
  memset(h, 0, sizeof h);
  h[0] = 'B';
  h[1] = 'M';
  Put32(h + 2, fileSize);
  Put32(h + 10, kBmpHeaderSize);
  Put32(h + 14, kInfoHeaderSize);
  Put32(h + 18, static_cast<uint32_t>(sheet.width));
  Put32(h + 22, static_cast<uint32_t>(sheet.height));
  Put16(h + 26, 1);
  Put16(h + 28, kDepth);
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

bool WriteBmp(const GlyphSheet& sheet, const char* path) {
  if (!SheetWritable(sheet)) return false;
  const uint64_t rowBytes = BmpRowBytes(static_cast<uint64_t>(sheet.width));
  const uint64_t fileSize = kBmpHeaderSize + rowBytes * static_cast<uint64_t>(sheet.height);
  if (fileSize > UINT32_MAX) {  // the file-size field holds 32 bits
    errno = EOVERFLOW;
    return false;
  }
  uint8_t header[kBmpHeaderSize];
  FillBmpHeader(header, sheet, static_cast<uint32_t>(fileSize));
  std::vector<uint8_t> block;
  try {
    block.resize(RowsPerBlock(rowBytes) * rowBytes);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  AtomicFile file;
  if (!AtomicFileOpen(file, path)) return false;
  AtomicFileWrite(file, header, sizeof header);
  WriteBmpRows(file, sheet, block, static_cast<size_t>(rowBytes));
  return AtomicFileCommit(file);
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
bool CheckBmpHeader(const uint8_t (&h)[kBmpHeaderSize], int64_t fileLength, BmpLayout& layout) {
  if (h[0] != 'B' || h[1] != 'M') return false;
  const uint32_t dataOffset = Get32(h + 10);
  const uint32_t infoSize = Get32(h + 14);
  const int64_t width = static_cast<int32_t>(Get32(h + 18));
  const int64_t signedHeight = static_cast<int32_t>(Get32(h + 22));
  if (infoSize < kInfoHeaderSize) return false;  // the older 12-byte header differs
  if (uint64_t{dataOffset} < 14 + uint64_t{infoSize}) return false;
  if (Get16(h + 28) != kDepth || Get32(h + 30) != 0) return false;
  const int64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
  if (width <= 0 || height <= 0 || height > INT32_MAX) return false;
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > MaxImagePixels) return false;
  const uint64_t rowBytes = BmpRowBytes(static_cast<uint64_t>(width));
  if (fileLength >= 0 &&
      static_cast<uint64_t>(fileLength) < dataOffset + rowBytes * static_cast<uint64_t>(height))
    return false;
  layout = BmpLayout{dataOffset, static_cast<int32_t>(width), static_cast<int32_t>(height),
                     signedHeight < 0, static_cast<size_t>(rowBytes)};
  return true;
}

void TakeBmpRow(SheetPixel* out, const uint8_t* in, int32_t width) {
  for (int32_t c = 0; c < width; ++c, in += 3) out[c] = SheetPixel{in[2], in[1], in[0], 255};
}

bool ReadBmpRows(FILE* file, const BmpLayout& layout, std::vector<uint8_t>& block,
                 SheetPixels& pixels) {
  if (fseek(file, static_cast<long>(layout.dataOffset), SEEK_SET) != 0) return false;
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

bool ReadBmpFile(FILE* file, GlyphSheet& sheet) {
  uint8_t header[kBmpHeaderSize];
  BmpLayout layout;
  if (fread(header, 1, sizeof header, file) != sizeof header ||
      !CheckBmpHeader(header, KnownFileLength(file), layout))
    return false;
  SheetPixels pixels;
  std::vector<uint8_t> block;
  try {  // the one place the new sheet is sized; the cap bounds it
    pixels.resize(static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height));
    block.resize(RowsPerBlock(layout.rowBytes) * layout.rowBytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!ReadBmpRows(file, layout, block, pixels)) return false;
  sheet.width = layout.width;
  sheet.height = layout.height;
  sheet.pixels.swap(pixels);
  return true;
}

}  // namespace

bool ReadBmp(GlyphSheet& sheet, const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  const bool read = ReadBmpFile(file, sheet);
  fclose(file);
  return read;
}
