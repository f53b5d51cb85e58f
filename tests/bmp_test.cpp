// The bitmap loader, pixel for pixel, on small files built here byte by
// byte.  Each file is written to a temporary directory and loaded through
// LoadBmp, so the path handling is exercised too.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <fb/gfx/bmp.h>
#include <fb/gfx/bmp_decoder.h>
#include <fb/platform/driver.h>
#include <fb/platform/screen.h>

namespace fb {
namespace {

// Little-endian fields of the byte arrays below.
#define U16(v) uint8_t((v) & 0xFF), uint8_t(((v) >> 8) & 0xFF)
#define U32(v) U16((v) & 0xFFFF), U16(((v) >> 16) & 0xFFFF)
// The 14-byte file header with the data offset.
#define FILE_HEADER(offset) 'B', 'M', U32(0), U32(0), U32(offset)
// The 40 bytes every info header of 40 bytes and more begins with.
#define INFO(size, w, h, bits, compression)                                               \
  U32(size), U32(w), U32(h), U16(1), U16(bits), U32(compression), U32(0), U32(0), U32(0), \
      U32(0), U32(0)
// A 40-byte info header.
#define INFO40(w, h, bits, compression) INFO(40, w, h, bits, compression)

constexpr uint32_t T = TRANSPARENT_FILL_32;

class BmpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("bmp_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_ / "sub");
    ASSERT_EQ(SetScreenMode(8, 8, 32, 0, SCREEN_NULL, 0), 0);
  }
  void TearDown() override {
    for (Image* image : images_) DestroyImage(image);
    CloseScreen();
    std::filesystem::remove_all(dir_);
  }

  template <size_t N>
  std::string Write(const uint8_t (&bytes)[N], size_t length = N, const char* name = "f.bmp") {
    std::string path = (dir_ / name).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f) {
      std::fwrite(bytes, 1, length, f);
      std::fclose(f);
    }
    return path;
  }
  template <size_t N>
  BmpResult Load(const uint8_t (&bytes)[N], Image* image, uint32_t* palette = nullptr,
                 size_t length = N) {
    return LoadBmp(Write(bytes, length).c_str(), image, palette);
  }

  Image* NewImage(int w, int h, int depth) {
    Image* image = CreateImage(w, h, 0, depth, -1);
    EXPECT_NE(image, nullptr);
    images_.push_back(image);
    return image;
  }

  std::filesystem::path dir_;
  std::vector<Image*> images_;
};

uint32_t Pixel(const Image* image, int x, int y) {
  const uint8_t* p = ImagePixels(image) + size_t(y) * image->pitch + size_t(x) * image->bpp;
  if (image->bpp == 4) return *reinterpret_cast<const uint32_t*>(p);
  if (image->bpp == 2) return *reinterpret_cast<const uint16_t*>(p);
  return *p;
}

// Every pixel of image, row by row.
std::vector<uint32_t> Pixels(const Image* image) {
  std::vector<uint32_t> out;
  for (uint32_t y = 0; y < image->height; ++y)
    for (uint32_t x = 0; x < image->width; ++x) out.push_back(Pixel(image, int(x), int(y)));
  return out;
}

// 3 x 2, 24 bits, bottom-up: rows of 9 bytes padded to 12.
constexpr uint8_t kBmp24[] = {
    FILE_HEADER(54), INFO40(3, 2, 24, 0),
    0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0, 0, 0,  // bottom row
    0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0, 0, 0,  // top row
};
static_assert(sizeof(kBmp24) == 54 + 24);

TEST_F(BmpTest, TwentyFourBitsBottomUpIntoEachDepth) {
  Image* image = NewImage(3, 2, 32);
  ASSERT_EQ(Load(kBmp24, image), BmpResult::Loaded);
  // The file's first row is the image's last.
  EXPECT_EQ(Pixels(image), (std::vector<uint32_t>{0xFF0000FF, 0xFFFFFFFF, 0xFF000000,  //
                                                  0xFFFF0000, 0xFFFF00FF, 0xFF00FF00}));
  Image* image16 = NewImage(3, 2, 16);
  ASSERT_EQ(Load(kBmp24, image16), BmpResult::Loaded);
  EXPECT_EQ(Pixels(image16), (std::vector<uint32_t>{0x001F, 0xFFFF, 0x0000, 0xF800, 0xF81F, 0x07E0}));
  // More than 8 bits per pixel cannot become palette indices.
  Image* image8 = NewImage(3, 2, 8);
  EXPECT_EQ(Load(kBmp24, image8), BmpResult::BadCall);
}

