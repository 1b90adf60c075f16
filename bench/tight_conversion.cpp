// SPDX-License-Identifier: MIT
// The bound a conversion is measured against: the same work as a run of
// tavrest on a main BDF font and a second one whose boxes fill their cells
// (jiskan16 + 8x16rk, jiskan24 + 12x24rk), written as plainly and tightly as
// it goes, without SDL, surfaces, checks or messages. It keeps an RGBA
// sheet, as the run does, and writes the same two files byte for byte.
//
//   tight_conversion MAIN.bdf SECOND.bdf SIZE
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kColumns = 64;
constexpr int kSlots = 9472;

std::vector<char> ReadFile(const char* path) {
  std::vector<char> text;
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return text;
  char block[1 << 16];
  for (size_t n; (n = fread(block, 1, sizeof block, file)) > 0;)
    text.insert(text.end(), block, block + n);
  fclose(file);
  text.push_back('\n');
  text.push_back('\0');
  return text;
}

const char* NextLine(const char* p) {
  const char* end = static_cast<const char*>(rawmemchr(p, '\n'));  // the text ends in "\n\0"
  return end + 1;
}

uint32_t ParseHex(const char* p) {
  uint32_t value = 0;
  for (;; ++p) {
    const unsigned c = static_cast<unsigned char>(*p);
    if (c - '0' < 10) {
      value = value << 4 | (c - '0');
    } else if ((c | 0x20) - 'a' < 6) {
      value = value << 4 | ((c | 0x20) - 'a' + 10);
    } else {
      return value;
    }
  }
}

// Fills the empty slots of `glyphs` from one font: rows as the hex lines
// read, shifted to the glyph's width.
void LoadFont(const char* path, int size, std::vector<int32_t>& rows,
              std::vector<uint8_t>& filled) {
  const std::vector<char> text = ReadFile(path);
  if (text.empty()) exit(1);
  for (const char* p = text.data(); *p != '\0';) {
    if (p[0] != 'E' || strncmp(p, "ENCODING ", 9) != 0) {
      p = NextLine(p);
      continue;
    }
    const int code = atoi(p + 9);
    while (*p != '\0' && (p[0] != 'B' || strncmp(p, "BITMAP", 6) != 0)) p = NextLine(p);
    p = NextLine(p);
    const int first = code >> 8, second = code & 0xFF;
    const bool twoByte = code >= 256;
    if (twoByte && (first < 0x21 || first > 0x7E || second < 0x21 || second > 0x7E)) continue;
    const int slot = twoByte ? first * 96 + second - 2849 : code;
    if (slot < 0 || filled[slot]) continue;
    filled[slot] = 1;
    const int width = twoByte ? size : size / 2;
    const int shift = (width + 7) / 8 * 8 - width;
    int32_t* glyph = &rows[static_cast<size_t>(slot) * size];
    for (int i = 0; *p != '\0' && (p[0] != 'E' || strncmp(p, "ENDCHAR", 7) != 0);
         ++i, p = NextLine(p))
      if (i < size) glyph[i] = static_cast<int32_t>(ParseHex(p) >> shift);
  }
}

uint8_t* Put(uint8_t* out, uint32_t word) {
  const uint32_t file = (word & 0xFF00FF00u) | (word >> 16 & 0xFF) | (word & 0xFF) << 16;
  memcpy(out, &file, 4);
  return out + 4;
}

uint8_t* PutLiterals(uint8_t* out, const uint32_t* pixels, int count) {
  *out++ = uint8_t(count - 1);
  for (int k = 0; k < count; ++k) out = Put(out, pixels[k]);
  return out;
}

// Rows bottom first, every packet's rule as tavrest's coder has it, handed
// to the file whenever a block is full.
void WriteTga(const uint32_t* sheet, int width, int height, FILE* file) {
  constexpr size_t kBlock = size_t{1} << 18;
  std::vector<uint8_t> block(kBlock + 5 * static_cast<size_t>(width) + 18);
  uint8_t* out = block.data();
  const uint8_t header[18] = {0,
                              0,
                              10,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              uint8_t(width),
                              uint8_t(width >> 8),
                              uint8_t(height),
                              uint8_t(height >> 8),
                              32,
                              8};
  memcpy(out, header, 18);
  out += 18;
  for (int y = height - 1; y >= 0; --y) {
    if (static_cast<size_t>(out - block.data()) >= kBlock) {
      fwrite(block.data(), 1, static_cast<size_t>(out - block.data()), file);
      out = block.data();
    }
    const uint32_t* row = sheet + static_cast<size_t>(y) * width;
    int literalStart = 0;
    for (int x = 0; x < width;) {
      const uint32_t pixel = row[x];
      int end = x + 1;
      while (end < width && row[end] == pixel) ++end;
      if (end - x == 1) {
        if (end - literalStart == 121) {
          out = PutLiterals(out, row + literalStart, 121);
          literalStart = end;
        }
        x = end;
        continue;
      }
      for (; x - literalStart > 121; literalStart += 121)
        out = PutLiterals(out, row + literalStart, 121);
      if (x > literalStart) out = PutLiterals(out, row + literalStart, x - literalStart);
      int length = end - x;
      for (; length >= 2; length -= 122) {
        *out++ = uint8_t(0x80 + (length < 122 ? length : 122) - 1);
        out = Put(out, pixel);
      }
      literalStart = length == 1 ? end - 1 : end;  // a pixel left alone by the cut
      x = end;
    }
    if (literalStart < width) out = PutLiterals(out, row + literalStart, width - literalStart);
  }
  fwrite(block.data(), 1, static_cast<size_t>(out - block.data()), file);
}

