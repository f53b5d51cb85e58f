// Blitting: the blend arithmetic against a reference written from the
// per-byte rule, the packed sets against the plain set on random data, and
// PutImage's rectangle, coordinate, clipping and failure handling.
#include <fb/gfx/blit.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include <fb/gfx/blit_packed.h>
#include <fb/gfx/primitives.h>
#include <fb/gfx/spans.h>
#include <fb/platform/runtime.h>
#include <fb/platform/screen.h>

namespace fb {
namespace {

constexpr uint32_t BLACK = 0xFF000000u;

// The sets this processor can run, plain first (the reference).
struct NamedTable {
  const char* name;
  const BlitTable* (*table)(PutMode);
};
std::vector<NamedTable> Sets() {
  std::vector<NamedTable> sets = {{"plain", PlainBlitTable}, {"sse2", Sse2BlitTable}};
  if (CpuFeatures() & CPU_AVX2) sets.push_back({"avx2", Avx2BlitTable});
  return sets;
}

// d + floor((s - d) * a / den), written out with a floor division so that
// it shares nothing with the routines' unsigned forms.
int Step(int s, int d, int a, int den) {
  int num = (s - d) * a;
  int q = num >= 0 ? num / den : -((-num + den - 1) / den);
  return d + q;
}

uint16_t Pack565(int r, int g, int b) { return uint16_t(r << 11 | g << 5 | b); }

TEST(BlendArithmetic, BlueOntoGreenAt200) {
  for (const NamedTable& set : Sets()) {
    uint32_t s = 0xFF0000FFu, d = 0xFF00FF00u;
    set.table(PutMode::Blend)->byBpp[3](reinterpret_cast<uint8_t*>(&s),
                                       reinterpret_cast<uint8_t*>(&d), 1, 1, 4, 4, 200, 0, 0);
    EXPECT_EQ(d, 0xFF0036C8u) << set.name;
  }
}

// Every (s, d) byte pair in every byte position: row s of the source holds
// s or 255 - s in alternating bytes, pixel d of the destination holds d or
// 255 - d in a different pattern, so each lane meets all 65536 pairs.
TEST(BlendArithmetic, FloorRuleForEveryBytePair32) {
  auto bytes = [](int v, bool a, bool b, bool c, bool e) {
    return uint32_t(a ? v : 255 - v) | uint32_t(b ? v : 255 - v) << 8 |
           uint32_t(c ? v : 255 - v) << 16 | uint32_t(e ? v : 255 - v) << 24;
  };
  std::vector<uint32_t> src(256 * 256), start(256 * 256);
  for (int s = 0; s < 256; ++s)
    for (int d = 0; d < 256; ++d) {
      src[size_t(s * 256 + d)] = bytes(s, true, true, false, false);
      start[size_t(s * 256 + d)] = bytes(d, true, false, true, false);
    }
  // No source pixel is transparent: that needs blue 255 and green 0.
  for (const NamedTable& set : Sets())
    for (int alpha : {0, 1, 127, 200, 254, 255}) {
      std::vector<uint32_t> dst = start;
      set.table(PutMode::Blend)->byBpp[3](reinterpret_cast<uint8_t*>(src.data()),
                                         reinterpret_cast<uint8_t*>(dst.data()), 256, 256,
                                         1024, 1024, alpha, 0, 0);
      int bad = 0;
      for (size_t i = 0; i < dst.size() && bad < 5; ++i)
        for (int shift = 0; shift < 32; shift += 8) {
          int s = int(src[i] >> shift & 0xFF), d = int(start[i] >> shift & 0xFF);
          int want = alpha == 0 ? d : Step(s, d, alpha + 1, 256);
          if (int(dst[i] >> shift & 0xFF) != want) {
            ADD_FAILURE() << set.name << " alpha " << alpha << " s " << s << " d " << d
                          << " byte " << shift / 8 << " got " << (dst[i] >> shift & 0xFF)
                          << " want " << want;
            ++bad;
          }
        }
    }
}

// Every field pair of 5-6-5 at an odd width, with transparent source pixels
// mixed in (they must keep d, also when they share a pair with a blended one).
TEST(BlendArithmetic, FloorRuleForEveryFieldPair16) {
  const int width = 63;  // odd: the plain set's single leading pixel, then pairs
  std::vector<uint16_t> src, start;
  for (int s = 0; s < 64; ++s)
    for (int d = 0; d < width; ++d) {
      bool key = (s * 7 + d) % 11 == 0;
      src.push_back(key ? uint16_t(TRANSPARENT_COLOR_16) : Pack565(31 - (s & 31), s, s & 31));
      start.push_back(Pack565(d & 31, 63 - d, 31 - (d & 31)));
    }
  for (const NamedTable& set : Sets())
    for (int alpha : {1, 8, 9, 100, 200, 248, 249, 255, -1}) {
      const int w = ((alpha & 0xFF) + 7) / 8;
      std::vector<uint16_t> dst = start;
      set.table(PutMode::Blend)->byBpp[1](reinterpret_cast<uint8_t*>(src.data()),
                                         reinterpret_cast<uint8_t*>(dst.data()), width, 64,
                                         2 * width, 2 * width, alpha, 0, 0);
      for (size_t i = 0; i < dst.size(); ++i) {
        const int s = src[i], d = start[i];
        const uint16_t want =
            s == int(TRANSPARENT_COLOR_16)
                ? uint16_t(d)
                : Pack565(Step(s >> 11, d >> 11, w, 32), Step(s >> 5 & 63, d >> 5 & 63, w, 32),
                          Step(s & 31, d & 31, w, 32));
        ASSERT_EQ(dst[i], want) << set.name << " alpha " << alpha << " at " << i;
      }
    }
}

// Packed sets against the plain set: random pixels (with transparent ones
// of every alpha byte), widths 1..70, random start offsets in both buffers,
// edge alphas.  The whole destination is compared, so a stray write
// outside the rectangle shows too.
TEST(BlitSets, PackedEqualsPlainOnRandomData) {
  std::mt19937 rng(12345);
  const uint32_t keys32[] = {0x00FF00FFu, 0x80FF00FFu, 0xFFFF00FFu, 0x12FF00FFu};
  const int alphas[] = {0, 1, 254, 255, -1, 200, 256, 7, 0x12345678};
  struct Case {
    PutMode mode;
    int srcBpp, dstBpp;
  };
  const Case cases[] = {{PutMode::Transparent, 1, 1}, {PutMode::Transparent, 2, 2},
                        {PutMode::Transparent, 4, 4}, {PutMode::Blend, 1, 1},
                        {PutMode::Blend, 2, 2},       {PutMode::Blend, 4, 4},
                        {PutMode::Alpha, 1, 4}};
  const int height = 3, pitch = 80 * 4 + 16;
  std::vector<uint8_t> src(size_t(pitch) * height), start(size_t(pitch) * height);
  for (const Case& c : cases)
    for (int width = 1; width <= 70; ++width)
      for (int alpha : alphas) {
        for (size_t i = 0; i < src.size(); i += 4) {
          uint32_t v = rng(), u = rng();
          if (rng() % 3 == 0) v = c.srcBpp == 4 ? keys32[rng() % 4]
                                  : c.srcBpp == 2 ? (v & 0xFFFF0000u) | TRANSPARENT_COLOR_16
                                                  : v & 0xFFFFFF00u;
          if (c.srcBpp == 2 && rng() % 4 == 0) v = (v & 0xFFFF) | TRANSPARENT_COLOR_16 << 16;
          std::memcpy(&src[i], &v, 4);
          std::memcpy(&start[i], &u, 4);
        }
        const int srcOff = int(rng() % 9) * c.srcBpp, dstOff = int(rng() % 9) * c.dstBpp;
        std::vector<uint8_t> want = start;
        PlainBlitTable(c.mode)->byBpp[c.dstBpp - 1](src.data() + srcOff, want.data() + dstOff,
                                                    width, height, pitch, pitch, alpha, 0, 0);
        for (const NamedTable& set : Sets()) {
          std::vector<uint8_t> got = start;
          set.table(c.mode)->byBpp[c.dstBpp - 1](src.data() + srcOff, got.data() + dstOff,
                                                 width, height, pitch, pitch, alpha, 0, 0);
          ASSERT_EQ(got, want) << set.name << " mode " << int(c.mode) << " bpp " << c.dstBpp
                               << " width " << width << " alpha " << alpha;
        }
      }
}

// Wide rows whose transparent pixels cluster, so that some stretches hold
// none and others hold several: the packed sets treat such stretches
// differently and must still give the plain set's pixels.
TEST(BlitSets, WideRowsWithAndWithoutTransparentStretches) {
  std::mt19937 rng(21);
  const int height = 4, pitch = 1040 * 4;
  std::vector<uint8_t> src(size_t(pitch) * height), start(size_t(pitch) * height);
  for (int width : {65, 127, 128, 129, 200, 333, 1024})
    for (int pattern = 0; pattern < 4; ++pattern)
      for (PutMode mode : {PutMode::Transparent, PutMode::Blend}) {
        for (size_t i = 0; i < src.size(); i += 4) {
          const size_t x = (i % size_t(pitch)) / 4;
          // 0: opaque; 1: a key every 100 pixels; 2: keys in every other
          // stretch of 64; 3: a key in the last pixel of each row.
          const bool key = (pattern == 1 && x % 100 == 37) ||
                           (pattern == 2 && (x / 64) % 2 == 1 && rng() % 4 == 0) ||
                           (pattern == 3 && int(x) == width - 1);
          const uint32_t v = key ? 0x12FF00FFu : uint32_t(rng()), d = uint32_t(rng());
          std::memcpy(&src[i], &v, 4);
          std::memcpy(&start[i], &d, 4);
        }
        std::vector<uint8_t> want = start;
        PlainBlitTable(mode)->byBpp[3](src.data(), want.data(), width, height, pitch, pitch, 255,
                                       0, 0);
        for (const NamedTable& set : Sets()) {
          std::vector<uint8_t> got = start;
          set.table(mode)->byBpp[3](src.data(), got.data(), width, height, pitch, pitch, 255, 0, 0);
          ASSERT_EQ(got, want) << set.name << " mode " << int(mode) << " width " << width
                               << " pattern " << pattern;
        }
      }
}

// Sprite-sized rows whose transparent pixels lie at their ends, as a
// sprite's corners do: the packed sets store a step of eight opaque pixels,
// skip one of eight transparent ones, select in the others, and write a
// row's last width % 8 pixels in pieces of 4, 2 and 1 that are each
// opaque, transparent or mixed.  Row (lead, trail) has its first lead and
// last trail pixels transparent; the last rows are random.
TEST(BlitSets, SpriteRowsWithTransparentEnds) {
  std::mt19937 rng(33);
  const int ends[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 12, 16};
  constexpr int endCount = int(std::size(ends)), rows = endCount * endCount + 4;
  const int pitch = 64 * 4 + 16;
  std::vector<uint8_t> src(size_t(pitch) * rows), start(size_t(pitch) * rows);
  for (int width = 1; width <= 64; ++width) {
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < width; ++x) {
        const bool random = y >= endCount * endCount;
        const int lead = random ? 0 : ends[y / endCount], trail = random ? 0 : ends[y % endCount];
        const bool key = random ? rng() % 2 == 0 : x < lead || x >= width - trail;
        const uint32_t v = key ? 0x40FF00FFu : 0xC0000000u | (rng() & 0xFFFFFF), d = rng();
        std::memcpy(&src[size_t(y) * pitch + size_t(x) * 4], &v, 4);
        std::memcpy(&start[size_t(y) * pitch + size_t(x) * 4], &d, 4);
      }
    for (PutMode mode : {PutMode::Transparent, PutMode::Blend}) {
      std::vector<uint8_t> want = start;
      PlainBlitTable(mode)->byBpp[3](src.data(), want.data(), width, rows, pitch, pitch, 255, 0, 0);
      for (const NamedTable& set : Sets()) {
        std::vector<uint8_t> got = start;
        set.table(mode)->byBpp[3](src.data(), got.data(), width, rows, pitch, pitch, 255, 0, 0);
        ASSERT_EQ(got, want) << set.name << " mode " << int(mode) << " width " << width;
      }
    }
  }
}

// Alpha 0 in PutMode::Blend draws nothing at every depth and in every set,
// opaque and transparent source pixels alike.
TEST(BlitSets, BlendAtAlphaZeroLeavesTheTarget) {
  std::mt19937 rng(3);
  const int width = 37, height = 3, pitch = 160;
  std::vector<uint8_t> src(size_t(pitch) * height), start(size_t(pitch) * height);
  for (uint8_t& b : src) b = uint8_t(rng() % 4 ? rng() | 1 : 0);  // some key bytes at 1 byte
  for (uint8_t& b : start) b = uint8_t(rng());
  for (const NamedTable& set : Sets())
    for (int bpp : {1, 2, 4}) {
      std::vector<uint8_t> dst = start;
      set.table(PutMode::Blend)->byBpp[bpp - 1](src.data(), dst.data(), width, height, pitch,
                                               pitch, 0, 0, 0);
      EXPECT_EQ(dst, start) << set.name << " bpp " << bpp;
    }
}

// PutImage on a small screen opened with the Null driver.
class PutImageTest : public ::testing::Test {
 protected:
  void Open(int depth, int width = 32, int height = 24) {
    ASSERT_EQ(SetScreenMode(width, height, depth, 0, SCREEN_NULL, 0), 0);
    screen = Screen();
    std::memset(screen->dirtyRows, 0, size_t(screen->height));
  }
  void TearDown() override {
    for (Image* image : images) DestroyImage(image);
    CloseScreen();
    ForceCpuFeatures(~0u);
  }
  // A 32-bit image whose pixel (x, y) is Numbered(x, y), never transparent.
  static uint32_t Numbered(int x, int y) { return 0xAA000000u | uint32_t(y << 8 | x); }
  Image* NumberedImage(int w, int h) {
    Image* image = CreateImage(w, h, 0, 32, -1);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Row(image, y)[x] = Numbered(x, y);
    images.push_back(image);
    return image;
  }
  static uint32_t* Row(Image* image, int y) {
    return reinterpret_cast<uint32_t*>(ImagePixels(image) + size_t(y) * image->pitch);
  }
  uint32_t At(int x, int y) const {
    uint32_t v;
    std::memcpy(&v, screen->framebuffer + size_t(y) * size_t(screen->pitch) + size_t(x) * 4, 4);
    return v;
  }
  // The screen must show image pixel (x - px, y - py) inside the footprint
  // and black elsewhere; dirty rows exactly those drawn.
  void ExpectPlaced(int px, int py, int w, int h, int sx = 0, int sy = 0) {
    for (int y = 0; y < screen->height; ++y) {
      bool rowDrawn = y >= py && y < py + h && px < screen->width && px + w > 0;
      EXPECT_EQ(screen->dirtyRows[y], rowDrawn ? 1 : 0) << "row " << y;
      for (int x = 0; x < screen->width; ++x) {
        bool inside = x >= px && x < px + w && y >= py && y < py + h;
        uint32_t want = inside ? Numbered(x - px + sx, y - py + sy) : BLACK;
        ASSERT_EQ(At(x, y), want) << "pixel " << x << "," << y;
      }
    }
  }
  ScreenContext* screen = nullptr;
  std::vector<Image*> images;
  // What a call left behind, for comparing two ways of drawing.
  struct Outcome {
    int32_t result, error, lockCount;
    PointF lastPoint;
    std::vector<uint8_t> dirty, pixels;
  };
  Outcome results[2];
};

TEST_F(PutImageTest, ClipsAtEveryEdge) {
  struct Case {
    float x, y;
    int px, py;  // where the image's top-left pixel lands
  };
  const Case cases[] = {
      {-8, -8, -8, -8},   {24, 16, 24, 16}, {-8, 10, -8, 10}, {20, -3, 20, -3},
      {-16, 0, -16, 0},   {32, 0, 32, 0},   {0, 24, 0, 24},   {0, -16, 0, -16},
      {10.5f, 2, 11, 2},  {-0.5f, 1, -1, 1}, {5, 3, 5, 3},
  };
  for (const Case& c : cases) {
    Open(32);
    Image* image = NumberedImage(16, 16);
    SetLastError(5);
    EXPECT_EQ(PutImage(nullptr, c.x, c.y, image, PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE,
                       PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE, 0, PutMode::Blend, 255),
              0);
    EXPECT_EQ(LastError(), 0);
    SCOPED_TRACE(testing::Message() << "at " << c.x << "," << c.y);
    ExpectPlaced(c.px, c.py, 16, 16);
    TearDown();
    images.clear();
  }
}

TEST_F(PutImageTest, SourceRectanglesAndCoordinateFlags) {
  struct Case {
    int32_t x1, y1, x2, y2, flags;
    int sx, sy, w, h;  // the part of the image expected
  };
  const Case cases[] = {
      {2, 2, 5, 5, 0, 2, 2, 4, 4},        {5, 5, 2, 2, 0, 2, 2, 4, 4},
      {2, 2, 3, 3, 1, 2, 2, 4, 4},        {-3, 0, 100, 0, 0, 0, 0, 10, 1},
      {9, 7, 50, 50, 0, 9, 7, 1, 1},      {INT32_MAX, 1, INT32_MAX, 0, 1, 9, 1, 1, 1},
      {3, 1, 4, 2, 7, 3, 1, 2, 2},  // flags 7 count as 0
  };
  for (const Case& c : cases) {
    Open(32);
    Image* image = NumberedImage(10, 8);
    EXPECT_EQ(PutImage(nullptr, 4, 3, image, c.x1, c.y1, c.x2, c.y2, c.flags, PutMode::Blend, 255),
              0);
    SCOPED_TRACE(testing::Message() << "rect " << c.x1 << "," << c.y1 << " " << c.x2 << ","
                                    << c.y2 << " flags " << c.flags);
    ExpectPlaced(4, 3, c.w, c.h, c.sx, c.sy);
    TearDown();
    images.clear();
  }
}

TEST_F(PutImageTest, RelativeToLastPoint) {
  Open(32);
  Image* image = NumberedImage(2, 2);
  ASSERT_EQ(PutImage(nullptr, 3, 4, image, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend, 255), 0);
  std::memset(screen->dirtyRows, 0, size_t(screen->height));
  ASSERT_EQ(PutImage(nullptr, 2, 1, image, PUT_WHOLE_IMAGE, 0, 0, 0, 2, PutMode::Blend, 255), 0);
  EXPECT_EQ(GetDrawContext()->lastPoint.x, 5.0f);
  EXPECT_EQ(GetDrawContext()->lastPoint.y, 5.0f);
  EXPECT_EQ(At(5, 5), Numbered(0, 0));
  EXPECT_EQ(At(6, 6), Numbered(1, 1));
  EXPECT_EQ(screen->dirtyRows[4], 0);
  EXPECT_EQ(screen->dirtyRows[5], 1);
  EXPECT_EQ(screen->dirtyRows[6], 1);
  EXPECT_EQ(screen->dirtyRows[7], 0);
}

TEST_F(PutImageTest, KeyPixelsAndTransparentAlpha) {
  Open(32);
  Image* image = CreateImage(6, 1, 0, 32, -1);
  images.push_back(image);
  const uint32_t pixels[6] = {0x00FF00FFu, 0x80FF00FFu, 0xFFFF00FFu, 0x12FF00FFu, 0xFF123456u,
                              0x01FF00FEu};
  std::memcpy(Row(image, 0), pixels, sizeof pixels);
  ASSERT_EQ(PutImage(nullptr, 0, 0, image, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Transparent, 0), 0);
  ASSERT_EQ(PutImage(nullptr, 0, 1, image, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend, -1), 0);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(At(x, 0), BLACK);
    EXPECT_EQ(At(x, 1), BLACK);
  }
  EXPECT_EQ(At(4, 0), 0x00123456u);  // Transparent clears the alpha byte
  EXPECT_EQ(At(5, 0), 0x00FF00FEu);
  EXPECT_EQ(At(4, 1), 0xFF123456u);  // Blend at -1 is 255: an exact copy
  EXPECT_EQ(At(5, 1), 0x01FF00FEu);
  // Alpha 0 draws nothing and still succeeds.
  ASSERT_EQ(PutImage(nullptr, 0, 2, image, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend, 0), 0);
  EXPECT_EQ(At(4, 2), BLACK);
}