TEST_F(BmpTest, SixteenBitsFixedAndBitFieldMasks) {
  // 5-5-5 without bit fields, top-down.
  constexpr uint8_t k555[] = {FILE_HEADER(54), INFO40(2, -1, 16, 0), U16(0x7FFF), U16(0x4210)};
  static_assert(sizeof(k555) == 58);
  Image* image = NewImage(2, 1, 32);
  ASSERT_EQ(Load(k555, image), BmpResult::Loaded);
  EXPECT_EQ(Pixels(image), (std::vector<uint32_t>{0xFFFFFFFF, 0xFF848484}));
  Image* image16 = NewImage(2, 1, 16);
  ASSERT_EQ(Load(k555, image16), BmpResult::Loaded);
  // Green widens from 5 to 6 bits: 16 -> 33.
  EXPECT_EQ(Pixels(image16), (std::vector<uint32_t>{0xFFFF, 0x8430}));

  // 5-6-5 bit fields, masks after a 40-byte header.
  constexpr uint8_t k565[] = {FILE_HEADER(66), INFO40(4, 1, 16, 3), U32(0xF800), U32(0x07E0),
                              U32(0x001F), U16(0xF800), U16(0x07E0), U16(0x001F), U16(0x8410)};
  static_assert(sizeof(k565) == 74);
  ASSERT_EQ(Load(k565, NewImage(4, 1, 32)), BmpResult::Loaded);
  EXPECT_EQ(Pixels(images_.back()),
            (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF848284}));
  ASSERT_EQ(Load(k565, NewImage(4, 1, 16)), BmpResult::Loaded);
  EXPECT_EQ(Pixels(images_.back()), (std::vector<uint32_t>{0xF800, 0x07E0, 0x001F, 0x8410}));
}

TEST_F(BmpTest, ThirtyTwoBitsAlpha) {
  // A 108-byte header with all four masks in an unusual order: bytes are
  // alpha, red, green, blue.
  constexpr uint8_t kV4[] = {
      FILE_HEADER(122), U32(108), U32(1), U32(1), U16(1), U16(32), U32(3), U32(0),
      U32(0), U32(0), U32(0), U32(0),                                  // skipped 16 bytes
      U32(0x0000FF00), U32(0x00FF0000), U32(0xFF000000), U32(0x000000FF),  // r g b a
      U32(0), U32(0), U32(0), U32(0), U32(0), U32(0), U32(0), U32(0), U32(0), U32(0), U32(0),
      U32(0), U32(0),                                                  // rest of the header
      0x80, 0x11, 0x22, 0x33};
  static_assert(sizeof(kV4) == 126);
  Image* image = NewImage(1, 1, 32);
  ASSERT_EQ(Load(kV4, image), BmpResult::Loaded);
  EXPECT_EQ(Pixel(image, 0, 0), 0x80112233u);

  // Without bit fields the fourth byte is alpha.
  constexpr uint8_t kPlain[] = {FILE_HEADER(54), INFO40(1, 1, 32, 0), 0x33, 0x22, 0x11, 0x40};
  static_assert(sizeof(kPlain) == 58);
  ASSERT_EQ(Load(kPlain, image), BmpResult::Loaded);
  EXPECT_EQ(Pixel(image, 0, 0), 0x40112233u);

  // Bit fields after a short header carry no alpha mask: alpha 0.  An
  // empty green mask gives green 0.
  constexpr uint8_t kShort[] = {FILE_HEADER(66), INFO40(1, 1, 32, 3), U32(0xFF0000), U32(0),
                                U32(0xFF), 0x33, 0x22, 0x11, 0x40};
  static_assert(sizeof(kShort) == 70);
  ASSERT_EQ(Load(kShort, image), BmpResult::Loaded);
  EXPECT_EQ(Pixel(image, 0, 0), 0x00110033u);
}

