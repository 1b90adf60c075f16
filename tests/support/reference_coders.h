// SPDX-License-Identifier: MIT
// The two run-length coders written the slow, literal way, one item at a
// time with pending lists, as the file formats define them. The fast coders
// must produce exactly the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The rule both formats share, over the items 0 .. count - 1. Equal
// neighbours gather into a pending run, which holds every item of the run
// but its last and is sent out at 121 (runs of 122 at the most); any other
// item joins the pending literals, sent out 121 at a time and ahead of any
// run. putRun(first, pending) and putRaw(first, count) get item indexes.
template <class Equal, class PutRun, class PutRaw>
void CodeOneAtATime(size_t count, Equal equal, PutRun putRun, PutRaw putRaw) {
  size_t runStart = 0, runCount = 0, rawStart = 0, rawCount = 0;
  for (size_t i = 0; i < count; ++i) {
    if (i + 1 < count && equal(i, i + 1) && runCount < 121) {
      if (runCount == 0) runStart = i;
      ++runCount;
      if (rawCount != 0) putRaw(rawStart, rawCount);
      rawCount = 0;
    } else if (runCount != 0) {
      putRun(runStart, runCount);  // item i is the run's last
      runCount = 0;
    } else {
      if (rawCount == 0) rawStart = i;
      if (++rawCount == 121) {
        putRaw(rawStart, rawCount);
        rawCount = 0;
      }
    }
  }
  if (rawCount != 0) putRaw(rawStart, rawCount);
}

inline std::vector<uint8_t> ReferencePackedPackets(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  CodeOneAtATime(
      data.size(), [&](size_t a, size_t b) { return data[a] == data[b]; },
      [&](size_t first, size_t pending) {
        out.push_back(static_cast<uint8_t>(0x80 + pending));
        out.push_back(data[first]);
      },
      [&](size_t first, size_t count) {
        out.push_back(static_cast<uint8_t>(count - 1));
        out.insert(out.end(), data.begin() + static_cast<long>(first),
                   data.begin() + static_cast<long>(first + count));
      });
  return out;
}

// Pixels as 32-bit values in memory order r, g, b, a; packets as in the file.
inline std::vector<uint8_t> ReferenceTgaRowPackets(const std::vector<uint32_t>& row) {
  std::vector<uint8_t> out;
  auto putPixel = [&](uint32_t p) {  // b, g, r, a
    out.push_back(static_cast<uint8_t>(p >> 16));
    out.push_back(static_cast<uint8_t>(p >> 8));
    out.push_back(static_cast<uint8_t>(p));
    out.push_back(static_cast<uint8_t>(p >> 24));
  };
  CodeOneAtATime(
      row.size(), [&](size_t a, size_t b) { return row[a] == row[b]; },
      [&](size_t first, size_t pending) {
        out.push_back(static_cast<uint8_t>(0x80 + pending));
        putPixel(row[first]);
      },
      [&](size_t first, size_t count) {
        out.push_back(static_cast<uint8_t>(count - 1));
        for (size_t k = first; k < first + count; ++k) putPixel(row[k]);
      });
  return out;
}
