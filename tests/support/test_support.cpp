// SPDX-License-Identifier: MIT
#include "test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

std::string FontPath(const std::string& name) {
  return std::string(TAVREST_FONT_DIR) + "/" + name + ".bdf";
}

void PrintTo(const FontPair& pair, std::ostream* out) {
  *out << pair.mainFont << " + " << pair.secondFont;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::vector<uint8_t> ReadFileOrEmpty(const std::string& path) {
  std::vector<uint8_t> bytes;
  ReadFileBytes(path, bytes);
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

void ExpectNoTemporaries(const std::string& folder) {
  for (const std::string& name : ListDir(folder))
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

int ExpectOptionsInManPage(const std::string& helpText, const std::string& pagePath) {
  const std::vector<uint8_t> page =
      ReadFileOrEmpty(std::string(TAVREST_SOURCE_DIR) + "/" + pagePath);
  std::string man(page.begin(), page.end());
  for (size_t at; (at = man.find("\\-")) != std::string::npos;) man.replace(at, 2, "-");
  std::istringstream help(helpText);
  int options = 0;
  for (std::string line; std::getline(help, line);) {
    std::istringstream words(line);
    for (std::string word; words >> word && word.starts_with('-');) {
      if (word.back() == ',') word.pop_back();
      ++options;
      EXPECT_NE(man.find(word), std::string::npos) << word << " is not in the man page";
    }
  }
  return options;
}

bool DecodePackedFile(const std::vector<uint8_t>& file, int32_t& cellSize,
                      std::vector<uint8_t>& stream) {
  if (file.size() < 4) return false;
  cellSize = static_cast<int32_t>(file[0] | file[1] << 8 | file[2] << 16 |
                                  static_cast<uint32_t>(file[3]) << 24);
  stream.clear();
  size_t p = 4;
  while (p < file.size()) {
    uint8_t header = file[p++];
    if (header >= 0x80) {
      if (p >= file.size()) return false;
      stream.insert(stream.end(), static_cast<size_t>(header - 0x80) + 1, file[p++]);
    } else {
      size_t n = static_cast<size_t>(header) + 1;
      if (p + n > file.size()) return false;
      stream.insert(stream.end(), file.begin() + static_cast<long>(p),
                    file.begin() + static_cast<long>(p + n));
      p += n;
    }
  }
  return true;
}

std::vector<BdfGlyph> ReadBdfGlyphs(const std::string& path) {
  std::vector<BdfGlyph> glyphs;
  std::ifstream in(path);
  std::string line;
  BdfGlyph glyph;
  bool inBitmap = false;
  while (std::getline(in, line)) {
    if (line.rfind("STARTCHAR", 0) == 0) {
      glyph = BdfGlyph();
      inBitmap = false;
    } else if (line.rfind("ENCODING ", 0) == 0) {
      glyph.encoding = std::stol(line.substr(9));
    } else if (line.rfind("BITMAP", 0) == 0) {
      inBitmap = true;
    } else if (line.rfind("ENDCHAR", 0) == 0) {
      glyphs.push_back(glyph);
      inBitmap = false;
    } else if (inBitmap) {
      glyph.hexDigits = static_cast<int>(line.size());
      glyph.rows.push_back(static_cast<uint32_t>(std::stoul(line, nullptr, 16)));
    }
  }
  return glyphs;
}

std::vector<std::vector<bool>> ExpectedCell(const BdfGlyph& glyph, int size, int width) {
  std::vector<std::vector<bool>> cell(static_cast<size_t>(size), std::vector<bool>(size, false));
  int bitsPerRow = glyph.hexDigits * 4;
  for (int i = 0; i < size && i < static_cast<int>(glyph.rows.size()); ++i) {
    for (int j = 0; j < width && j < bitsPerRow; ++j) {
      bool ink = (glyph.rows[static_cast<size_t>(i)] >> (bitsPerRow - 1 - j)) & 1u;
      cell[static_cast<size_t>(i)][static_cast<size_t>(size - width + j)] = ink;
    }
  }
  return cell;
}

std::vector<std::vector<bool>> PackedCell(const std::vector<uint8_t>& stream, int size, int slot) {
  int rowBytes = (size + 7) / 8;
  size_t cellStart = static_cast<size_t>(slot) * static_cast<size_t>(size * rowBytes);
  std::vector<std::vector<bool>> cell(static_cast<size_t>(size), std::vector<bool>(size, false));
  for (int k = 0; k < size; ++k) {  // stream rows run bottom-up
    int y = size - 1 - k;
    for (int x = 0; x < size; ++x) {
      uint8_t byte = stream.at(cellStart + static_cast<size_t>(k * rowBytes + x / 8));
      cell[static_cast<size_t>(y)][static_cast<size_t>(x)] = (byte >> (7 - x % 8)) & 1;
    }
  }
  return cell;
}

std::string CaseName(const std::string& description) {
  std::string name;
  bool gap = false;
  for (const char c : description) {
    if (!isalnum(static_cast<unsigned char>(c))) {
      gap = !name.empty();
      continue;
    }
    if (gap) name += '_';
    name += c;
    gap = false;
  }
  return name;
}
