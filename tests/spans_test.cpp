#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include <fb/gfx/spans.h>

using namespace fb;

namespace {

// Both sets must leave identical memory, guard bytes included, for every
// length and start alignment; the buffers start in random garbage.
TEST(Spans, PackedFillMatchesPlain) {
  if (!(CpuFeatures() & CPU_SSE2)) GTEST_SKIP() << "no packed instructions on this processor";
  std::mt19937 rng(7);
  for (int bpp : {1, 2, 4}) {
    for (size_t count = 0; count <= 300; ++count) {
      for (size_t offset = 0; offset < 64; offset += size_t(bpp)) {
        std::vector<uint8_t> a(count * 4 + 160), b;
        for (auto& v : a) v = uint8_t(rng());
        b = a;
        uint32_t value = rng();
        PlainSpans(bpp).FillSpan(a.data() + 16 + offset, value, count);
        PackedSpans(bpp).FillSpan(b.data() + 16 + offset, value, count);
        ASSERT_EQ(a, b) << "bpp " << bpp << " count " << count << " offset " << offset;
      }
    }
  }
}

TEST(Spans, PackedCopyMatchesPlain) {
  if (!(CpuFeatures() & CPU_SSE2)) GTEST_SKIP() << "no packed instructions on this processor";
  std::mt19937 rng(11);
  for (int bpp : {1, 2, 4}) {
    for (size_t count = 0; count <= 300; ++count) {
      for (size_t offset = 0; offset < 64; offset += size_t(bpp) * 3) {
        std::vector<uint8_t> src(count * 4 + 160), a(count * 4 + 160), b;
        for (auto& v : src) v = uint8_t(rng());
        for (auto& v : a) v = uint8_t(rng());
        b = a;
        size_t srcOffset = (offset * 7) % 32 / size_t(bpp) * size_t(bpp);
        PlainSpans(bpp).CopySpan(a.data() + 16 + offset, src.data() + srcOffset, count);
        PackedSpans(bpp).CopySpan(b.data() + 16 + offset, src.data() + srcOffset, count);
        ASSERT_EQ(a, b) << "bpp " << bpp << " count " << count << " offset " << offset;
      }
    }
  }
}

TEST(Spans, FillWritesTheValueInPixelUnits) {
  for (const SpanRoutines* set : {&PlainSpans(2), &PackedSpans(2)}) {
    uint16_t buffer[40] = {};
    set->FillSpan(buffer + 1, 0x1234F81F, 37);
    EXPECT_EQ(buffer[0], 0);
    for (int i = 1; i <= 37; ++i) EXPECT_EQ(buffer[i], 0xF81F);
    EXPECT_EQ(buffer[38], 0);
  }
}

TEST(Spans, ForcedFeaturesSelectThePlainSet) {
  ForceCpuFeatures(0);
  EXPECT_EQ(CpuFeatures(), 0u);
  EXPECT_EQ(PackedSpans(4).FillSpan, PlainSpans(4).FillSpan);
  ForceCpuFeatures(~0u);
}

}  // namespace