TEST_F(PutImageTest, FailuresDrawNothing) {
  CloseScreen();
  Image dummy{};
  SetLastError(0);
  EXPECT_EQ(PutImage(nullptr, 0, 0, &dummy, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend, 255), 1);
  EXPECT_EQ(LastError(), 1);

  Open(32);
  Image* wide = CreateImage(4, 4, 0x123456, 16, 0);
  Image* grey = CreateImage(4, 4, 0x80, 8, 0);
  Image* colour = NumberedImage(4, 4);
  images.push_back(wide);
  images.push_back(grey);
  struct Case {
    Image* image;
    PutMode mode;
  };
  const Case cases[] = {{nullptr, PutMode::Blend},      {wide, PutMode::Blend},
                        {grey, PutMode::Transparent},   {colour, PutMode::Alpha},
                        {colour, PutMode(3)},           {colour, PutMode(-1)},
                        {colour, PutMode(10)}};
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(PutImage(nullptr, 0, 0, c.image, PUT_WHOLE_IMAGE, 0, 0, 0, 0, c.mode, 255), 1)
        << "mode " << int(c.mode);
    EXPECT_EQ(LastError(), 1);
  }
  for (int y = 0; y < screen->height; ++y) EXPECT_EQ(screen->dirtyRows[y], 0);
  EXPECT_EQ(At(0, 0), BLACK);

  // The one cross-depth blit: a 1-byte image into the alpha bytes.
  ASSERT_EQ(PutImage(nullptr, 1, 1, grey, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Alpha, 0), 0);
  EXPECT_EQ(At(1, 1), 0x80000000u);
  EXPECT_EQ(At(0, 0), BLACK);
}

