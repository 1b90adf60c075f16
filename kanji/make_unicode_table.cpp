// SPDX-License-Identifier: MIT
// Writes kanji/unicode_table.cpp, the Unicode code points of the characters
// the two-byte slots hold, from glibc's iconv tables rather than typed in.
// The table is checked in; a test runs this again and compares the bytes.
//
// - EUC-JP gives each JIS X 0208 character's code point; CP932 a second one
//   for the six characters the two disagree on (0x2141 is U+301C in EUC-JP,
//   U+FF5E in CP932).
// - EUC-JISX0213 (two bytes only: plane 1) gives the characters beyond JIS X
//   0208. Its codes that hold a base letter and a combining mark reach no
//   slot from Unicode; they are listed so that coverage can count them.
// - JIS X 0208 slots keep exactly the code points they had. A code point that
//   CP932 and JIS X 0213 put in different slots goes where JIS X 0213 puts it,
//   and CP932's slot stays its fallback for drawing.
// - The codes JIS X 0208 leaves free hold other characters in some JIS X 0208
//   fonts: CP932's (NEC row 13, the IBM kanji of rows 89 to 92), else JIS X
//   0212's (EUC-JP after 0x8F). They are listed by JIS code.
//
// Usage: make_unicode_table OUTPUT.cpp
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A table with other counts means other iconv tables.
constexpr size_t kJisX0208Characters = 6879;
constexpr size_t kPlane1Characters = 8797;  // JIS X 0208's included

// Earlier sources win a code point claimed twice.
enum Source { kEucJp = 0, kJisX0213 = 1, kCp932 = 2, kJisX0212 = 3 };
constexpr const char* kSourceNames[] = {"UnicodeFromJisX0208", "UnicodeFromJisX0213",
                                        "UnicodeFromCp932", "UnicodeFromJisX0212"};

struct Pair {
  uint32_t codePoint;
  int jis;
  Source source;
};

struct Collected {
  std::vector<Pair> pairs;
  std::vector<int> sequences;   // JIS codes of a base letter with a combining mark
  std::vector<int> jisX0208;    // JIS codes of the JIS X 0208 characters
  std::vector<Pair> freeCodes;  // other sets' characters at codes JIS X 0208 leaves free
  size_t plane1 = 0;
};

// The code points iconv makes of `bytes`: none for an unassigned code.
template <size_t N>
std::vector<uint32_t> Decode(iconv_t converter, const unsigned char (&bytes)[N]) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char input[N];
  for (size_t i = 0; i < N; ++i) input[i] = static_cast<char>(bytes[i]);
  unsigned char output[16] = {};
  char* in = input;
  char* out = reinterpret_cast<char*>(output);
  size_t inLeft = sizeof input;
  size_t outLeft = sizeof output;
  std::vector<uint32_t> codePoints;
  if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
    return codePoints;
  for (size_t i = 0; i + 4 <= sizeof output - outLeft; i += 4)
    codePoints.push_back(output[i] | output[i + 1] << 8 | output[i + 2] << 16 |
                         static_cast<uint32_t>(output[i + 3]) << 24);
  return codePoints;
}

void EucBytes(int jis, unsigned char (&bytes)[2]) {
  bytes[0] = static_cast<unsigned char>(jis >> 8 | 0x80);
  bytes[1] = static_cast<unsigned char>((jis & 0xFF) | 0x80);
}

// Shift-JIS folds two JIS rows into one lead byte; the odd row takes the
// trail bytes below 0x9F, skipping 0x7F.
void ShiftJisBytes(int jis, unsigned char (&bytes)[2]) {
  const int row = jis >> 8, cell = jis & 0xFF;
  bytes[0] = static_cast<unsigned char>((row + 1) / 2 + (row <= 0x5E ? 0x70 : 0xB0));
  if (row % 2 == 0) {
    bytes[1] = static_cast<unsigned char>(cell + 0x7E);
  } else {
    bytes[1] = static_cast<unsigned char>(cell + 0x1F + (cell >= 0x60 ? 1 : 0));
  }
}

template <typename Visit>
void ForEachTwoByteCode(Visit visit) {
  for (int row = 0x21; row <= 0x7E; ++row)
    for (int cell = 0x21; cell <= 0x7E; ++cell) visit(row << 8 | cell);
}

void CollectJisX0208(iconv_t euc, iconv_t cp932, Collected& collected) {
  ForEachTwoByteCode([&](int jis) {
    unsigned char bytes[2];
    EucBytes(jis, bytes);
    const std::vector<uint32_t> codePoints = Decode(euc, bytes);
    if (codePoints.size() != 1) return;  // no JIS X 0208 character here
    collected.pairs.push_back(Pair{codePoints[0], jis, kEucJp});
    collected.jisX0208.push_back(jis);
  });
  for (int jis : collected.jisX0208) {
    unsigned char bytes[2];
    ShiftJisBytes(jis, bytes);
    const std::vector<uint32_t> codePoints = Decode(cp932, bytes);
    if (codePoints.size() == 1) collected.pairs.push_back(Pair{codePoints[0], jis, kCp932});
  }
}