TEST_F(BmpTest, MasksInsideHeadersOf52And56Bytes) {
  // The colour masks sit 40 bytes into the header, the pixels right after
  // it; the masks are in the unusual order of kV4 above (bytes alpha, red,
  // green, blue).  52 bytes carry no alpha mask: alpha 0.
  constexpr uint8_t k52[] = {FILE_HEADER(66), INFO(52, 1, 1, 32, 3),
                             U32(0x0000FF00), U32(0x00FF0000), U32(0xFF000000),  // r g b
                             0x80, 0x11, 0x22, 0x33};
  static_assert(sizeof(k52) == 14 + 52 + 4);
  constexpr uint8_t k56[] = {FILE_HEADER(70), INFO(56, 1, 1, 32, 3),
                             U32(0x0000FF00), U32(0x00FF0000), U32(0xFF000000), U32(0x000000FF),
                             0x80, 0x11, 0x22, 0x33};
  static_assert(sizeof(k56) == 14 + 56 + 4);
  // 5-6-5 at 16 bits in a 56-byte header whose alpha mask is 0.
  constexpr uint8_t k56At16[] = {FILE_HEADER(70), INFO(56, 2, 1, 16, 3),
                                 U32(0xF800), U32(0x07E0), U32(0x001F), U32(0),
                                 U16(0xF800), U16(0x07FF)};
  static_assert(sizeof(k56At16) == 14 + 56 + 4);
  Image* image = NewImage(2, 1, 32);
  ASSERT_EQ(Load(k52, image), BmpResult::Loaded);
  EXPECT_EQ(Pixel(image, 0, 0), 0x00112233u);
  ASSERT_EQ(Load(k56, image), BmpResult::Loaded);
  EXPECT_EQ(Pixel(image, 0, 0), 0x80112233u);
  ASSERT_EQ(Load(k56At16, image), BmpResult::Loaded);
  EXPECT_EQ(Pixels(image), (std::vector<uint32_t>{0xFFFF0000, 0xFF00FFFF}));
}

TEST(BmpChannelTest, ScalingToTargetWidths) {
  struct Case {
    uint32_t mask, pixel;
    int bits;
    uint32_t expected;
  } cases[] = {
      {0x1F, 31, 8, 255},   {0x1F, 16, 8, 132},    {0x0F, 15, 8, 255},     {0x1F, 31, 6, 63},
      {0x3F, 63, 5, 31},    {0x01, 1, 8, 128},      {0, 0xFFFFFFFF, 8, 0},  {0xFFFFFFFF, 0xAB000000, 8, 0xAB},
      {0x80000000, 0x80000000, 8, 128}, {0xFF00, 0x1234, 8, 0x12},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ScaleChannel(MakeChannel(c.mask), c.pixel, c.bits), c.expected)
        << std::hex << "mask " << c.mask << " pixel " << c.pixel;
  BmpChannel holes = MakeChannel(0x0F0F0);
  EXPECT_EQ(holes.shift, 4);
  EXPECT_EQ(holes.width, 12);
}

// A 16-entry palette whose entry i is (blue i, green 0x10 * i, red 0xF0).
#define PALETTE16                                                                               \
  0, 0x00, 0xF0, 0, 1, 0x10, 0xF0, 0, 2, 0x20, 0xF0, 0, 3, 0x30, 0xF0, 0, 4, 0x40, 0xF0, 0, 5, \
      0x50, 0xF0, 0, 6, 0x60, 0xF0, 0, 7, 0x70, 0xF0, 0, 8, 0x80, 0xF0, 0, 9, 0x90, 0xF0, 0,    \
      10, 0xA0, 0xF0, 0, 11, 0xB0, 0xF0, 0, 12, 0xC0, 0xF0, 0, 13, 0xD0, 0xF0, 0, 14, 0xE0,     \
      0xF0, 0, 15, 0xF0, 0xF0, 0
constexpr uint32_t Entry16(uint32_t i) { return 0xFFF00000u | (0x10 * i) << 8 | i; }