// PutImage draws a whole 32-bit image in PutMode::Blend onto the screen,
// wholly inside, by a direct way of its own; the same image given as the
// rectangle of all its pixels takes the common steps.  Both must leave
// the same pixels, dirty rows, lastPoint, lock count, result and last
// error, at the screen's edges, at coordinates that round either way, with
// the lock held or not, and after an image was the target.
TEST_F(PutImageTest, WholeImageAgreesWithItsRectangle) {
  struct Case {
    float x, y;
    int32_t alpha;
    bool locked;
    bool imageTargetBefore;
  };
  const float nearHalf = std::nextafter(0.5f, 0.0f);
  const Case cases[] = {
      {5, 3, 255, true, false},         {5, 3, 255, false, false},
      {5, 3, 200, true, false},         {5, 3, 0, true, false},
      {5, 3, -1, false, false},         {5, 3, 0x12345600, true, false},
      {0.5f, 0.5f, 255, true, false},   {nearHalf, 2, 255, true, false},
      {2, nearHalf, 255, true, false},  {0, 0, 255, true, false},
      {10.5f, 4.4999f, 255, true, false}, {11.49f, 10.5f, 255, true, false},
      {11.5f, 10.5f, 255, true, false}, {12.5f, 2, 255, true, false},
      {3, 11.5f, 255, true, false},     {-1.5f, 2, 255, true, false},
      {-0.7f, 2, 255, true, false},     {2, -0.6f, 255, true, false},
      {NAN, 2, 255, true, false},       {2, INFINITY, 255, true, false},
      {1e10f, 2, 255, true, false},     {5, 3, 255, true, true},
  };
  for (uint32_t features : {~0u, 0u})
    for (const Case& c : cases)
      for (bool whole : {true, false}) {
        SCOPED_TRACE(testing::Message() << "at " << c.x << "," << c.y << " alpha " << c.alpha
                                        << (c.locked ? " locked" : "")
                                        << (c.imageTargetBefore ? " after an image" : "")
                                        << " features " << features);
        ForceCpuFeatures(features);
        Open(32, 32, 24);
        std::mt19937 rng(4);
        Image* image = CreateImage(20, 13, 0, 32, -1);
        images.push_back(image);
        for (int y = 0; y < 13; ++y)
          for (int x = 0; x < 20; ++x)
            Row(image, y)[x] = rng() % 3 ? uint32_t(rng()) : 0x00FF00FFu;
        for (size_t i = 0; i < size_t(screen->pitch) * screen->height; ++i)
          screen->framebuffer[i] = uint8_t(rng());
        // A pixel outside selects the target without drawing.  An image as
        // large as the screen would hold the whole sprite, should the direct
        // way mistake it for the screen.
        Image* before = nullptr;
        if (c.imageTargetBefore) images.push_back(before = CreateImage(32, 24, 0, 32, 0));
        SetPixel(before, -9, -9, 0, CoordFlags::Absolute);
        GetDrawContext()->lastPoint = {7, 8};
        // Otherwise the context is ready for the direct way.
        if (!c.imageTargetBefore) {
          ASSERT_EQ(GetDrawContext()->directSerial, screen->modeSerial);
        }
        if (c.locked) ScreenLock();
        SetLastError(5);
        const int32_t result =
            whole ? PutImage(nullptr, c.x, c.y, image, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend,
                             c.alpha)
                  : PutImage(nullptr, c.x, c.y, image, 0, 0, 19, 12, 0, PutMode::Blend, c.alpha);
        results[whole] = {result, LastError(), screen->lockCount, GetDrawContext()->lastPoint,
                          std::vector<uint8_t>(screen->dirtyRows, screen->dirtyRows + 24),
                          std::vector<uint8_t>(screen->framebuffer,
                                               screen->framebuffer + size_t(screen->pitch) * 24)};
        if (c.locked) ScreenUnlock(1, 0);
        TearDown();
        images.clear();
        if (whole) continue;
        const Outcome &a = results[1], &b = results[0];
        EXPECT_EQ(a.result, b.result);
        EXPECT_EQ(a.error, b.error);
        EXPECT_EQ(a.lockCount, b.lockCount);
        EXPECT_EQ(std::memcmp(&a.lastPoint, &b.lastPoint, sizeof(PointF)), 0);
        EXPECT_EQ(a.dirty, b.dirty);
        ASSERT_EQ(a.pixels, b.pixels);
      }
}

