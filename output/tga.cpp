// TGA image of the glyph sheet: run-length coded 32-bit true colour, and its
// reader (layout in output.h). Also the helpers both image formats share.
#include "output.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

std::vector<uint8_t> tgaBytes;

static_assert(sizeof(SheetPixel) == 4, "pixels are copied as 4-byte blocks");

namespace {

constexpr size_t kTgaHeaderSize = 18;
constexpr size_t kFlushBytes = size_t{1} << 18;
constexpr int kMaxRunPixels = 122;
constexpr int kMaxRawPixels = 121;
constexpr int kMaxPacketPixels = 128;  // what the format allows; the reader takes it
constexpr uint8_t kTypeTrueColour = 2;
constexpr uint8_t kTypeRunLength = 10;
constexpr uint8_t kDepth = 32;
constexpr uint8_t kDescriptorAlphaBits = 8;
constexpr uint8_t kDescriptorRightToLeft = 0x10;
constexpr uint8_t kDescriptorTopFirst = 0x20;

uint32_t PixelBits(const SheetPixel& p) {
  uint32_t bits;
  memcpy(&bits, &p, sizeof bits);
  return bits;
}

void PutFilePixel(uint8_t* out, const SheetPixel& p) {
  out[0] = p.b;
  out[1] = p.g;
  out[2] = p.r;
  out[3] = p.a;
}

void FillTgaHeader(uint8_t (&header)[kTgaHeaderSize], int32_t width, int32_t height) {
  memset(header, 0, sizeof header);
  header[2] = kTypeRunLength;
  header[12] = static_cast<uint8_t>(width);
  header[13] = static_cast<uint8_t>(width >> 8);
  header[14] = static_cast<uint8_t>(height);
  header[15] = static_cast<uint8_t>(height >> 8);
  header[16] = kDepth;
  header[17] = kDescriptorAlphaBits;
}

// Codes the rows, bottom row first, into tgaBytes and hands it to the file
// a block at a time.
bool WriteTgaRows(AtomicFile& file, const GlyphSheet& sheet) {
  try {
    for (int32_t r = sheet.height - 1; r >= 0; --r) {
      EncodeTgaRow(&sheet.pixels[static_cast<size_t>(r) * static_cast<size_t>(sheet.width)],
                   sheet.width);
      if (tgaBytes.size() < kFlushBytes) continue;
      if (!AtomicFileWrite(file, tgaBytes.data(), tgaBytes.size())) return false;
      tgaBytes.clear();
    }
  } catch (const std::bad_alloc&) {  // a row codes to at most 5 bytes a pixel
    errno = ENOMEM;
    return false;
  }
  return AtomicFileWrite(file, tgaBytes.data(), tgaBytes.size());
}

}  // namespace

// ---- Shared by both image formats ----------------------------------------

bool ImageSheetValid(const GlyphSheet& sheet) {
  return sheet.width > 0 && sheet.height > 0 &&
         sheet.pixels.size() ==
             static_cast<uint64_t>(sheet.width) * static_cast<uint64_t>(sheet.height);
}

int64_t KnownFileLength(FILE* file) {
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<int64_t>(info.st_size);
}

// ---- Writer ---------------------------------------------------------------

void PutTgaRunPacket(PendingPixels& run) {
  if (run.count == 0) return;
  uint8_t packet[5];
  packet[0] = static_cast<uint8_t>(0x80 + run.count);
  PutFilePixel(packet + 1, run.start[0]);
  tgaBytes.insert(tgaBytes.end(), packet, packet + sizeof packet);
  run.count = 0;
}

void PutTgaRawPacket(PendingPixels& literals) {
  uint8_t packet[1 + 4 * kMaxRawPixels];
  // Callers never pass more than one packet's worth; split rather than overrun.
  while (literals.count > 0) {
    const int n = std::min(literals.count, kMaxRawPixels);
    packet[0] = static_cast<uint8_t>(n - 1);
    for (int k = 0; k < n; ++k) PutFilePixel(packet + 1 + 4 * k, literals.start[k]);
    tgaBytes.insert(tgaBytes.end(), packet, packet + 1 + 4 * n);
    literals.start += n;
    literals.count -= n;
  }
}