TEST_F(BmpTest, FourAndOneBitRowsUnpackTopBitsFirst) {
  // Width 5: three bytes and one byte of padding per row.
  constexpr uint8_t k4[] = {FILE_HEADER(118), INFO40(5, 1, 4, 0), PALETTE16, 0x01, 0x23, 0x4F, 0xEE};
  static_assert(sizeof(k4) == 122);
  Image* image = NewImage(6, 1, 32);
  ASSERT_EQ(Load(k4, image), BmpResult::Loaded);
  EXPECT_EQ(Pixels(image),
            (std::vector<uint32_t>{Entry16(0), Entry16(1), Entry16(2), Entry16(3), Entry16(4), T}));

  // Width 10, two rows: two bytes of pixels and two of padding each.
  constexpr uint8_t k1[] = {FILE_HEADER(62), INFO40(10, 2, 1, 0), 0x00, 0x00, 0xFF, 0,
                            0xFF, 0xFF, 0xFF, 0,  // palette: black, white
                            0xA5, 0x40, 0, 0,     // bottom row
                            0x01, 0x80, 0, 0};    // top row
  static_assert(sizeof(k1) == 70);
  Image* bits = NewImage(10, 2, 32);
  ASSERT_EQ(Load(k1, bits), BmpResult::Loaded);
  constexpr uint32_t R = 0xFFFF0000, W = 0xFFFFFFFF;
  EXPECT_EQ(Pixels(bits), (std::vector<uint32_t>{R, R, R, R, R, R, R, W, W, R,  //
                                                 W, R, W, R, R, W, R, W, R, W}));
}

// 3 x 1, 8 bits, indices 0, 1, 255; palette entries 0 and 1 given, the
// rest (255 among them) zero.
constexpr uint8_t kBmp8[] = {
    FILE_HEADER(0),  // offset 0: just after the 256-entry palette
    INFO40(3, 1, 8, 0),
    0x30, 0x20, 0x10, 0, 0xFC, 0x80, 0x04, 0,  // 0x102030 and 0x0480FC as 0x00RRGGBB
};
constexpr size_t kBmp8PaletteEnd = 54 + 256 * 4;

TEST_F(BmpTest, EightBitsThroughThePaletteIntoEachDepth) {
  uint8_t file[kBmp8PaletteEnd + 4] = {};
  std::copy(std::begin(kBmp8), std::end(kBmp8), file);
  file[kBmp8PaletteEnd + 1] = 1;
  file[kBmp8PaletteEnd + 2] = 255;

  Image* image32 = NewImage(3, 1, 32);
  ASSERT_EQ(Load(file, image32), BmpResult::Loaded);
  EXPECT_EQ(Pixels(image32), (std::vector<uint32_t>{0xFF102030, 0xFF0480FC, 0xFF000000}));
  // The colour map now holds the file's palette (0x00BBGGRR).
  EXPECT_EQ(Screen()->colorMap[0], 0x302010u);
  EXPECT_EQ(Screen()->colorMap[1], 0xFC8004u);

  Image* image16 = NewImage(3, 1, 16);
  ASSERT_EQ(Load(file, image16), BmpResult::Loaded);
  EXPECT_EQ(Pixels(image16), (std::vector<uint32_t>{0x1106, 0x041F, 0x0000}));
  Image* image8 = NewImage(3, 1, 8);
  ASSERT_EQ(Load(file, image8), BmpResult::Loaded);
  EXPECT_EQ(Pixels(image8), (std::vector<uint32_t>{0, 1, 255}));
}

TEST_F(BmpTest, PaletteDestinationGetsSixBitEntries) {
  uint8_t file[kBmp8PaletteEnd + 4] = {};
  std::copy(std::begin(kBmp8), std::end(kBmp8), file);
  file[kBmp8PaletteEnd] = 1;
  uint32_t colourMapBefore = Screen()->colorMap[1];
  uint32_t palette[256];
  std::fill(std::begin(palette), std::end(palette), 0xDEADBEEF);
  Image* image = NewImage(1, 1, 32);
  ASSERT_EQ(Load(file, image, palette), BmpResult::Loaded);
  EXPECT_EQ(palette[0], (0x302010u >> 2) & 0x3F3F3F);
  EXPECT_EQ(palette[1], (0xFC8004u >> 2) & 0x3F3F3F);
  EXPECT_EQ(palette[2], 0u);
  EXPECT_EQ(Screen()->colorMap[1], colourMapBefore);
  // The pixels still have the file's colours.
  EXPECT_EQ(Pixel(image, 0, 0), 0xFF0480FCu);
}