// A header made by hand with no rows or no columns holds no pixels: the
// game's call draws nothing, marks no row and succeeds, by either way.
TEST_F(PutImageTest, EmptyImageMarksNoRow) {
  Open(32);
  struct {
    Image header;
    alignas(16) uint32_t pixels[8];
  } empty{};
  for (uint32_t width : {0u, 4u}) {
    empty.header = {IMAGE_TYPE, 4, width, 4 - width, 16, 0, 0};
    for (float x : {0.0f, 3.0f}) {
      SetLastError(5);
      EXPECT_EQ(PutImage(nullptr, x, 3, &empty.header, PUT_WHOLE_IMAGE, 0, 0, 0, 0,
                         PutMode::Blend, 255),
                0);
      EXPECT_EQ(LastError(), 0);
    }
  }
  ExpectPlaced(0, 0, 0, 0);
}

// The same through PutImage, with the screen's plain and packed sets.
TEST_F(PutImageTest, BlendAtAlphaZeroDrawsNothingAtEveryDepth) {
  for (int depth : {8, 16, 32})
    for (uint32_t features : {0u, ~0u}) {
      ForceCpuFeatures(features);
      Open(depth, 40, 12);
      Image* image = CreateImage(33, 9, 0x5A, depth, 0);  // opaque at every depth
      images.push_back(image);
      std::mt19937 rng(8);
      const size_t bytes = size_t(screen->pitch) * screen->height;
      for (size_t i = 0; i < bytes; ++i) screen->framebuffer[i] = uint8_t(rng());
      const std::vector<uint8_t> before(screen->framebuffer, screen->framebuffer + bytes);
      EXPECT_EQ(PutImage(nullptr, 2, 1, image, PUT_WHOLE_IMAGE, 0, 0, 0, 0, PutMode::Blend, 0), 0);
      EXPECT_EQ(std::vector<uint8_t>(screen->framebuffer, screen->framebuffer + bytes), before)
          << "depth " << depth << " features " << features;
      TearDown();
      images.clear();
    }
}

