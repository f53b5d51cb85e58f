#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <fb/gfx/context.h>
#include <fb/gfx/image.h>
#include <fb/gfx/primitives.h>
#include <fb/platform/runtime.h>
#include "test_screen.h"

using namespace fb;

namespace {

uint32_t Word(const Image* image, int row, int unit) {
  uint32_t v;
  std::memcpy(&v, ImagePixels(image) + size_t(row) * image->pitch + size_t(unit) * 4, 4);
  return v;
}

TEST(Image, NoScreenGivesNone) {
  CloseScreen();
  EXPECT_EQ(CreateImage(4, 4, 0, 32, -1), nullptr);
  EXPECT_EQ(LastError(), 1);
}

TEST(Image, HeaderLayoutAndTransparentFill) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(64, 48, 32), 0);
  Image* image = CreateImage(3, 2, 0, 32, -1);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(LastError(), 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(image) % 16, 0u);
  // The block's own address sits just before the header.
  void* block = reinterpret_cast<void**>(image)[-1];
  EXPECT_LE(reinterpret_cast<uintptr_t>(block), reinterpret_cast<uintptr_t>(image) - sizeof(void*));
  EXPECT_EQ(image->type, 7u);
  EXPECT_EQ(image->bpp, 4u);
  EXPECT_EQ(image->width, 3u);
  EXPECT_EQ(image->height, 2u);
  EXPECT_EQ(image->pitch, 16u);
  EXPECT_EQ(image->spriteRuns, 0u);
  // Three pixels and the padding unit of both rows hold the fill.
  for (int row = 0; row < 2; ++row)
    for (int unit = 0; unit < 4; ++unit) EXPECT_EQ(Word(image, row, unit), 0xFFFF00FFu);
  DestroyImage(image);
}

TEST(Image, ColourConvertedToDepth) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(64, 48, 32), 0);
  Image* image = CreateImage(1, 1, 0x123456, 16, 0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->bpp, 2u);
  EXPECT_EQ(image->pitch, 16u);
  uint16_t pixel;
  std::memcpy(&pixel, ImagePixels(image), 2);
  EXPECT_EQ(pixel, 0x11AA);
  DestroyImage(image);

  Image* transparent16 = CreateImage(5, 1, 0, 16, -1);
  ASSERT_NE(transparent16, nullptr);
  std::memcpy(&pixel, ImagePixels(transparent16) + 8, 2);
  EXPECT_EQ(pixel, 0xF81F);
  DestroyImage(transparent16);
}

TEST(Image, DepthRules) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(64, 48, 32), 0);
  struct Case {
    int depth;
    int bpp;  // 0: refused
  } cases[] = {{0, 4}, {-5, 4}, {1, 1}, {8, 1}, {9, 2}, {15, 2}, {16, 2},
               {17, 0}, {24, 0}, {25, 4}, {32, 4}, {33, 0}, {64, 0}};
  for (const Case& c : cases) {
    Image* image = CreateImage(2, 2, 0, c.depth, -1);
    if (c.bpp == 0) {
      EXPECT_EQ(image, nullptr) << "depth " << c.depth;
    } else {
      ASSERT_NE(image, nullptr) << "depth " << c.depth;
      EXPECT_EQ(image->bpp, uint32_t(c.bpp)) << "depth " << c.depth;
      DestroyImage(image);
    }
  }
}

TEST(Image, SizesRefusedBeforeAnyAllocation) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(64, 48, 32), 0);
  const int32_t big = std::numeric_limits<int32_t>::max();
  struct Case {
    int32_t width, height;
  } cases[] = {{0, 5},     {5, 0},     {-1, 5},   {5, INT32_MIN}, {big, 1}, {1, big},
               {big, big}, {32769, 1}, {1, 32769}, {32768, 32768} /* 4 GiB */, {16384, 16385}};
  for (const Case& c : cases) {
    EXPECT_EQ(CreateImage(c.width, c.height, 0, 32, -1), nullptr)
        << c.width << " x " << c.height;
    EXPECT_EQ(LastError(), 1);
  }
  // The largest accepted side still works when the total stays in bounds.
  Image* wide = CreateImage(32768, 2, 0, 8, -1);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide->pitch, 32768u);
  DestroyImage(wide);
}

// The allocator may hand a destroyed image's address to the next image.
// It cannot be made to do so on demand (and under AddressSanitizer freed
// blocks are held back), so the test plays its part: both images live in
// one buffer of its own, each with the block slot before its header
// pointing at a small block that DestroyImage frees.
struct ImageAt {
  alignas(16) uint8_t bytes[16 + sizeof(Image) + 40 * 30 * 4];
  Image* Make(uint32_t width, uint32_t height) {
    Image* image = reinterpret_cast<Image*>(bytes + 16);
    reinterpret_cast<void**>(image)[-1] = std::malloc(1);
    const uint32_t pitch = (width * 4 + 15) & ~15u;
    *image = Image{IMAGE_TYPE, 4, width, height, pitch, 0, 0};
    std::memset(ImagePixels(image), 0, size_t(pitch) * height);
    return image;
  }
};

TEST(Image, DestroyedTargetIsNotMistakenForANewOne) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(64, 48, 32), 0);
  ImageAt memory;
  Image* first = memory.Make(2, 2);
  SetPixel(first, 1, 1, 0xFF00FF00, CoordFlags::Absolute);  // the thread's target now
  ASSERT_EQ(Word(first, 1, 1), 0xFF00FF00u);
  DestroyImage(first);

  // A larger image at the same address: drawing must reach all of it, not
  // stop at the clip and rows of the destroyed one.
  Image* second = memory.Make(40, 30);
  ASSERT_EQ(second, first);
  SetPixel(second, 39, 29, 0xFFFF0000, CoordFlags::Absolute);
  EXPECT_EQ(Word(second, 29, 39), 0xFFFF0000u);
  DrawContext* dc = GetDrawContext();
  EXPECT_EQ(dc->clip.width, 40);
  EXPECT_EQ(dc->clip.height, 30);
  // And the screen's own state comes back afterwards.
  SelectTarget(*dc, nullptr);
  EXPECT_EQ(dc->clip.width, 64);
  EXPECT_EQ(dc->clip.height, 48);
  DestroyImage(second);
}

}  // namespace