TEST_F(BmpTest, DriverReceivesTheWholeColourMap) {
  static std::vector<int32_t> calls;
  calls.clear();
  DisplayDriver recording = NULL_DRIVER;
  recording.SetPalette = [](int32_t i, int32_t r, int32_t g, int32_t b) {
    calls.insert(calls.end(), {i, r, g, b});
  };
  const DisplayDriver* saved = Screen()->driver;
  Screen()->driver = &recording;
  uint8_t file[kBmp8PaletteEnd + 4] = {};
  std::copy(std::begin(kBmp8), std::end(kBmp8), file);
  BmpResult r = Load(file, NewImage(3, 1, 32));
  Screen()->driver = saved;
  ASSERT_EQ(r, BmpResult::Loaded);
  ASSERT_EQ(calls.size(), 256u * 4);
  EXPECT_EQ(std::vector<int32_t>(calls.begin() + 4, calls.begin() + 8),
            (std::vector<int32_t>{1, 0x04, 0x80, 0xFC}));
  EXPECT_EQ(calls[255 * 4], 255);
}

TEST_F(BmpTest, CoreHeaderWithThreeBytePaletteAndOffsetZero) {
  constexpr uint8_t kCore[] = {FILE_HEADER(0), U32(12), U16(2), U16(1), U16(1), U16(1),
                               0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00,  // blue, green
                               0x40, 0, 0, 0};
  static_assert(sizeof(kCore) == 36);
  Image* image = NewImage(2, 1, 32);
  ASSERT_EQ(Load(kCore, image), BmpResult::Loaded);
  EXPECT_EQ(Pixels(image), (std::vector<uint32_t>{0xFF0000FF, 0xFF00FF00}));
}

TEST_F(BmpTest, CopiesOnlyTheOverlap) {
  // 10 x 2, 8 bits, indices 1..10 and 11..20, into 8 x 3: the extra
  // columns stay out of the next row and the extra row keeps its fill.
  uint8_t file[kBmp8PaletteEnd + 24] = {};
  std::copy(std::begin(kBmp8), std::end(kBmp8), file);
  file[18] = 10;
  file[22] = 2;
  for (int i = 0; i < 10; ++i) {
    file[kBmp8PaletteEnd + i] = uint8_t(11 + i);  // bottom row
    file[kBmp8PaletteEnd + 12 + i] = uint8_t(1 + i);
  }
  Image* narrow = NewImage(8, 3, 8);
  ASSERT_EQ(Load(file, narrow), BmpResult::Loaded);
  EXPECT_EQ(Pixels(narrow), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8,          //
                                                   11, 12, 13, 14, 15, 16, 17, 18,  //
                                                   0, 0, 0, 0, 0, 0, 0, 0}));
  Image* wide = NewImage(12, 1, 32);
  ASSERT_EQ(Load(file, wide), BmpResult::Loaded);
  EXPECT_EQ(Pixel(wide, 9, 0), 0xFF000000u);
  EXPECT_EQ(Pixel(wide, 10, 0), T);
  EXPECT_EQ(Pixel(wide, 11, 0), T);
}

TEST_F(BmpTest, ScreenAsTarget) {
  std::fill_n(Screen()->dirtyRows, 8, 0);
  ASSERT_EQ(Load(kBmp24, nullptr), BmpResult::Loaded);
  const uint32_t* page = reinterpret_cast<const uint32_t*>(Screen()->pages[0]);
  EXPECT_EQ(page[0], 0xFF0000FFu);
  EXPECT_EQ(page[3], 0xFF000000u);  // outside the file: the screen's clear colour
  EXPECT_EQ(page[8 + 1], 0xFFFF00FFu);
  for (int y = 0; y < 8; ++y) EXPECT_EQ(Screen()->dirtyRows[y], 1) << y;
  EXPECT_EQ(Screen()->lockCount, 0);
}

