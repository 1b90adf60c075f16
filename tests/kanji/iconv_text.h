// SPDX-License-Identifier: MIT
// The system's iconv, for checking the library's Unicode handling against an
// independent source.
#pragma once

#include <iconv.h>

#include <string>

struct Iconv {
  iconv_t converter;
  Iconv(const char* to, const char* from) : converter(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(converter);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return converter != reinterpret_cast<iconv_t>(-1); }

  // False when iconv cannot convert the whole text.
  bool Convert(const std::string& text, std::string& out) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::string input = text;
    out.assign(text.size() * 4 + 8, '\0');
    char* in = input.data();
    char* next = out.data();
    size_t inLeft = input.size(), outLeft = out.size();
    const bool whole =
        iconv(converter, &in, &inLeft, &next, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    out.resize(out.size() - outLeft);
    return whole;
  }
};

// The one code point iconv makes of `bytes` with a converter to "UTF-32LE";
// -1 when it makes none or several.
inline long CodePointOf(Iconv& toUtf32, const std::string& bytes) {
  std::string out;
  if (!toUtf32.Convert(bytes, out) || out.size() != 4) return -1;
  const auto byte = [&](int i) { return static_cast<long>(static_cast<unsigned char>(out[i])); };
  return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}
