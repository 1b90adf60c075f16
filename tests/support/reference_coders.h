// The two run-length coders written the slow, literal way, one item at a
// time with pending lists, as the file formats define them. The fast coders
// must produce exactly the same bytes.
#pragma once

#include <cstdint>
#include <vector>

inline std::vector<uint8_t> ReferencePackedPackets(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out, run, raw;
  auto writeRun = [&] {
    if (run.empty()) return;
    out.push_back(static_cast<uint8_t>(0x80 + run.size()));
    out.push_back(run[0]);
    run.clear();
  };
  auto writeRaw = [&] {
    if (raw.empty()) return;
    out.push_back(static_cast<uint8_t>(raw.size() - 1));
    out.insert(out.end(), raw.begin(), raw.end());
    raw.clear();
  };
  for (size_t p = 0; p < data.size(); ++p) {
    const bool last = p + 1 == data.size();
    if (!last && data[p] == data[p + 1] && run.size() <= 120) {
      run.push_back(data[p]);
      writeRaw();
    } else if (!run.empty()) {
      writeRun();
    } else {
      raw.push_back(data[p]);
      if (raw.size() == 121 || last) writeRaw();
    }
  }
  return out;
}

// Pixels as 32-bit values in memory order r, g, b, a; packets as in the file.
inline std::vector<uint8_t> ReferenceTgaRowPackets(const std::vector<uint32_t>& row) {
  std::vector<uint8_t> out;
  std::vector<uint32_t> run, literals;
  auto putPixel = [&](uint32_t p) {  // b, g, r, a
    out.push_back(static_cast<uint8_t>(p >> 16));
    out.push_back(static_cast<uint8_t>(p >> 8));
    out.push_back(static_cast<uint8_t>(p));
    out.push_back(static_cast<uint8_t>(p >> 24));
  };
  auto putRun = [&] {
    out.push_back(static_cast<uint8_t>(0x80 + run.size()));
    putPixel(run[0]);
    run.clear();
  };
  auto putRaw = [&] {
    out.push_back(static_cast<uint8_t>(literals.size() - 1));
    for (uint32_t p : literals) putPixel(p);
    literals.clear();
  };
  for (size_t i = 0; i < row.size(); ++i) {
    if (i + 1 < row.size() && row[i] == row[i + 1]) {
      if (run.size() == 121) {
        putRun();
      } else {
        run.push_back(row[i]);
        if (!literals.empty()) putRaw();
      }
    } else if (!run.empty()) {
      putRun();
    } else {
      literals.push_back(row[i]);
      if (literals.size() == 121) putRaw();
    }
  }
  if (!literals.empty()) putRaw();
  return out;
}