TEST_F(BmpTest, RefusedFilesLeaveTheTargetUntouched) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"magic BA", {'B', 'A', U32(0), U32(0), U32(54), INFO40(1, 1, 24, 0), 1, 2, 3, 0}},
      {"header size 14", {FILE_HEADER(54), U32(14), U32(1), U32(1), U16(1), U16(24), 1, 2, 3, 0}},
      {"header size 11", {FILE_HEADER(54), U32(11), U32(1), U32(1), U16(1), U16(24), 1, 2, 3, 0}},
      {"header larger than the file", {FILE_HEADER(54), U32(400), U32(1), U32(1), U16(1), U16(24), 1, 2, 3, 0}},
      {"top-down RLE8", {FILE_HEADER(54), INFO40(1, -1, 8, 1), 1, 2, 3, 0}},
      {"RLE8 at 4 bits", {FILE_HEADER(54), INFO40(1, 1, 4, 1), 1, 2, 3, 0}},
      {"RLE4 at 8 bits", {FILE_HEADER(54), INFO40(1, 1, 8, 2), 1, 2, 3, 0}},
      {"2 bits", {FILE_HEADER(54), INFO40(1, 1, 2, 0), 1, 2, 3, 0}},
      {"0 bits", {FILE_HEADER(54), INFO40(1, 1, 0, 0), 1, 2, 3, 0}},
      {"planes 2", {FILE_HEADER(54), U32(40), U32(1), U32(1), U16(2), U16(24), U32(0), U32(0),
                    U32(0), U32(0), U32(0), U32(0), 1, 2, 3, 0}},
      {"width 0", {FILE_HEADER(54), INFO40(0, 1, 24, 0), 1, 2, 3, 0}},
      {"negative width", {FILE_HEADER(54), INFO40(-1, 1, 24, 0), 1, 2, 3, 0}},
      {"height 0", {FILE_HEADER(54), INFO40(1, 0, 24, 0), 1, 2, 3, 0}},
      {"compression 4", {FILE_HEADER(54), INFO40(1, 1, 24, 4), 1, 2, 3, 0}},
      // Bit fields only at 16 and 32 bits; each of these would otherwise
      // load whole as plain rows.
      {"bit fields at 1 bit", {FILE_HEADER(62), INFO40(1, 1, 1, 3), 0, 0, 0, 0, 9, 9, 9, 0,
                               0x80, 0, 0, 0}},
      {"bit fields at 1 bit, 64-byte header",
       {FILE_HEADER(86), INFO(64, 1, 1, 1, 3), U32(0), U32(0), U32(0), U32(0), U32(0), U32(0),
        0, 0, 0, 0, 9, 9, 9, 0, 0x80, 0, 0, 0}},
      {"bit fields at 4 bits",
       {FILE_HEADER(54 + 64), INFO40(1, 1, 4, 3), PALETTE16, 0x10, 0, 0, 0}},
      {"bit fields at 24 bits", {FILE_HEADER(66), INFO40(1, 1, 24, 3), U32(0xFF0000), U32(0xFF00),
                                 U32(0xFF), 1, 2, 3, 0}},
      {"absurd width", {FILE_HEADER(54), INFO40(0x7FFFFFFF, 1, 24, 0), 1, 2, 3, 0}},
      {"palette cut short", {FILE_HEADER(54), INFO40(1, 1, 8, 0), 1, 2, 3, 0}},
      {"masks cut short", {FILE_HEADER(54), INFO40(1, 1, 16, 3), 1, 2}},
      {"data offset past the end", {FILE_HEADER(0x7FFFFFFF), INFO40(1, 1, 24, 0), 1, 2, 3, 0}},
      {"empty", {}},
      {"not a bitmap", {'P', 'K'}},
  };
  Image* image = NewImage(2, 2, 32);
  for (const Case& c : cases) {
    std::string path = (dir_ / "bad.bmp").string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!c.bytes.empty()) std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
    std::fclose(f);
    EXPECT_EQ(LoadBmp(path.c_str(), image, nullptr), BmpResult::Unsupported) << c.what;
    EXPECT_EQ(Pixels(image), std::vector<uint32_t>(4, T)) << c.what;
  }
}