// Through PutImage at every depth: the screen's set, opened once
// with packed instructions forbidden and once with all, must agree.
TEST_F(PutImageTest, ScreenSetsAgreeAtEveryDepth) {
  for (int depth : {32, 16, 8}) {
    std::vector<uint8_t> results[2];
    for (int run = 0; run < 2; ++run) {
      ForceCpuFeatures(run == 0 ? 0u : ~0u);
      Open(depth, 40, 12);
      EXPECT_EQ(bool(screen->flags & SCREEN_MARK_PACKED), run == 1 && CpuFeatures() != 0);
      std::mt19937 rng(99);
      Image* image = CreateImage(37, 9, 0, depth, -1);
      images.push_back(image);
      for (size_t i = 0; i < size_t(image->pitch) * image->height; ++i)
        if (rng() % 4) ImagePixels(image)[i] = uint8_t(rng());
      for (size_t i = 0; i < size_t(screen->pitch) * screen->height; ++i)
        screen->framebuffer[i] = uint8_t(rng());
      for (int alpha : {200, 255, 1})
        ASSERT_EQ(PutImage(nullptr, float(alpha % 5) - 2, 1, image, 1, 0, 35, 8, 0,
                           PutMode::Blend, alpha),
                  0);
      results[run].assign(screen->framebuffer,
                          screen->framebuffer + size_t(screen->pitch) * screen->height);
      TearDown();
      images.clear();
    }
    EXPECT_EQ(results[0], results[1]) << "depth " << depth;
  }
}


