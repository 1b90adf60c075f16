// SPDX-License-Identifier: MIT
// TGA image of the glyph sheet: run-length coded 32-bit true colour, and its
// reader (layout in output.h).
#include "output_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
#include <emmintrin.h>
#endif

thread_local TgaBuffer tgaBytes;

static_assert(sizeof(SheetPixel) == 4, "pixels are copied as 4-byte blocks");

namespace {

// Header fields: where the writer puts them is where the reader looks.
namespace tga {
constexpr size_t kIdLength = 0;
constexpr size_t kColourMapType = 1;
constexpr size_t kImageType = 2;
constexpr size_t kWidth = 12;
constexpr size_t kHeight = 14;
constexpr size_t kDepth = 16;
constexpr size_t kDescriptor = 17;
constexpr size_t kHeaderSize = 18;
}  // namespace tga

constexpr size_t kFlushBytes = size_t{1} << 18;
constexpr int kMaxRunPixels = 122;
constexpr int kMaxRawPixels = 121;
constexpr int kMaxPacketPixels = 128;  // what the format allows; the reader takes it
constexpr uint8_t kTypeTrueColour = 2;
constexpr uint8_t kTypeRunLength = 10;
constexpr uint8_t kBitsPerPixel = 32;
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

void FillTgaHeader(uint8_t (&header)[tga::kHeaderSize], int32_t width, int32_t height) {
  memset(header, 0, sizeof header);
  header[tga::kImageType] = kTypeRunLength;
  Put16(header + tga::kWidth, static_cast<uint32_t>(width));
  Put16(header + tga::kHeight, static_cast<uint32_t>(height));
  header[tga::kDepth] = kBitsPerPixel;
  header[tga::kDescriptor] = kDescriptorAlphaBits;
}

// ---- Writer ---------------------------------------------------------------

// r, g, b, a in memory becomes b, g, r, a: the red and blue bytes swap.
uint32_t FileWord(uint32_t bits) {
  constexpr uint32_t kGreenAlpha = 0xFF00FF00u;
  const uint32_t redBlue = bits & ~kGreenAlpha;
  return (bits & kGreenAlpha) | (redBlue >> 16) | (redBlue << 16);
}

// Packet emitters writing straight into room the caller has made.
uint8_t* EmitRunPacket(uint8_t* out, const SheetPixel& pixel, int pending) {
  out[0] = static_cast<uint8_t>(0x80 + pending);  // the run's last pixel is not pending
  PutFilePixel(out + 1, pixel);
  return out + 5;
}

#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
// FileWord of four pixels.
__m128i FileWords(const SheetPixel* pixels) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
  constexpr int kSwapHalves = 0xB1;  // 16-bit halves of each lane
  const __m128i redBlue = _mm_and_si128(v, _mm_set1_epi32(0xFF00FF));
  const __m128i swapped =
      _mm_shufflehi_epi16(_mm_shufflelo_epi16(redBlue, kSwapHalves), kSwapHalves);
  return _mm_or_si128(_mm_andnot_si128(_mm_set1_epi32(0xFF00FF), v), swapped);
}
#endif

uint8_t* EmitRawPixels(uint8_t* out, const SheetPixel* pixels, int count) {
  int k = 0;
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
  for (; k + 4 <= count; k += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * k), FileWords(pixels + k));
#endif
  for (; k < count; ++k) {
    const uint32_t word = FileWord(PixelBits(pixels[k]));
    memcpy(out + 4 * k, &word, sizeof word);
  }
  return out + 4 * count;
}

uint8_t* EmitRawPackets(uint8_t* out, PendingPixels& literals) {
  while (literals.count > 0) {
    const int n = std::min(literals.count, kMaxRawPixels);
    *out++ = static_cast<uint8_t>(n - 1);
    out = EmitRawPixels(out, literals.start, n);
    literals.start += n;
    literals.count -= n;
  }
  return out;
}

// Bit k of `bits` is set when pixel k equals pixel k + 1: the pixels that
// continue a run. Pixels are compared whole, sixteen and then four at a time;
// the row's last pixel has no right neighbour and stays clear.
void MarkRunPixels(const SheetPixel* row, int count, uint64_t* bits) {
  const size_t words = static_cast<size_t>(count + 63) / 64;
  memset(bits, 0, words * sizeof *bits);
  int k = 0;
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
  const auto equalFour = [row](int at) {
    return _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at + 1)));
  };
  for (; k + 17 <= count; k += 16) {  // while pixel k + 16 exists to compare with
    const __m128i low = _mm_packs_epi32(equalFour(k), equalFour(k + 4));
    const __m128i high = _mm_packs_epi32(equalFour(k + 8), equalFour(k + 12));
    const auto equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
    bits[k >> 6] |= static_cast<uint64_t>(equal) << (k & 63);
  }
  for (; k + 5 <= count; k += 4) {
    const auto equal = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(equalFour(k))));
    bits[k >> 6] |= static_cast<uint64_t>(equal) << (k & 63);
  }
