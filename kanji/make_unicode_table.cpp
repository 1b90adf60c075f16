// Build step: writes the C++ table of the Unicode code points of every JIS
// X 0208 character, taken from the system's iconv (glibc) tables rather than
// typed in. EUC-JP gives each character's code point; CP932 gives a second
// one for the few characters the two tables disagree on (0x2141 is U+301C in
// EUC-JP, U+FF5E in CP932). Usage: make_unicode_table OUTPUT.cpp
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// JIS X 0208 has 6879 characters; a table with fewer means other iconv tables.
constexpr size_t kJisX0208Characters = 6879;

struct Pair {
  uint32_t codePoint;
  int jis;
};

// The single code point iconv makes of `bytes`, or 0 when it makes none (an
// unassigned code) or more than one.
uint32_t DecodeOne(iconv_t converter, const unsigned char (&bytes)[2]) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char input[2] = {static_cast<char>(bytes[0]), static_cast<char>(bytes[1])};
  unsigned char output[8] = {};
  char* in = input;
  char* out = reinterpret_cast<char*>(output);
  size_t inLeft = sizeof input;
  size_t outLeft = sizeof output;
  if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
      outLeft != sizeof output - 4)
    return 0;
  return output[0] | output[1] << 8 | output[2] << 16 | static_cast<uint32_t>(output[3]) << 24;
}

// Shift-JIS folds two JIS rows into one lead byte; the odd row takes the
// trail bytes below 0x9F, skipping 0x7F.
void ShiftJisBytes(int row, int cell, unsigned char (&bytes)[2]) {
  bytes[0] = static_cast<unsigned char>((row + 1) / 2 + (row <= 0x5E ? 0x70 : 0xB0));
  if (row % 2 == 0) {
    bytes[1] = static_cast<unsigned char>(cell + 0x7E);
  } else {
    bytes[1] = static_cast<unsigned char>(cell + 0x1F + (cell >= 0x60 ? 1 : 0));
  }
}

// EUC-JP's code points first, so that they win any clash with CP932's.
bool CollectPairs(std::vector<Pair>& pairs) {
  iconv_t euc = iconv_open("UTF-32LE", "EUC-JP");
  iconv_t cp932 = iconv_open("UTF-32LE", "CP932");
  const bool opened =
      euc != reinterpret_cast<iconv_t>(-1) && cp932 != reinterpret_cast<iconv_t>(-1);
  std::vector<int> characters;
  for (int row = 0x21; opened && row <= 0x7E; ++row) {
    for (int cell = 0x21; cell <= 0x7E; ++cell) {
      const unsigned char bytes[2] = {static_cast<unsigned char>(row | 0x80),
                                      static_cast<unsigned char>(cell | 0x80)};
      const uint32_t codePoint = DecodeOne(euc, bytes);
      if (codePoint == 0) continue;  // no JIS X 0208 character here
      pairs.push_back(Pair{codePoint, row << 8 | cell});
      characters.push_back(row << 8 | cell);
    }
  }
  for (int jis : characters) {
    unsigned char bytes[2];
    ShiftJisBytes(jis >> 8, jis & 0xFF, bytes);
    const uint32_t codePoint = DecodeOne(cp932, bytes);
    if (codePoint != 0) pairs.push_back(Pair{codePoint, jis});
  }
  if (euc != reinterpret_cast<iconv_t>(-1)) iconv_close(euc);
  if (cp932 != reinterpret_cast<iconv_t>(-1)) iconv_close(cp932);
  if (!opened) fprintf(stderr, "make_unicode_table: iconv lacks EUC-JP or CP932\n");
  if (opened && characters.size() != kJisX0208Characters)
    fprintf(stderr, "make_unicode_table: iconv gives %zu JIS X 0208 characters, not %zu\n",
            characters.size(), kJisX0208Characters);
  return opened && characters.size() == kJisX0208Characters;
}

// Sorted by code point, each code point once (its first pair kept).
void SortAndMerge(std::vector<Pair>& pairs) {
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const Pair& a, const Pair& b) { return a.codePoint < b.codePoint; });
  pairs.erase(std::unique(pairs.begin(), pairs.end(),
                          [](const Pair& a, const Pair& b) { return a.codePoint == b.codePoint; }),
              pairs.end());
}

bool WriteTable(const std::vector<Pair>& pairs, FILE* out) {
  fputs(
      "// Made by make_unicode_table from the iconv tables of EUC-JP and CP932.\n"
      "#include \"kanji_internal.h\"\n\n"
      "const UnicodeJisPair kUnicodeJisPairs[] = {\n",
      out);
  for (const Pair& pair : pairs) fprintf(out, "    {0x%X, 0x%X},\n", pair.codePoint, pair.jis);
  fputs(
      "};\n\n"
      "const size_t kUnicodeJisPairCount = sizeof kUnicodeJisPairs / sizeof kUnicodeJisPairs[0];\n",
      out);
  return ferror(out) == 0;
}

}  // namespace

// The table goes to a temporary file that replaces OUTPUT only when complete.
int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: make_unicode_table OUTPUT.cpp\n", stderr);
    return 2;
  }
  std::vector<Pair> pairs;
  if (!CollectPairs(pairs)) return 1;
  SortAndMerge(pairs);
  const std::string path = argv[1];
  const std::string temporary = path + ".tmp";
  FILE* out = fopen(temporary.c_str(), "w");
  bool written = out != nullptr && WriteTable(pairs, out);
  if (out != nullptr) written = fclose(out) == 0 && written;
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
    perror(path.c_str());
    remove(temporary.c_str());
    return 1;
  }
  return 0;
}
