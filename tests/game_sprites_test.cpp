// Sprite loading from bitmap files written by the test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "game/sprites.h"
#include "game_support.h"
#include <fb/gfx/image.h>

namespace {

using gametest::MakeBmp;
using gametest::WriteFile;

class SpriteTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(gametest::OpenGameScreen(), 0); }
  void TearDown() override { fb::CloseScreen(); }
  gametest::ScratchDir dir;
};

uint32_t Pixel(const fb::Image* image, int x, int y) {
  uint32_t v;
  std::memcpy(&v, fb::ImagePixels(image) + size_t(y) * image->pitch + size_t(x) * 4, 4);
  return v;
}

TEST_F(SpriteTest, LoadsAPictureAtItsOwnSizeThroughEitherSeparator) {
  std::filesystem::create_directory("imgs");
  WriteFile("imgs/ship.bmp", MakeBmp(7, 3, [](int x, int y) { return x == 0 && y == 0 ? 0xFF00FFu : 0x123456u; }));
  for (const char* name : {"imgs/ship.bmp", "imgs\\ship.bmp"}) {
    SCOPED_TRACE(name);
    shooter::BmpSize size = shooter::ReadBmpSize(name);
    EXPECT_EQ(size.width, 7);
    EXPECT_EQ(size.height, 3);
    fb::Image* image = shooter::LoadIMGFile(name);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 7u);
    EXPECT_EQ(image->height, 3u);
    EXPECT_EQ(Pixel(image, 0, 0) & 0xFFFFFF, 0xFF00FFu);
    EXPECT_EQ(Pixel(image, 6, 2) & 0xFFFFFF, 0x123456u);
    fb::DestroyImage(image);
    image = shooter::LoadGamePicture(name);  // the game's own keep their runs
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(fb::HasSpriteRuns(image));
    fb::DestroyImage(image);
  }
}

// Headers that give no image: the size fields decide before the loader runs.
TEST_F(SpriteTest, UnusableHeadersGiveNoImage) {
  std::vector<uint8_t> good = MakeBmp(4, 4, [](int, int) { return 0u; });
  auto withSize = [&](int32_t w, int32_t h) {
    std::vector<uint8_t> b = good;
    for (int i = 0; i < 4; ++i) {
      b[18 + i] = uint8_t(uint32_t(w) >> (8 * i));
      b[22 + i] = uint8_t(uint32_t(h) >> (8 * i));
    }
    return b;
  };
  std::vector<uint8_t> notBm = good;
  notBm[0] = 'X';
  using shooter::SpriteLoad;
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    SpriteLoad why;
  };
  const Case cases[] = {
      {"not BM", notBm, SpriteLoad::NotABitmap},
      {"top-down", withSize(4, -4), SpriteLoad::UnusableSize},
      {"width 0", withSize(0, 4), SpriteLoad::UnusableSize},
      {"height 0", withSize(4, 0), SpriteLoad::UnusableSize},
      {"too wide", withSize(40000, 1), SpriteLoad::UnusableSize},
      {"short", std::vector<uint8_t>(good.begin(), good.begin() + 20), SpriteLoad::NotABitmap},
      {"one byte", {'B'}, SpriteLoad::NotABitmap},
      {"empty", {}, SpriteLoad::NotABitmap},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile("bad.bmp", c.bytes);
    SpriteLoad why = SpriteLoad::Loaded;
    EXPECT_EQ(shooter::LoadIMGFile("bad.bmp", &why), nullptr);
    EXPECT_EQ(why, c.why);
  }
  SpriteLoad why = SpriteLoad::Loaded;
  EXPECT_EQ(shooter::LoadIMGFile("missing.bmp", &why), nullptr);
  EXPECT_EQ(why, SpriteLoad::NoSuchFile);
  shooter::BmpSize missing = shooter::ReadBmpSize("missing.bmp");
  EXPECT_EQ(missing.width, 0);
  EXPECT_EQ(missing.height, 0);
}

TEST_F(SpriteTest, UnreadablePixelsGiveATransparentImageOfTheHeaderSize) {
  std::vector<uint8_t> b = MakeBmp(5, 2, [](int, int) { return 0x00FF00u; });
  b[28] = 7;  // 7 bits per pixel: no loader reads that
  WriteFile("odd.bmp", b);
  fb::Image* image = shooter::LoadIMGFile("odd.bmp");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 5u);
  EXPECT_EQ(image->height, 2u);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(Pixel(image, x, y), 0xFFFF00FFu);
  fb::DestroyImage(image);
}

// The old 12-byte header keeps 16-bit sizes at 18 and 20.
TEST_F(SpriteTest, CoreHeaderIsSizedFromItsOwnFields) {
  std::vector<uint8_t> b = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0,
                            12, 0, 0, 0, 3, 0, 2, 0, 1, 0, 24, 0};
  for (int i = 0; i < 2 * 12; ++i) b.push_back(0x40);
  WriteFile("core.bmp", b);
  shooter::BmpSize size = shooter::ReadBmpSize("core.bmp");
  EXPECT_EQ(size.width, 3);
  EXPECT_EQ(size.height, 2);
}

TEST(SpriteWithoutScreen, GivesNoImage) {
  fb::CloseScreen();
  gametest::ScratchDir dir;
  WriteFile("a.bmp", MakeBmp(2, 2, [](int, int) { return 0u; }));
  EXPECT_EQ(shooter::ReadBmpSize("a.bmp").width, 2);
  shooter::SpriteLoad why = shooter::SpriteLoad::Loaded;
  EXPECT_EQ(shooter::LoadIMGFile("a.bmp", &why), nullptr);
  EXPECT_EQ(why, shooter::SpriteLoad::NoScreen);
}

}  // namespace