// Walks the row stretch by stretch of equal pixels. Two or more equal pixels
// always form run packets, cut at 122; a pixel left alone by the cut, like
// any lone pixel, joins the literals.
void EncodeTgaRow(const SheetPixel* row, int count) {
  PendingPixels literals{row, 0};
  int i = 0;
  while (i < count) {
    const uint32_t value = PixelBits(row[i]);
    int end = i + 1;
    while (end < count && PixelBits(row[end]) == value) ++end;
    int length = end - i;
    if (length >= 2) PutTgaRawPacket(literals);  // pending literals go ahead of the run
    while (length >= 2) {
      const int n = std::min(length, kMaxRunPixels);
      PendingPixels run{row + i, n - 1};
      PutTgaRunPacket(run);
      i += n;
      length -= n;
    }
    if (length == 1) {
      if (literals.count == 0) literals.start = row + i;
      ++literals.count;
      ++i;
      if (literals.count == kMaxRawPixels) PutTgaRawPacket(literals);
    }
  }
  PutTgaRawPacket(literals);
}

bool WriteTga(const GlyphSheet& sheet, const char* path) {
  if (sheet.pixels.empty()) {
    errno = 0;
    return false;
  }
  if (!ImageSheetValid(sheet)) {
    errno = EINVAL;
    return false;
  }
  if (sheet.width > 0xFFFF || sheet.height > 0xFFFF) {  // the header holds 16 bits
    errno = EOVERFLOW;
    return false;
  }
  uint8_t header[kTgaHeaderSize];
  FillTgaHeader(header, sheet.width, sheet.height);
  AtomicFile file;
  if (!AtomicFileOpen(file, path)) return false;
  AtomicFileWrite(file, header, sizeof header);
  bool written = WriteTgaRows(file, sheet);
  if (written) {
    written = AtomicFileCommit(file);
  } else {
    AtomicFileAbort(file);
  }
  const int saved = errno;
  std::vector<uint8_t>().swap(tgaBytes);
  errno = saved;
  return written;
}

// ---- Reader ---------------------------------------------------------------