// An image put onto itself must read its pixels as they were before the
// call, as if from a copy: shifted each of eight ways by one pixel, a few,
// and a whole packed step, in every set, at every depth and mode, whole or
// a rectangle of it, clipped or not.
TEST_F(PutImageTest, PutOntoItselfReadsTheSourceAsBefore) {
  struct Set {
    const char* name;
    uint32_t features, marks;
  };
  std::vector<Set> sets = {{"plain", 0, 0}};
  if (CpuFeatures() & CPU_SSE2) sets.push_back({"sse2", CPU_SSE2, SCREEN_MARK_PACKED});
  if (CpuFeatures() & CPU_AVX2)
    sets.push_back({"avx2", ~0u, SCREEN_MARK_PACKED | SCREEN_MARK_AVX2});
  struct Mode {
    PutMode mode;
    int32_t alpha;
  };
  const Mode modes[] = {{PutMode::Transparent, 0}, {PutMode::Blend, 255}, {PutMode::Blend, 128}};
  constexpr int w = 45, h = 21;
  for (const Set& set : sets)
    for (int depth : {8, 16, 32}) {
      ForceCpuFeatures(set.features);
      Open(depth);
      ASSERT_EQ(screen->flags & (SCREEN_MARK_PACKED | SCREEN_MARK_AVX2), set.marks) << set.name;
      Image* image = CreateImage(w, h, 0, depth, -1);
      Image* copy = CreateImage(w, h, 0, depth, -1);
      Image* want = CreateImage(w, h, 0, depth, -1);
      images.insert(images.end(), {image, copy, want});
      // Random pixels, one in four transparent.
      const int bpp = int(image->bpp);
      const size_t bytes = size_t(image->pitch) * h;
      std::vector<uint8_t> start(bytes);
      std::mt19937 rng(static_cast<uint32_t>(depth));
      for (size_t i = 0; i + size_t(bpp) <= bytes; i += size_t(bpp)) {
        const uint32_t v = rng() % 4 ? uint32_t(rng()) : TransparentPixel(bpp);
        std::memcpy(&start[i], &v, size_t(bpp));
      }
      for (const Mode& m : modes)
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx)
            for (int step : {1, 3, 8})
              for (bool whole : {true, false}) {
                if (dx == 0 && dy == 0) continue;
                SCOPED_TRACE(testing::Message()
                             << set.name << " depth " << depth << " mode " << int(m.mode)
                             << " alpha " << m.alpha << " shift " << dx * step << ","
                             << dy * step << (whole ? " whole" : " rectangle"));
                for (Image* i : {image, copy, want})
                  std::memcpy(ImagePixels(i), start.data(), bytes);
                auto put = [&](Image* target, Image* source) {
                  return whole ? PutImage(target, float(dx * step), float(dy * step), source,
                                          PUT_WHOLE_IMAGE, 0, 0, 0, 0, m.mode, m.alpha)
                               : PutImage(target, float(2 + dx * step), float(1 + dy * step),
                                          source, 2, 1, w - 5, h - 2, 0, m.mode, m.alpha);
                };
                ASSERT_EQ(put(want, copy), 0);
                ASSERT_EQ(put(image, image), 0);
                ASSERT_EQ(std::memcmp(ImagePixels(image), ImagePixels(want), bytes), 0);
              }
      TearDown();
      images.clear();
    }
}

}  // namespace
}  // namespace fb