TEST_F(BmpTest, MostNegativeHeightIsATruncatedTopDownFile) {
  constexpr uint8_t kMin[] = {FILE_HEADER(54), INFO40(1, INT32_MIN, 24, 0), 1, 2, 3, 0, 4, 5, 6, 0};
  static_assert(sizeof(kMin) == 62);
  Image* image = NewImage(1, 3, 32);
  EXPECT_EQ(Load(kMin, image), BmpResult::Unsupported);
  EXPECT_EQ(Pixels(image), (std::vector<uint32_t>{0xFF030201, 0xFF060504, T}));
}

TEST_F(BmpTest, TruncatedFileKeepsTheRowsRead) {
  // 1 x 3 bottom-up; the last stored row (the image's top) is missing.
  constexpr uint8_t kCut[] = {FILE_HEADER(54), INFO40(1, 3, 24, 0), 1, 2, 3, 0, 4, 5, 6, 0, 7};
  static_assert(sizeof(kCut) == 63);
  Image* image = NewImage(1, 3, 32);
  EXPECT_EQ(Load(kCut, image), BmpResult::Unsupported);
  EXPECT_EQ(Pixels(image), (std::vector<uint32_t>{T, 0xFF060504, 0xFF030201}));
  EXPECT_EQ(Screen()->lockCount, 0);
}

TEST_F(BmpTest, CallAndFileErrors) {
  Image* image = NewImage(1, 1, 32);
  EXPECT_EQ(LoadBmp((dir_ / "missing.bmp").string().c_str(), image, nullptr),
            BmpResult::CannotOpen);
  EXPECT_EQ(LoadBmp(nullptr, image, nullptr), BmpResult::CannotOpen);
  // Both separators work, and the name may mix them.
  Write(kBmp24, sizeof(kBmp24), "sub/x.bmp");
  std::string mixed = dir_.string() + "\\sub/x.bmp";
  EXPECT_EQ(LoadBmp(mixed.c_str(), NewImage(3, 2, 32), nullptr), BmpResult::Loaded);
  std::string backslashes = (dir_ / "sub").string() + "\\x.bmp";
  for (char& c : backslashes)
    if (c == '/') c = '\\';
  EXPECT_EQ(LoadBmp(backslashes.c_str(), NewImage(3, 2, 32), nullptr), BmpResult::Loaded);
  EXPECT_EQ(Pixel(images_.back(), 0, 1), 0xFFFF0000u);

  // A damaged image header is a bad call, not a write through it.
  Image fake{};
  EXPECT_EQ(LoadBmp(mixed.c_str(), &fake, nullptr), BmpResult::BadCall);

  CloseScreen();
  EXPECT_EQ(LoadBmp(mixed.c_str(), nullptr, nullptr), BmpResult::BadCall);
  EXPECT_EQ(LoadBmp(mixed.c_str(), image, nullptr), BmpResult::BadCall);
  EXPECT_EQ(Pixel(image, 0, 0), T);
}