namespace {

struct TgaLayout {
  uint8_t idLength;
  bool runLength;
  bool topFirst;
  bool rightToLeft;
  int32_t width;
  int32_t height;
};

// Every header field is checked here, before anything is allocated. The
// file must also be long enough for the smallest coding of the image.
bool CheckTgaHeader(const uint8_t (&h)[kTgaHeaderSize], int64_t fileLength, TgaLayout& layout) {
  const uint8_t imageType = h[2];
  if (h[1] != 0) return false;  // colour-mapped
  if (imageType != kTypeTrueColour && imageType != kTypeRunLength) return false;
  if (h[16] != kDepth) return false;
  const uint32_t width = h[12] | static_cast<uint32_t>(h[13]) << 8;
  const uint32_t height = h[14] | static_cast<uint32_t>(h[15]) << 8;
  if (width == 0 || height == 0) return false;
  const uint64_t pixels = uint64_t{width} * height;
  if (pixels > MaxImagePixels) return false;
  const bool runLength = imageType == kTypeRunLength;
  const uint64_t packetsPerRow = (width + kMaxPacketPixels - 1) / kMaxPacketPixels;
  const uint64_t smallestData = runLength ? uint64_t{height} * packetsPerRow * 5 : pixels * 4;
  if (fileLength >= 0 &&
      static_cast<uint64_t>(fileLength) < kTgaHeaderSize + h[0] + smallestData)
    return false;
  layout = TgaLayout{h[0], runLength, (h[17] & kDescriptorTopFirst) != 0,
                     (h[17] & kDescriptorRightToLeft) != 0, static_cast<int32_t>(width),
                     static_cast<int32_t>(height)};
  return true;
}

// Turns pixels read as b, g, r, a into sheet order.
void SwapRedBlue(SheetPixel* pixels, int count) {
  for (int k = 0; k < count; ++k) std::swap(pixels[k].r, pixels[k].b);
}

bool ReadTgaPixels(TgaReader& reader, SheetPixel* out, int count) {
  if (!ReadTgaBytes(reader, reinterpret_cast<uint8_t*>(out), static_cast<size_t>(count) * 4))
    return false;
  SwapRedBlue(out, count);
  return true;
}

// A packet that would run past the row's end is refused.
bool DecodeTgaRow(TgaReader& reader, SheetPixel* row, int width) {
  int c = 0;
  while (c < width) {
    uint8_t header;
    if (!ReadTgaBytes(reader, &header, 1)) return false;
    const int n = (header & 0x7F) + 1;
    if (n > width - c) return false;
    if (header & 0x80) {
      SheetPixel pixel;
      if (!ReadTgaPixel(reader, pixel)) return false;
      std::fill_n(row + c, n, pixel);
    } else if (!ReadTgaPixels(reader, row + c, n)) {
      return false;
    }
    c += n;
  }
  return true;
}

bool DecodeTgaImage(TgaReader& reader, const TgaLayout& layout, std::vector<SheetPixel>& pixels) {
  uint8_t skipped[256];
  if (!ReadTgaBytes(reader, skipped, layout.idLength)) return false;
  for (int32_t k = 0; k < layout.height; ++k) {
    const int32_t y = layout.topFirst ? k : layout.height - 1 - k;
    SheetPixel* row = &pixels[static_cast<size_t>(y) * static_cast<size_t>(layout.width)];
    bool read = layout.runLength ? DecodeTgaRow(reader, row, layout.width)
                                 : ReadTgaPixels(reader, row, layout.width);
    if (!read) return false;
    if (layout.rightToLeft) std::reverse(row, row + layout.width);
  }
  return true;
}

bool ReadTgaFile(FILE* file, GlyphSheet& sheet) {
  TgaReader reader;
  InitTgaReader(reader, file);
  uint8_t header[kTgaHeaderSize];
  TgaLayout layout;
  if (!ReadTgaBytes(reader, header, sizeof header) ||
      !CheckTgaHeader(header, KnownFileLength(file), layout))
    return false;
  std::vector<SheetPixel> pixels;
  try {  // the one place the new sheet is sized; the cap bounds it
    pixels.resize(static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!DecodeTgaImage(reader, layout, pixels)) return false;
  sheet.width = layout.width;
  sheet.height = layout.height;
  sheet.pixels.swap(pixels);
  return true;
}

}  // namespace

void InitTgaReader(TgaReader& reader, FILE* file) {
  reader.file = file;
  reader.blockLength = 0;
  reader.blockPos = 0;
}

bool ReadTgaBytes(TgaReader& reader, uint8_t* out, size_t count) {
  while (count > 0) {
    if (reader.blockPos == reader.blockLength) {
      reader.blockLength = fread(reader.block, 1, sizeof reader.block, reader.file);
      reader.blockPos = 0;
      if (reader.blockLength == 0) return false;
    }
    const size_t n = std::min(count, reader.blockLength - reader.blockPos);
    memcpy(out, reader.block + reader.blockPos, n);
    reader.blockPos += n;
    out += n;
    count -= n;
  }
  return true;
}

bool ReadTgaPixel(TgaReader& reader, SheetPixel& pixel) {
  uint8_t bytes[4];
  if (reader.blockLength - reader.blockPos >= 4) {
    memcpy(bytes, reader.block + reader.blockPos, 4);
    reader.blockPos += 4;
  } else if (!ReadTgaBytes(reader, bytes, 4)) {
    return false;
  }
  pixel = SheetPixel{bytes[2], bytes[1], bytes[0], bytes[3]};
  return true;
}

bool ReadTga(GlyphSheet& sheet, const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  const bool read = ReadTgaFile(file, sheet);
  fclose(file);
  return read;
}