// JIS X 0208's own codes are left to EUC-JP and CP932 (EUC-JISX0213 names
// 0x213D U+2014 where EUC-JP has U+2015).
void CollectJisX0213(iconv_t x0213, Collected& collected) {
  ForEachTwoByteCode([&](int jis) {
    unsigned char bytes[2];
    EucBytes(jis, bytes);
    const std::vector<uint32_t> codePoints = Decode(x0213, bytes);
    if (codePoints.empty()) return;
    ++collected.plane1;
    if (std::binary_search(collected.jisX0208.begin(), collected.jisX0208.end(), jis)) return;
    if (codePoints.size() == 1)
      collected.pairs.push_back(Pair{codePoints[0], jis, kJisX0213});
    else
      collected.sequences.push_back(jis);
  });
}

// CP932's character where it has one, else JIS X 0212's.
void CollectFreeCodes(iconv_t euc, iconv_t cp932, Collected& collected) {
  ForEachTwoByteCode([&](int jis) {
    if (std::binary_search(collected.jisX0208.begin(), collected.jisX0208.end(), jis)) return;
    unsigned char sjis[2];
    ShiftJisBytes(jis, sjis);
    std::vector<uint32_t> codePoints = Decode(cp932, sjis);
    Source source = kCp932;
    if (codePoints.size() != 1) {
      unsigned char x0212[3] = {0x8F, 0, 0};
      x0212[1] = static_cast<unsigned char>(jis >> 8 | 0x80);
      x0212[2] = static_cast<unsigned char>((jis & 0xFF) | 0x80);
      codePoints = Decode(euc, x0212);
      source = kJisX0212;
    }
    if (codePoints.size() == 1) collected.freeCodes.push_back(Pair{codePoints[0], jis, source});
  });
}

bool CountsExpected(const Collected& collected) {
  if (collected.jisX0208.size() == kJisX0208Characters && collected.plane1 == kPlane1Characters)
    return true;
  fprintf(stderr,
          "make_unicode_table: iconv gives %zu JIS X 0208 characters and %zu of plane 1, not %zu "
          "and %zu\n",
          collected.jisX0208.size(), collected.plane1, kJisX0208Characters, kPlane1Characters);
  return false;
}

bool Collect(Collected& collected) {
  iconv_t euc = iconv_open("UTF-32LE", "EUC-JP");
  iconv_t cp932 = iconv_open("UTF-32LE", "CP932");
  iconv_t x0213 = iconv_open("UTF-32LE", "EUC-JISX0213");
  const iconv_t none = reinterpret_cast<iconv_t>(-1);
  const bool opened = euc != none && cp932 != none && x0213 != none;
  if (opened) {
    CollectJisX0208(euc, cp932, collected);
    CollectJisX0213(x0213, collected);
    CollectFreeCodes(euc, cp932, collected);
  } else {
    fputs("make_unicode_table: iconv lacks EUC-JP, CP932 or EUC-JISX0213\n", stderr);
  }
  for (iconv_t converter : {euc, cp932, x0213})
    if (converter != none) iconv_close(converter);
  return opened && CountsExpected(collected);
}

// Sorted by code point, each code point once: the pair of the earliest source
// is kept, and a CP932 pair that lost goes to `fallbacks`.
void SortAndMerge(std::vector<Pair>& pairs, std::vector<Pair>& fallbacks) {
  std::stable_sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
    return a.codePoint != b.codePoint ? a.codePoint < b.codePoint : a.source < b.source;
  });
  std::vector<Pair> merged;
  for (const Pair& pair : pairs) {
    if (merged.empty() || merged.back().codePoint != pair.codePoint)
      merged.push_back(pair);
    else if (pair.source == kCp932 && pair.jis != merged.back().jis)
      fallbacks.push_back(pair);
  }
  pairs.swap(merged);
}

void WritePairs(const char* name, const std::vector<Pair>& pairs, FILE* out) {
  fprintf(out, "const UnicodeJisPair %s[] = {\n", name);
  for (const Pair& pair : pairs)
    fprintf(out, "    {0x%X, 0x%X, %s},\n", pair.codePoint, pair.jis, kSourceNames[pair.source]);
  fprintf(out, "};\nconst size_t %sCount = sizeof %s / sizeof %s[0];\n\n", name, name, name);
}

bool WriteTable(const Collected& collected, const std::vector<Pair>& fallbacks, FILE* out) {
  fputs(
      "// SPDX-License-Identifier: MIT\n"
      "// Made by kanji/make_unicode_table.cpp from glibc's iconv tables of EUC-JP, CP932\n"
      "// and EUC-JISX0213; a test checks it against them. Do not edit.\n"
      "// clang-format off\n"
      "#include \"kanji_internal.h\"\n\n",
      out);
  WritePairs("kUnicodeJisPairs", collected.pairs, out);
  WritePairs("kUnicodeJisFallbacks", fallbacks, out);
  WritePairs("kFreeCodeReadings", collected.freeCodes, out);
  fputs("const uint16_t kJisCombiningSequences[] = {\n", out);
  for (int jis : collected.sequences) fprintf(out, "    0x%X,\n", jis);
  fputs(
      "};\nconst size_t kJisCombiningSequenceCount =\n"
      "    sizeof kJisCombiningSequences / sizeof kJisCombiningSequences[0];\n",
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
  Collected collected;
  if (!Collect(collected)) return 1;
  std::vector<Pair> fallbacks;
  SortAndMerge(collected.pairs, fallbacks);
  const std::string path = argv[1];
  const std::string temporary = path + ".tmp";
  FILE* out = fopen(temporary.c_str(), "w");
  bool written = out != nullptr && WriteTable(collected, fallbacks, out);
  if (out != nullptr) written = fclose(out) == 0 && written;
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
    perror(path.c_str());
    remove(temporary.c_str());
    return 1;
  }
  return 0;
}