#endif
  for (; k + 1 < count; ++k)
    if (PixelBits(row[k]) == PixelBits(row[k + 1])) bits[k >> 6] |= uint64_t{1} << (k & 63);
}

// Sends out pixels [first, end) of a row of `count` as raw packets of 121,
// the last one shorter. Pixels go four at a time, the last four reaching
// past the packet where the row still has pixels there to read; what they
// write past it is room the next packets overwrite (kWriteSlack).
[[gnu::always_inline]] inline uint8_t* EmitLiterals(uint8_t* out, const SheetPixel* row, int first,
                                                    int end, int count) {
  while (first < end) {
    const int n = std::min(end - first, kMaxRawPixels);
    *out++ = static_cast<uint8_t>(n - 1);
    const int whole = first + ((n + 3) & ~3) <= count ? (n + 3) & ~3 : n & ~3;
    const SheetPixel* pixels = row + first;
    int k = 0;
#if defined(__SSE2__) && !defined(TAVREST_NO_SIMD)
    for (; k < whole; k += 4)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * k), FileWords(pixels + k));
#endif
    for (; k < n; ++k) {
      const uint32_t word = FileWord(PixelBits(pixels[k]));
      memcpy(out + 4 * k, &word, sizeof word);
    }
    out += 4 * n;
    first += n;
  }
  return out;
}

// Codes a row given its run marks, a stretch of equal pixels at a time: a
// clear bit ends a stretch. Stretches of one pixel gather as literals, sent
// out as one stretch ahead of the next run.
uint8_t* CodeMarkedRow(uint8_t* out, const SheetPixel* row, int count, const uint64_t* bits) {
  int literalStart = 0;
  int stretchStart = 0;
  const size_t words = static_cast<size_t>(count + 63) / 64;
  for (size_t w = 0; w < words; ++w) {
    uint64_t ends = ~bits[w];
    if (const int past = count - static_cast<int>(w * 64); past < 64)
      ends &= (uint64_t{1} << past) - 1;  // bits past the row's last pixel
    for (; ends != 0; ends &= ends - 1) {
      const int last = static_cast<int>(w * 64) + __builtin_ctzll(ends);
      int length = last - stretchStart + 1;
      if (length >= 2) {
        if (stretchStart > literalStart)
          out = EmitLiterals(out, row, literalStart, stretchStart, count);
        const uint32_t word = FileWord(PixelBits(row[stretchStart]));
        for (; length >= 2; length -= kMaxRunPixels) {
          out[0] = static_cast<uint8_t>(0x80 + std::min(length, kMaxRunPixels) - 1);
          memcpy(out + 1, &word, sizeof word);
          out += 5;
        }
        literalStart = length == 1 ? last : last + 1;  // a pixel left alone by a cut joins them
      }
      stretchStart = last + 1;
    }
  }
  return EmitLiterals(out, row, literalStart, count, count);
}

// A row of `count` (at least 2) equal pixels: runs of 122, and a pixel the
// cut leaves alone as a raw packet of its own, as CodeMarkedRow codes it.
uint8_t* CodeUniformRow(const SheetPixel& pixel, int count, uint8_t* out) {
  const uint32_t word = FileWord(PixelBits(pixel));
  int length = count;
  for (; length >= 2; length -= kMaxRunPixels) {
    out[0] = static_cast<uint8_t>(0x80 + std::min(length, kMaxRunPixels) - 1);
    memcpy(out + 1, &word, sizeof word);
    out += 5;
  }
  if (length == 1) {
    out[0] = 0;
    memcpy(out + 1, &word, sizeof word);
    out += 5;
  }
  return out;
}

// Room a row's packets can take at most: no packet takes more than 5 bytes
// per pixel it covers (a raw packet 1 + 4n, a run packet 5 for n >= 2), and
// the last raw pixels may write up to 12 bytes past their packet.
constexpr size_t kWriteSlack = 12;
size_t MaxRowBytes(int count) { return 5 * static_cast<size_t>(count) + kWriteSlack; }