size_t CodePacked(const uint8_t* stream, size_t length, int size, uint8_t* out) {
  uint8_t* const start = out;
  const uint8_t header[4] = {uint8_t(size), 0, 0, 0};
  memcpy(out, header, 4);
  out += 4;
  for (size_t p = 0; p < length;) {
    size_t end = p + 1;
    while (end < length && stream[end] == stream[p] && end - p < 122) ++end;
    if (end - p >= 2) {
      *out++ = uint8_t(0x80 + end - p - 1);
      *out++ = stream[p];
      p = end;
      continue;
    }
    size_t rawEnd = p + 1;  // up to the next pair of equal bytes
    while (rawEnd < length && rawEnd - p < 121 &&
           !(rawEnd + 1 < length && stream[rawEnd] == stream[rawEnd + 1]))
      ++rawEnd;
    *out++ = uint8_t(rawEnd - p - 1);
    memcpy(out, stream + p, rawEnd - p);
    out += rawEnd - p;
    p = rawEnd;
  }
  return static_cast<size_t>(out - start);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const int size = atoi(argv[3]);
  std::vector<int32_t> rows(static_cast<size_t>(kSlots) * size);
  std::vector<uint8_t> filled(kSlots);
  LoadFont(argv[1], size, rows, filled);
  LoadFont(argv[2], size, rows, filled);

  // Fresh zero pages: empty cells cost no memory until they are read.
  uint32_t kFour[16][4];
  for (int n = 0; n < 16; ++n)
    for (int k = 0; k < 4; ++k) kFour[n][k] = n >> (3 - k) & 1 ? 0xFF000000u : 0xFFFFFFFFu;
  const int width = kColumns * size, height = kSlots / kColumns * size;
  const size_t pixels = static_cast<size_t>(width) * height;
  uint32_t* sheet = static_cast<uint32_t*>(calloc(pixels, 4));  // r, g, b, a from the low byte
  for (int slot = 0; slot < kSlots; ++slot) {
    if (!filled[slot]) continue;
    uint32_t* cell =
        sheet + static_cast<size_t>(slot / kColumns) * size * width + slot % kColumns * size;
    const int32_t* glyph = &rows[static_cast<size_t>(slot) * size];
    for (int i = 0; i < size; ++i, cell += width) {
      const uint32_t bits = static_cast<uint32_t>(glyph[i]);
      int j = 0;
      for (; j + 4 <= size; j += 4) memcpy(cell + j, kFour[bits >> (size - 4 - j) & 15], 16);
      for (; j < size; ++j) cell[j] = 0xFFFFFFFFu ^ ((bits >> (size - 1 - j) & 1) * 0x00FFFFFFu);
    }
  }

  // The stream straight from the glyph rows: each row's bits, first pixel on top.
  const int rowBytes = (size + 7) / 8;
  const size_t streamLength = static_cast<size_t>(kSlots) * size * rowBytes;
  uint8_t* stream = static_cast<uint8_t*>(calloc(streamLength, 1));
  uint8_t* out = stream;
  for (int slot = 0; slot < kSlots; ++slot) {
    const int32_t* glyph = &rows[static_cast<size_t>(slot) * size];
    for (int i = size - 1; i >= 0; --i, out += rowBytes) {
      if (!filled[slot]) continue;
      const uint32_t bits = static_cast<uint32_t>(glyph[i]) << (rowBytes * 8 - size);
      for (int b = 0; b < rowBytes; ++b) out[b] = uint8_t(bits >> (8 * (rowBytes - 1 - b)));
    }
  }

  // The packed file is coded whole into room for its worst coding, the image
  // a block at a time, as tavrest does.
  uint8_t* packed = static_cast<uint8_t*>(malloc(4 + streamLength + streamLength / 121 + 1));
  const size_t packedLength = CodePacked(stream, streamLength, size, packed);
  FILE* files[2] = {fopen("tavrest.qpk", "wb"), fopen("tavrest.tga", "wb")};
  if (files[0] == nullptr || files[1] == nullptr) return 1;
  fwrite(packed, 1, packedLength, files[0]);
  WriteTga(sheet, width, height, files[1]);
  return fclose(files[0]) != 0 || fclose(files[1]) != 0;
}
