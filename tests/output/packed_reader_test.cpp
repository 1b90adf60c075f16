// SPDX-License-Identifier: MIT
// The output layer's reader of packed glyph files gives the decoder's
// verdict on every case and keeps the record as it was when it refuses.
#include "../qpk/packed_cases.h"
#include "output.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace packed_cases;

TEST(ReadPackedGlyphs, TheDecodersVerdictIntoTheRecord) {
  TempDir dir;
  for (const DecoderCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    PackedGlyphs packed{7, {1, 2, 3}};
    PackedRefusal reason = PackedRefusal::None;
    const bool accepted = ReadPackedGlyphs(packed, CaseFile(dir, c).c_str(), reason);
    EXPECT_EQ(reason, c.reason) << PackedRefusalText(reason);
    EXPECT_EQ(accepted, c.reason == PackedRefusal::None);
    int32_t size = 7;
    Bytes expected = {1, 2, 3};
    if (accepted) {
      ASSERT_TRUE(DecodePackedFile(c.file, size, expected));
    }
    EXPECT_EQ(packed.cellSize, size);
    EXPECT_EQ(packed.bytes, expected);
  }
}

}  // namespace
