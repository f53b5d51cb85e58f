// Framebuffer rows converted into display surface pixels: every pair of
// framebuffer depth class and display format that has a converter, with
// red and blue exchanged on displays that keep red in the low bits.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <fb/platform/surface_convert.h>

using namespace fb;

namespace {

// The three framebuffer pixels every row holds: a colour whose channels
// differ (0x12, 0x34, 0x56), white and black.  The 5-6-5 one is (2, 13,
// 10), which widens to (0x10, 0x34, 0x52).
constexpr uint32_t ROW32[3] = {0xFF123456, 0xFFFFFFFF, 0xFF000000};
constexpr uint16_t ROW565[3] = {0x11AA, 0xFFFF, 0x0000};
constexpr uint8_t ROW_INDEXED[3] = {5, 200, 0};

struct Expected {
  const char* what;
  DisplayPixelFormat format;
  uint32_t colour32;   // ROW32[0] on the display
  uint32_t colour565;  // ROW565[0] on the display
  uint32_t white;
};

// Worked out by hand from the channel layouts, not from the converters.
const Expected FORMATS[] = {
    {"32 bits", {32, false}, 0x123456, 0x103452, 0xFFFFFF},
    {"32 bits, red low", {32, true}, 0x563412, 0x523410, 0xFFFFFF},
    {"24 bits", {24, false}, 0x123456, 0x103452, 0xFFFFFF},
    {"24 bits, red low", {24, true}, 0x563412, 0x523410, 0xFFFFFF},
    {"16 bits (5-6-5)", {16, false}, 0x11AA, 0x11AA, 0xFFFF},
    {"16 bits, red low", {16, true}, 0x51A2, 0x51A2, 0xFFFF},
    {"15 bits (5-5-5)", {15, false}, 0x08CA, 0x08CA, 0x7FFF},
    {"15 bits, red low", {15, true}, 0x28C2, 0x28C2, 0x7FFF},
};

// The display pixels of a converted row; a 32-bit display shows no top byte.
std::vector<uint32_t> Decode(const std::vector<uint8_t>& out, DisplayPixelFormat format,
                             int count) {
  const int bytes = DisplayBytesPerPixel(format);
  std::vector<uint32_t> pixels;
  for (int i = 0; i < count; ++i) {
    uint32_t p = 0;
    std::memcpy(&p, out.data() + size_t(i) * size_t(bytes), size_t(bytes));
    pixels.push_back(format.bits == 32 ? p & 0xFFFFFF : p);
  }
  return pixels;
}

TEST(SurfaceConvert, EveryDepthClassOntoEveryDisplayFormat) {
  for (const Expected& e : FORMATS) {
    SCOPED_TRACE(e.what);
    uint32_t palette[256] = {};
    palette[5] = DisplayPixelOf(e.format, 0x563412);  // entries are 0x00BBGGRR
    palette[200] = DisplayPixelOf(e.format, 0xFFFFFF);
    palette[0] = DisplayPixelOf(e.format, 0);
    struct Source {
      int bpp;
      const void* row;
      uint32_t colour;
    } sources[] = {{4, ROW32, e.colour32}, {2, ROW565, e.colour565}, {1, ROW_INDEXED, e.colour32}};
    for (const Source& source : sources) {
      SCOPED_TRACE(source.bpp);
      const RowConverter convert = ChooseRowConverter(source.bpp, e.format);
      ASSERT_NE(convert, nullptr);
      for (int scale : {1, 2, 3}) {
        SCOPED_TRACE(scale);
        const int bytes = DisplayBytesPerPixel(e.format);
        // One pixel's worth of guard bytes after the row.
        std::vector<uint8_t> out(size_t(3 * scale + 1) * size_t(bytes), 0xAB);
        convert(static_cast<const uint8_t*>(source.row), out.data(), 3, scale, palette);
        std::vector<uint32_t> expected;
        for (uint32_t pixel : {source.colour, e.white, 0u})
          expected.insert(expected.end(), size_t(scale), pixel);
        EXPECT_EQ(Decode(out, e.format, 3 * scale), expected);
        for (size_t i = size_t(3 * scale) * size_t(bytes); i < out.size(); ++i)
          ASSERT_EQ(out[i], 0xAB) << "written past the row";
      }
    }
  }
}

TEST(SurfaceConvert, PairsWithoutAConverter) {
  for (int bpp : {1, 2, 4}) {
    EXPECT_EQ(ChooseRowConverter(bpp, {8, false}), nullptr) << "a palette-based display";
  }
  EXPECT_EQ(ChooseRowConverter(3, {32, false}), nullptr);
  EXPECT_EQ(ChooseRowConverter(4, {12, false}), nullptr);
}

TEST(SurfaceConvert, FormatsFromChannelMasks) {
  struct Case {
    uint32_t bits, red, green, blue;
    int32_t format;
    bool redLow;
  } cases[] = {
      {32, 0xFF0000, 0xFF00, 0xFF, 32, false}, {32, 0xFF, 0xFF00, 0xFF0000, 32, true},
      {24, 0xFF0000, 0xFF00, 0xFF, 24, false}, {16, 0xF800, 0x7E0, 0x1F, 16, false},
      {16, 0x1F, 0x7E0, 0xF800, 16, true},     {16, 0x7C00, 0x3E0, 0x1F, 15, false},
      {16, 0x1F, 0x3E0, 0x7C00, 15, true},     {8, 0, 0, 0, 8, false},
  };
  for (const Case& c : cases) {
    const DisplayPixelFormat f = DisplayFormatOf(c.bits, c.red, c.green, c.blue);
    EXPECT_EQ(f.bits, c.format) << c.bits << " " << std::hex << c.red;
    EXPECT_EQ(f.redLow, c.redLow) << c.bits << " " << std::hex << c.red;
  }
}

}  // namespace