// Codes one row into room for MaxRowBytes(count) bytes; returns its end.
// Two or more equal pixels always form run packets, cut at 122; a pixel left
// alone by the cut, like any pixel unequal to its right neighbour, joins the
// literals, which go out 121 at a time and ahead of the next run.
uint8_t* CodeTgaRow(const SheetPixel* row, int count, uint8_t* out) {
  if (count <= 0) return out;
  constexpr int kStackWords = 1024;  // rows up to 65536 pixels, every sheet TGA holds
  uint64_t stackBits[kStackWords];
  std::vector<uint64_t> heapBits;
  const size_t words = static_cast<size_t>(count + 63) / 64;
  uint64_t* bits = stackBits;
  if (words > kStackWords) {
    heapBits.resize(words);
    bits = heapBits.data();
  }
  MarkRunPixels(row, count, bits);
  return CodeMarkedRow(out, row, count, bits);
}

}  // namespace

void PutTgaRunPacket(PendingPixels& run) {
  if (run.count == 0) return;
  uint8_t packet[5];
  EmitRunPacket(packet, run.start[0], run.count);
  tgaBytes.insert(tgaBytes.end(), packet, packet + sizeof packet);
  run.count = 0;
}

void PutTgaRawPacket(PendingPixels& literals) {
  // Callers never pass more than one packet's worth; split rather than overrun.
  const size_t start = tgaBytes.size();
  tgaBytes.resize(start + MaxRowBytes(literals.count));
  uint8_t* end = EmitRawPackets(tgaBytes.data() + start, literals);
  tgaBytes.resize(static_cast<size_t>(end - tgaBytes.data()));
}

void EncodeTgaRow(const SheetPixel* row, int count) {
  if (count <= 0) return;
  const size_t start = tgaBytes.size();
  tgaBytes.resize(start + MaxRowBytes(count));
  uint8_t* end = CodeTgaRow(row, count, tgaBytes.data() + start);
  tgaBytes.resize(static_cast<size_t>(end - tgaBytes.data()));
}