TEST_F(BmpTest, RunLengthEightBits) {
  // 4 x 3; of the 256 palette entries only entry 1 (white) is non-zero.
  // Bottom row: a run of 3 then end of line.  Middle: a literal 1 0 1
  // (padded) then end of line.  Top: move right 2, a run of 1, end.
  uint8_t file[54 + 256 * 4 + 20] = {};
  constexpr uint8_t head[] = {FILE_HEADER(54 + 1024), INFO40(4, 3, 8, 1), 0, 0, 0, 0, 0xFF, 0xFF, 0xFF};
  std::copy(std::begin(head), std::end(head), file);
  constexpr uint8_t data[] = {3, 1, 0, 0,              //
                              0, 3, 1, 0, 1, 0, 0, 0,  //
                              0, 2, 2, 0, 1, 1, 0, 1};
  static_assert(sizeof(data) == 20);
  std::copy(std::begin(data), std::end(data), file + 54 + 1024);
  Image* image = NewImage(4, 3, 32);
  ASSERT_EQ(Load(file, image), BmpResult::Loaded);
  constexpr uint32_t W = 0xFFFFFFFF, K = 0xFF000000;
  EXPECT_EQ(Pixels(image), (std::vector<uint32_t>{T, T, W, T,  //
                                                  W, K, W, T,  //
                                                  W, W, W, T}));

  // A run past the right edge is dropped; a move above the top refuses
  // the file but keeps the rows done.
  constexpr uint8_t bad[] = {255, 1, 0, 0, 0, 2, 0, 7, 1, 1};
  std::copy(std::begin(bad), std::end(bad), file + 54 + 1024);
  Image* clipped = NewImage(4, 3, 32);
  EXPECT_EQ(Load(file, clipped, nullptr, 54 + 1024 + sizeof(bad)), BmpResult::Unsupported);
  EXPECT_EQ(Pixels(clipped), (std::vector<uint32_t>{T, T, T, T, T, T, T, T, W, W, W, W}));
}

TEST_F(BmpTest, RunLengthFourBits) {
  // 4 x 3 at 4 bits: 16 palette entries from offset 54.
  constexpr uint8_t kRle4[] = {
      FILE_HEADER(118), INFO40(4, 3, 4, 2), PALETTE16,
      5, 0x12,              // run of 5 on a row of 4: 1 2 1 2, the fifth dropped
      0, 0,                 // end of line
      0, 3, 0x34, 0x50,     // literal 3 4 5 (two bytes, even already)
      0, 0,                 //
      0, 2, 1, 0,           // move right 1
      2, 0xF0,              // run F 0
      0, 1,                 // end of bitmap
  };
  static_assert(sizeof(kRle4) == 118 + 18);
  Image* image = NewImage(4, 3, 32);
  ASSERT_EQ(Load(kRle4, image), BmpResult::Loaded);
  EXPECT_EQ(Pixels(image),
            (std::vector<uint32_t>{T, Entry16(15), Entry16(0), T,                     //
                                   Entry16(3), Entry16(4), Entry16(5), T,              //
                                   Entry16(1), Entry16(2), Entry16(1), Entry16(2)}));
  // Cut inside the literal: the bottom row stays, the result is 3.
  Image* cut = NewImage(4, 3, 32);
  EXPECT_EQ(Load(kRle4, cut, nullptr, 118 + 7), BmpResult::Unsupported);
  EXPECT_EQ(Pixel(cut, 0, 2), Entry16(1));
  EXPECT_EQ(Pixel(cut, 0, 1), T);
}

TEST_F(BmpTest, RawDumps) {
  // Into an image: the dump's header bytes are passed over, the pixels
  // land in the rows, and a length past the image is capped.
  uint8_t dump[1 + 4 + 32 + 64 + 16] = {0xFE, U32(32 + 64 + 16)};
  for (int i = 0; i < 32; ++i) dump[5 + i] = 0xEE;
  for (int i = 0; i < 64 + 16; ++i) dump[37 + i] = uint8_t(i);
  Image* image = NewImage(4, 4, 32);  // pitch 16: 64 bytes of pixels
  ASSERT_EQ(Load(dump, image), BmpResult::Loaded);
  EXPECT_EQ(image->type, IMAGE_TYPE);
  EXPECT_EQ(image->width, 4u);
  EXPECT_EQ(Pixel(image, 0, 0), 0x03020100u);
  EXPECT_EQ(Pixel(image, 3, 3), 0x3F3E3D3Cu);

  // Onto the screen, with the short form, shorter than its length.
  constexpr uint8_t kShort[] = {0xFD, 0, 0, 0, 0, U16(1000), 1, 2, 3, 4};
  static_assert(sizeof(kShort) == 11);
  ASSERT_EQ(Load(kShort, nullptr), BmpResult::Loaded);
  EXPECT_EQ(*reinterpret_cast<const uint32_t*>(Screen()->pages[0]), 0x04030201u);
}

}  // namespace
}  // namespace fb