namespace {

// Codes the rows, bottom row first, into tgaBytes and hands it to the file
// a block at a time. The block is sized once; rows are coded straight into it.
bool WriteTgaRows(AtomicFile& file, const GlyphSheet& sheet) {
  const size_t rowRoom = MaxRowBytes(sheet.width);
  try {
    tgaBytes.resize(kFlushBytes + rowRoom);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  uint8_t* const block = tgaBytes.data();
  uint8_t* out = block;
  const int32_t cellSize = sheet.width / SheetColumns;
  const bool cellsKnown = cellSize >= 1 && sheet.width == SheetColumns * cellSize &&
                          sheet.height == SheetRows * cellSize;
  int32_t band = -1;
  bool bandEmpty = false;
  for (int32_t r = sheet.height - 1; r >= 0; --r) {
    const SheetPixel* row =
        &sheet.pixels[static_cast<size_t>(r) * static_cast<size_t>(sheet.width)];
    if (cellsKnown && r / cellSize != band) {
      band = r / cellSize;
      bandEmpty = CellRowKnownEmpty(sheet, band);
    }
    if (bandEmpty) {
      out = CodeUniformRow(SheetPixel{}, sheet.width, out);  // zeros, as the sheet says
    } else {
      out = CodeTgaRow(row, sheet.width, out);
    }
    if (static_cast<size_t>(out - block) < kFlushBytes) continue;
    if (!AtomicFileWrite(file, block, static_cast<size_t>(out - block))) return false;
    out = block;
  }
  return AtomicFileWrite(file, block, static_cast<size_t>(out - block));
}

}  // namespace

namespace {

bool WriteTgaFile(const GlyphSheet& sheet, const char* path, FileBatch* batch) {
  if (!SheetWritable(sheet)) return false;
  if (sheet.width > 0xFFFF || sheet.height > 0xFFFF) {  // the header holds 16 bits
    errno = EOVERFLOW;
    return false;
  }
  uint8_t header[tga::kHeaderSize];
  FillTgaHeader(header, sheet.width, sheet.height);
  AtomicFile file;
  if (!AtomicFileOpenInto(file, path, batch)) return false;
  AtomicFileWrite(file, header, sizeof header);
  bool written = WriteTgaRows(file, sheet);
  if (written) {
    written = AtomicFileCommit(file);
  } else {
    AtomicFileAbort(file);
  }
  const int saved = errno;
  TgaBuffer().swap(tgaBytes);
  errno = saved;
  return written;
}

}  // namespace

bool WriteTga(const GlyphSheet& sheet, const char* path) {
  return WriteTgaFile(sheet, path, nullptr);
}

bool WriteTga(const GlyphSheet& sheet, const char* path, FileBatch& batch) {
  return WriteTgaFile(sheet, path, &batch);
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
ImageRefusal CheckTgaHeader(const uint8_t (&h)[tga::kHeaderSize], int64_t fileLength,
                            TgaLayout& layout) {
  const uint8_t imageType = h[tga::kImageType];
  if (h[tga::kColourMapType] != 0) return ImageRefusal::ColourMapped;
  if (imageType != kTypeTrueColour && imageType != kTypeRunLength) return ImageRefusal::ImageType;
  if (h[tga::kDepth] != kBitsPerPixel) return ImageRefusal::Depth;
  const uint32_t width = Get16(h + tga::kWidth);
  const uint32_t height = Get16(h + tga::kHeight);
  if (width == 0 || height == 0) return ImageRefusal::InvalidSize;
  const uint64_t pixels = uint64_t{width} * height;
  if (pixels > MaxImagePixels) return ImageRefusal::TooManyPixels;
  const bool runLength = imageType == kTypeRunLength;
  const uint64_t packetsPerRow = (width + kMaxPacketPixels - 1) / kMaxPacketPixels;
  const uint64_t smallestData = runLength ? uint64_t{height} * packetsPerRow * 5 : pixels * 4;
  const uint8_t idLength = h[tga::kIdLength];
  if (fileLength >= 0 &&
      static_cast<uint64_t>(fileLength) < tga::kHeaderSize + idLength + smallestData)
    return ImageRefusal::ShorterThanClaimed;
  const uint8_t descriptor = h[tga::kDescriptor];
  layout = TgaLayout{idLength,
                     runLength,
                     (descriptor & kDescriptorTopFirst) != 0,
                     (descriptor & kDescriptorRightToLeft) != 0,
                     static_cast<int32_t>(width),
                     static_cast<int32_t>(height)};
  return ImageRefusal::None;
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

ImageRefusal DecodeTgaRow(TgaReader& reader, SheetPixel* row, int width) {
  int c = 0;
  while (c < width) {
    uint8_t header;
    if (!ReadTgaBytes(reader, &header, 1)) return ImageRefusal::Truncated;
    const int n = (header & 0x7F) + 1;
    if (n > width - c) return ImageRefusal::PacketPastRow;
    if (header & 0x80) {
      SheetPixel pixel;
      if (!ReadTgaPixel(reader, pixel)) return ImageRefusal::Truncated;
      std::fill_n(row + c, n, pixel);
    } else if (!ReadTgaPixels(reader, row + c, n)) {
      return ImageRefusal::Truncated;
    }
    c += n;
  }
  return ImageRefusal::None;
}

ImageRefusal DecodeTgaImage(TgaReader& reader, const TgaLayout& layout, SheetPixels& pixels) {
  uint8_t skipped[256];
  if (!ReadTgaBytes(reader, skipped, layout.idLength)) return ImageRefusal::Truncated;
  for (int32_t k = 0; k < layout.height; ++k) {
    const int32_t y = layout.topFirst ? k : layout.height - 1 - k;
    SheetPixel* row = &pixels[static_cast<size_t>(y) * static_cast<size_t>(layout.width)];
    if (layout.runLength) {
      const ImageRefusal refusal = DecodeTgaRow(reader, row, layout.width);
      if (refusal != ImageRefusal::None) return refusal;
    } else if (!ReadTgaPixels(reader, row, layout.width)) {
      return ImageRefusal::Truncated;
    }
    if (layout.rightToLeft) std::reverse(row, row + layout.width);
  }
  return ImageRefusal::None;
}

ImageRefusal ReadTgaFile(FILE* file, GlyphSheet& sheet) {
  TgaReader reader;
  InitTgaReader(reader, file);
  uint8_t header[tga::kHeaderSize];
  if (!ReadTgaBytes(reader, header, sizeof header)) return ImageRefusal::Truncated;
  TgaLayout layout;
  const ImageRefusal refusal = CheckTgaHeader(header, KnownFileLength(file), layout);
  if (refusal != ImageRefusal::None) return refusal;
  SheetPixels pixels;  // the cap bounds it
  if (!ResizeSheetPixels(pixels,
                         static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height)))
    return ImageRefusal::OutOfMemory;
  const ImageRefusal decoded = DecodeTgaImage(reader, layout, pixels);
  if (decoded != ImageRefusal::None) return decoded;
  sheet.width = layout.width;
  sheet.height = layout.height;
  sheet.pixels.swap(pixels);
  sheet.filledCells.clear();
  return ImageRefusal::None;
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

bool ReadTga(GlyphSheet& sheet, const char* path, ImageRefusal& why) {
  return ReadImageFile(sheet, path, why, ReadTgaFile);
}

bool ReadTga(GlyphSheet& sheet, const char* path) {
  ImageRefusal why;
  return ReadTga(sheet, path, why);
}
